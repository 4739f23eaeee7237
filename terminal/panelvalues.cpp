// Values that stay: what the operator typed into a command's panel is kept when another
// command is selected and put back when it is selected again, until the file's definitions are
// read again; "Reset values" brings back the defaults. The store is the core's TPanelValues.

#include "terminal/terminalwindow.h"

#include "editors/fieldtypecombobox.h"

#include <QDateEdit>
#include <QTimeEdit>

#include <algorithm>

using namespace tallyhost;

std::vector<FieldInput> TFormChildTerminalWindow::PanelInputs() const
{
    const int count = std::clamp(Definition.FieldCount, 0, MaxFields);
    std::vector<FieldInput> values(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        FieldInput& value = values[static_cast<std::size_t>(i)];
        QWidget* control = FieldInputs[i];
        // Kept as UTF-8: the text comes back exactly as typed; only sending limits it to bytes.
        if (auto* box = qobject_cast<TFieldTypeComboBox*>(control)) {
            value.Text = box->text().toUtf8().toStdString();
        } else if (auto* dateEdit = qobject_cast<QDateEdit*>(control)) {
            const QDate d = dateEdit->date();
            value.Date = FrameDate{d.year(), d.month(), d.day()};
        } else if (auto* timeEdit = qobject_cast<QTimeEdit*>(control)) {
            const QTime t = timeEdit->time();
            value.Time = FrameTime{t.hour(), t.minute(), t.second()};
        }
    }
    return values;
}

void TFormChildTerminalWindow::KeepPanelValues()
{
    if (CurrentCommand.isEmpty() || Definition.FieldCount <= 0)
        return;
    m_panelValues.Keep(CurrentCommand.toStdString(), Definition, PanelInputs());
}

void TFormChildTerminalWindow::RestorePanelValues(const QString& section)
{
    const auto kept = m_panelValues.Kept(section.toStdString(), Definition);
    if (!kept)
        return;
    const int count = std::min<int>(static_cast<int>(kept->size()), MaxFields);
    for (int i = 0; i < count; ++i) {
        const FieldInput& value = (*kept)[static_cast<std::size_t>(i)];
        QWidget* control = FieldInputs[i];
        if (auto* box = qobject_cast<TFieldTypeComboBox*>(control)) {
            box->setText(
                QString::fromUtf8(value.Text.data(), static_cast<qsizetype>(value.Text.size())));
        } else if (auto* dateEdit = qobject_cast<QDateEdit*>(control)) {
            dateEdit->setDate(QDate(value.Date.Year, value.Date.Month, value.Date.Day));
        } else if (auto* timeEdit = qobject_cast<QTimeEdit*>(control)) {
            timeEdit->setTime(QTime(value.Time.Hour, value.Time.Minute, value.Time.Second));
        }
    }
}

void TFormChildTerminalWindow::MenuItemResetValuesClick()
{
    if (CurrentCommand.isEmpty())
        return;
    m_panelValues.Reset(CurrentCommand.toStdString());
    ShowCommand(CurrentCommand, false);
}
