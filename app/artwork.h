#pragma once

#include <QIcon>
#include <QPixmap>

// The program's artwork, drawn at run time so it stays sharp at any size and needs no image
// files: the logo (a receipt coming out of a printer), the tile of the frame's background and
// the toolbar glyphs.
namespace artwork {

enum class Glyph
{
    New,
    Open,
    SaveAs,
    Cut,
    Copy,
    Paste,
    Cascade,
    TileHorizontal,
    TileVertical,
    EditFixAnswer,
    TestFixAnswer,
    EditReturnCode,
    FiscalEnabled,
    FiscalDisabled,
};

QPixmap Logo(int size);
QIcon ProgramIcon();
QPixmap BackgroundTile();
QIcon ToolIcon(Glyph glyph);

} // namespace artwork
