#pragma once

namespace tallyhost {

// Placement of the generated inputs of the command panel. Fields fill a row from left to
// right, then the next row; the column count follows from the panel's client width so that
// a narrow window still shows one full-width column and a wide one spreads the fields out.
struct TPanelGrid
{
    static constexpr int ColumnPitch = 220; // client width needed per column
    static constexpr int LeftMargin = 20;
    static constexpr int ColumnGap = 10;
    static constexpr int RowPitch = 55;
    static constexpr int FirstRowTop = 15;
    static constexpr int InputBelowLabel = 18;

    int Columns = 1;
    int ColumnWidth = 0;

    // Column count = width div 220 (at least 1); column width = (width - 210n - 30) div n + 200.
    static TPanelGrid ForClientWidth(int clientWidth)
    {
        TPanelGrid g;
        g.Columns = clientWidth / ColumnPitch;
        if (g.Columns < 1)
            g.Columns = 1;
        g.ColumnWidth = (clientWidth - 210 * g.Columns - 30) / g.Columns + 200;
        return g;
    }

    int Row(int field) const { return field / Columns; }
    int Column(int field) const { return field % Columns; }
    int Left(int field) const { return LeftMargin + Column(field) * (ColumnWidth + ColumnGap); }
    int LabelTop(int field) const { return FirstRowTop + Row(field) * RowPitch; }
    int InputTop(int field) const { return LabelTop(field) + InputBelowLabel; }
    // Top of the row that follows the last field (where the notes go).
    int TopAfter(int fieldCount) const
    {
        const int rows = fieldCount <= 0 ? 0 : (fieldCount - 1) / Columns + 1;
        return FirstRowTop + rows * RowPitch;
    }
};

} // namespace tallyhost
