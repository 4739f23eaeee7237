// The command panel of the terminal window: one label and one input per command field of the
// shown command, laid out on a grid that follows the panel's width, and the command's notes.

#include "core/accelerator.h"
#include "core/colors.h"
#include "core/inputrules.h"
#include "core/panelgrid.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "editors/fieldtypecombobox.h"
#include "gui/bytetext.h"
#include "gui/hint.h"
#include "terminal/terminalwindow.h"

#include <QAbstractButton>
#include <QDateEdit>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimeEdit>

#include <algorithm>

using namespace tallyhost;

namespace {

// Labels of required fields are drawn in maroon.
const QColor RequiredLabelColor(128, 0, 0);

constexpr int NotesLineHeight = 20;

// Height of an input: 20 pixels at 96 dpi, 24 otherwise, and never less than the style needs.
int InputHeight(const QWidget* input)
{
    const int base = input->logicalDpiY() == 96 ? 20 : 24;
    return std::min(std::max(base, input->sizeHint().height()),
                    TPanelGrid::RowPitch - TPanelGrid::InputBelowLabel - 2);
}

// A time goes into the frame as hours, minutes and seconds, so the picker shows exactly those,
// whatever the locale's own (often shorter, or 12-hour) time format.
const QString TimePickerFormat = QStringLiteral("HH:mm:ss");

QColor SystemColor(const char* name)
{
    TColor color = 0;
    IdentToColor(name, color);
    const TRgb rgb = ColorToRgbParts(color);
    return QColor(rgb.Red, rgb.Green, rgb.Blue);
}

// The least contrast (as the ratio of relative luminances) at which a read-only value still
// reads comfortably.
constexpr double LegibleContrast = 4.5;

// A read-only field is disabled and drawn in the inactive-caption-text colour. The style's own
// disabled look (grey text on a grey face) is hard to read, and the value is what the operator
// came to see; should that colour be faint on the style's background, the normal text colour
// is used instead.
void ShowReadOnly(QWidget* input)
{
    QPalette pal = input->palette();
    const QColor background = pal.color(QPalette::Disabled, QPalette::Base);
    QColor text = SystemColor("clInactiveCaptionText");
    auto rgb = [](const QColor& c) {
        return TRgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                    static_cast<std::uint8_t>(c.blue())};
    };
    if (ContrastRatio(rgb(text), rgb(background)) < LegibleContrast)
        text = pal.color(QPalette::Active, QPalette::Text);
    for (const QPalette::ColorRole role :
         {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        pal.setColor(QPalette::Disabled, role, text);
    input->setPalette(pal);
}

} // namespace

void TFormChildTerminalWindow::CreateCommandTab()
{
    // Commands: the generated inputs are placed on a plain client widget by pixel grid.
    ScrollBoxCommand = new QScrollArea;
    ScrollBoxCommand->setObjectName(QStringLiteral("ScrollBoxCommand"));
    ScrollBoxCommand->setWidgetResizable(false);
    ScrollBoxCommand->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_commandClient = new QWidget;
    ScrollBoxCommand->setWidget(m_commandClient);
    ScrollBoxCommand->viewport()->installEventFilter(this);
    TabSheetCommand = AddTab(ScrollBoxCommand, tr("Co&mmands"));
}

std::string TFormChildTerminalWindow::WindowAccelerators() const
{
    std::string taken;
    auto add = [&taken](const QString& text) {
        if (const char letter = AcceleratorLetter(text.toLatin1().toStdString()))
            taken += letter;
    };
    for (const QAbstractButton* button : ButtonPanel->findChildren<QAbstractButton*>())
        add(button->text());
    for (int i = 0; i < PageControl->count(); ++i)
        add(PageControl->tabText(i));
    // The main window's menus answer Alt+letter in the same window as the panel.
    if (const QWidget* top = window(); top && top != this) {
        for (const QMenuBar* bar : top->findChildren<QMenuBar*>()) {
            for (const QAction* action : bar->actions())
                add(action->text());
        }
    }
    return taken;
}

void TFormChildTerminalWindow::ClearCommandPanel()
{
    m_commandClient->hide();
    for (int i = 0; i < MaxFields; ++i) {
        delete FieldInputs[i];
        FieldInputs[i] = nullptr;
        delete FieldLabels[i];
        FieldLabels[i] = nullptr;
    }
    Definition.FieldCount = 0;
    delete MemoNotes;
    MemoNotes = nullptr;
    delete LabelNotes;
    LabelNotes = nullptr;
    m_commandClient->resize(ScrollBoxCommand->viewport()->width(), 0);
    m_commandClient->show();
}

void TFormChildTerminalWindow::BuildCommandPanel(const QString& section)
{
    m_commandClient->hide();
    const std::string sectionBytes = section.toLatin1().toStdString();
    const int count = std::clamp(Definition.FieldCount, 0, MaxFields);

    // A field keeps its own letter unless the window's buttons, tabs or menus use it.
    std::vector<std::string> captions;
    for (int i = 0; i < count; ++i)
        captions.push_back(Definition.Fields[i].Caption);
    captions = PlaceAccelerators(captions, WindowAccelerators());

    for (int i = 0; i < count; ++i) {
        const TCommandFieldDef& def = Definition.Fields[i];
        const std::string& caption = captions[static_cast<std::size_t>(i)];
        auto* label = new QLabel(FromBytes(caption), m_commandClient);
        FieldLabels[i] = label;

        QWidget* input = nullptr;
        switch (def.ControlType) {
        case ctSimple:
        case ctDropDown:
        case ctDropDownList: {
            auto* box = new TFieldTypeComboBox(m_commandClient);
            box->SetStyle(def.ControlType == ctSimple     ? TFieldTypeComboBox::csSimple
                          : def.ControlType == ctDropDown ? TFieldTypeComboBox::csDropDown
                                                          : TFieldTypeComboBox::csDropDownList);
            // The type goes on after the length: a Boolean box holds one character even when
            // its definition sets no (or a longer) maximum length.
            box->setMaxLength(def.MaxLength);
            box->SetFieldType(def.TextType);
            // The default as the box takes it: the same rule tallyhost-cli applies.
            box->setText(FromBytes(InitialBoxText(def.TextType, def.MaxLength, def.DefaultText)));
            box->SetRequired(def.Required);
            if (def.ControlType != ctSimple) {
                // The default text goes in first; choosing item 0 then replaces it whenever
                // the list has items.
                QStringList items;
                for (const std::string& item : LoadComboItems(*m_cache, sectionBytes, i + 1))
                    items.append(FromBytes(item));
                box->addItems(items);
                if (!items.isEmpty())
                    box->setCurrentIndex(0);
            }
            input = box;
            break;
        }
        case ctDate: {
            auto* date = new QDateEdit(QDate::currentDate(), m_commandClient);
            date->setCalendarPopup(true);
            input = date;
            break;
        }
        case ctTime: {
            auto* time = new QTimeEdit(QTime::currentTime(), m_commandClient);
            time->setDisplayFormat(TimePickerFormat);
            input = time;
            break;
        }
        default:
            // An unknown control type gets no input; sending treats it as an empty value.
            break;
        }
        FieldInputs[i] = input;

        if (input) {
            input->setEnabled(!def.ReadOnly);
            if (def.ReadOnly)
                ShowReadOnly(input);
            SetHint(input, FromBytes(def.Hint));
            label->setBuddy(input);
        }
        if (def.Required) {
            QPalette pal = label->palette();
            pal.setColor(QPalette::WindowText, RequiredLabelColor);
            label->setPalette(pal);
        }
    }

    if (count > 0) {
        const std::vector<std::string> notes = LoadNotes(*m_cache, sectionBytes);
        if (!notes.empty()) {
            QStringList lines;
            for (const std::string& line : notes)
                lines.append(FromBytes(line));
            LabelNotes = new QLabel(tr("Notes"), m_commandClient);
            MemoNotes = new QPlainTextEdit(m_commandClient);
            MemoNotes->setPlainText(lines.join(QLatin1Char('\n')));
            MemoNotes->setEnabled(false);
            MemoNotes->setLineWrapMode(QPlainTextEdit::NoWrap);
            LabelNotes->setBuddy(MemoNotes);
        }
    }

    LayoutCommandPanel();
    for (int i = 0; i < count; ++i) {
        FieldLabels[i]->show();
        if (FieldInputs[i])
            FieldInputs[i]->show();
    }
    if (MemoNotes) {
        LabelNotes->show();
        MemoNotes->show();
    }
    m_commandClient->show();
    SetButtonsForPanel();
}

void TFormChildTerminalWindow::LayoutCommandPanel()
{
    if (!m_commandClient)
        return;
    const int clientWidth = ScrollBoxCommand->viewport()->width();
    const TPanelGrid grid = TPanelGrid::ForClientWidth(clientWidth);
    const int width = std::max(grid.ColumnWidth, 10);
    int bottom = 0;
    int count = 0;
    for (int i = 0; i < MaxFields && FieldLabels[i]; ++i, ++count) {
        QLabel* label = FieldLabels[i];
        label->setGeometry(grid.Left(i), grid.LabelTop(i), width,
                           std::min(label->sizeHint().height(), TPanelGrid::InputBelowLabel));
        bottom = std::max(bottom, label->geometry().bottom());
        if (QWidget* input = FieldInputs[i]) {
            input->setGeometry(grid.Left(i), grid.InputTop(i), width, InputHeight(input));
            bottom = std::max(bottom, input->geometry().bottom());
        }
    }
    if (MemoNotes) {
        const int top = grid.TopAfter(count);
        LabelNotes->setGeometry(
            TPanelGrid::LeftMargin, top, std::max(clientWidth - 40, 10),
            std::min(LabelNotes->sizeHint().height(), TPanelGrid::InputBelowLabel));
        const int lines = std::max(1, MemoNotes->document()->blockCount());
        MemoNotes->setGeometry(TPanelGrid::LeftMargin, top + TPanelGrid::InputBelowLabel,
                               std::max(clientWidth - 40, 10), lines * NotesLineHeight);
        bottom = MemoNotes->geometry().bottom();
    }
    m_commandClient->resize(clientWidth, bottom > 0 ? bottom + TPanelGrid::FirstRowTop : 0);
}

void TFormChildTerminalWindow::SetButtonsForPanel()
{
    if (Definition.FieldCount <= 0) {
        ButtonSend->setEnabled(false);
        ButtonRepeat->setEnabled(false);
    } else if (Definition.Mode == cmHost && IsHostPortOpen()) {
        ButtonSend->setEnabled(true);
        ButtonRepeat->setEnabled(true);
    } else {
        ButtonSend->setEnabled(IsFiscalPortOpen());
        ButtonRepeat->setEnabled(false);
    }
    UpdateSendHint();
}
