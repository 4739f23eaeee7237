// The Host Answer and Fiscal Answer tabs of the terminal window.
//
// A host answer is drawn on the scroll box of the Host Answer tab: two group boxes whose
// captions give the status words in hexadecimal and whose panels show the texts of the
// matching status records in their colours, a separator, then one label and read-only edit per
// answer entry on a grid. The texts, colours and labels are those the exchange engine judged
// (session/exchange.h), the places are computed by the core (core/answerdecode.h); this file
// only creates and places the widgets. Every extra field of the answer gets an entry, also
// beyond the 70 fields a command can describe: values are never dropped. The grid of labelled
// boxes holds the first 70 entries; the rest go into one list below it, whose rows are made
// only as they are painted, so that a printer's answer of thousands of values does not freeze
// the window with tens of thousands of widgets.
//
// Fiscal answers are appended to the memo of the Fiscal Answer tab, one line per frame.

#include "terminal/terminalwindow.h"

#include "core/accelerator.h"
#include "core/answerdecode.h"
#include "core/colors.h"
#include "gui/bytetext.h"
#include "gui/hint.h"
#include "gui/qtcolor.h"
#include "session/exchange.h"
#include "terminal/commandtree.h"
#include "terminal/terminalhost.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>

using namespace tallyhost;

namespace {

constexpr int StatusPanelHeight = 21;
constexpr int AnswerEditHeight = 21;
constexpr int BevelHeight = 2;
constexpr int ClientBottomMargin = 10;

void SetTextColor(QWidget* widget, const QColor& color)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, color);
    widget->setPalette(pal);
}

// The read-only answer boxes are painted in the desktop's inactive-border grey, so they read as
// output rather than input.
QColor AnswerEditColor()
{
    TColor color = 0;
    if (IdentToColor("clInactiveBorder", color))
        return ToQColor(color);
    return QColor(212, 208, 200);
}

// Double clicks on the fiscal answer memo empty it.
class TMemoDoubleClickFilter : public QObject
{
public:
    TMemoDoubleClickFilter(TFormChildTerminalWindow* window, QObject* parent)
        : QObject(parent), m_window(window)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            m_window->MemoFiscalAnswerDblClick();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TFormChildTerminalWindow* m_window;
};

// Entries of an answer beyond the grid: name and value per row, read when a row is painted.
class TAnswerRestModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetEntries(std::vector<AnswerEntry> entries)
    {
        beginResetModel();
        m_entries = std::move(entries);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= static_cast<int>(m_entries.size()))
            return {};
        const AnswerEntry& entry = m_entries[static_cast<std::size_t>(index.row())];
        if (role == Qt::DisplayRole)
            return FromBytes(index.column() == 0 ? entry.Label : entry.Value);
        if (role == Qt::ForegroundRole && index.column() == 0 && !entry.Named)
            return ToQColor(UnnamedLabelColor);
        if (role == Qt::ToolTipRole && index.column() == 1 && !entry.Hint.empty())
            return FromBytes(entry.Hint);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return section == 0 ? QObject::tr("Name") : QObject::tr("Value");
    }

private:
    std::vector<AnswerEntry> m_entries;
};

// Rows of the list of further entries shown at once; it scrolls for the rest.
constexpr int AnswerRestVisibleRows = 15;

} // namespace

void TFormChildTerminalWindow::CreateAnswerTabs()
{
    ScrollBoxAnswer = new QScrollArea;
    ScrollBoxAnswer->setObjectName(QStringLiteral("ScrollBoxAnswer"));
    ScrollBoxAnswer->setWidgetResizable(false);
    auto* answerClient = new QWidget;
    ScrollBoxAnswer->setWidget(answerClient);
    GroupBoxFiscalAnswer = new QGroupBox(tr("Fiscal answer = "), answerClient);
    SetHint(GroupBoxFiscalAnswer, tr("Decode Fiscal state"));
    GroupBoxFiscalAnswer->hide();
    GroupBoxPrinterAnswer = new QGroupBox(tr("Printer answer = "), answerClient);
    SetHint(GroupBoxPrinterAnswer, tr("Decode Printer state"));
    GroupBoxPrinterAnswer->hide();
    BevelSeparator = new QFrame(answerClient);
    BevelSeparator->setFrameShape(QFrame::HLine);
    BevelSeparator->setFrameShadow(QFrame::Sunken);
    BevelSeparator->hide();
    TabSheetAnswer = AddTab(ScrollBoxAnswer, tr("Host &Answer"));

    MemoFiscalAnswer = new QPlainTextEdit;
    MemoFiscalAnswer->setObjectName(QStringLiteral("MemoFiscalAnswer"));
    MemoFiscalAnswer->setReadOnly(true);
    MemoFiscalAnswer->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoFiscalAnswer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoFiscalAnswer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    MemoFiscalAnswer->setFont(fixed);
    TabSheetFiscalAnswer = AddTab(MemoFiscalAnswer, tr("&Fiscal Answer"));
}

// ---- host answer ----------------------------------------------------------------------------

void TFormChildTerminalWindow::ClearAnswerControls()
{
    RemoveFiscalStatusPanels();
    RemovePrinterStatusPanels();
    for (QLabel* label : AnswerLabels)
        delete label;
    for (QLineEdit* edit : AnswerEdits)
        delete edit;
    AnswerLabels.clear();
    AnswerEdits.clear();
    if (AnswerRestView) {
        AnswerRestView->hide();
        static_cast<TAnswerRestModel*>(AnswerRestView->model())->SetEntries({});
    }
}

void TFormChildTerminalWindow::ShowAnswer(std::uint16_t fiscalWord, std::uint16_t printerWord,
                                          const std::vector<std::string>& extraFields,
                                          std::uint16_t returnCode)
{
    // A fixed answer is decoded as the engine decodes a printer's, named by the sent command.
    ExchangeResult answer;
    answer.FiscalStatus = fiscalWord;
    answer.PrinterStatus = printerWord;
    answer.ReturnCode = returnCode;
    answer.ExtraFields = extraFields;
    DecodeAnswer(answer, m_cache.get(), SentCommand.toLatin1().toStdString(), {}, HostSettings(),
                 FiscalStatus, PrinterStatus);
    ShowHostAnswer(answer);
}

void TFormChildTerminalWindow::ShowHostAnswer(const ExchangeResult& answer)
{
    // Rebuilt out of sight: the old controls go (deleted at once, so nothing needs to run
    // before the new ones are made), the new ones are placed, then the box is shown. The tab
    // comes to the front first and its layout is settled, so that the grid is computed for the
    // width the scroll box really has (a page never shown yet has no size of its own).
    PageControl->setCurrentWidget(TabSheetAnswer);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    ScrollBoxAnswer->setUpdatesEnabled(false);
    ClearAnswerControls();

    ShowStatusPanels(answer);
    BevelSeparator->show();
    ShowAnswerFields(answer.AnswerFields);

    ScrollBoxAnswer->setUpdatesEnabled(true);
    ScrollBoxAnswer->setFocus();
}

namespace {

// Builds one word's panels in its group box; returns them (element 0 = panel 1).
std::vector<QLabel*> BuildStatusPanels(QGroupBox* box, const std::vector<StatusPanelText>& decoded)
{
    const int clientWidth = std::max(box->width() - 4, 0);
    const StatusPanelLayout layout =
        LayoutStatusPanels(clientWidth, static_cast<int>(decoded.size()));
    // The rows start below the caption: the style's caption may be taller than the 15 pixels
    // the layout leaves for it.
    const int captionHeight = box->fontMetrics().height() + 8;
    const int shift = std::max(0, captionHeight - StatusFirstRowTop);
    std::vector<QLabel*> panels;
    panels.reserve(decoded.size());
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        auto* panel = new QLabel(box);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment(Qt::AlignCenter);
        const PanelPosition pos = StatusPanelPosition(layout, static_cast<int>(i));
        panel->setGeometry(pos.Left, pos.Top + shift, StatusPanelWidth, StatusPanelHeight);
        if (decoded[i].Matched) {
            panel->setText(FromBytes(decoded[i].Text));
            SetTextColor(panel, ToQColor(decoded[i].Color));
        }
        panel->show();
        panels.push_back(panel);
    }
    // With no records the box keeps one line, for its caption.
    box->resize(box->width(), layout.Height > 0 ? layout.Height + shift : captionHeight);
    return panels;
}

void RemoveStatusPanels(std::vector<QLabel*>& panels, bool& exist, QGroupBox* box)
{
    if (!exist)
        return;
    for (QLabel* panel : panels)
        delete panel;
    panels.clear();
    exist = false;
    box->hide();
}

} // namespace

void TFormChildTerminalWindow::ShowStatusPanels(const ExchangeResult& answer)
{
    const int clientWidth = ScrollBoxAnswer->viewport()->width();
    const int boxWidth = std::max(clientWidth - StatusBoxMargin, 0);
    const int left = StatusBoxMargin / 2;

    GroupBoxFiscalAnswer->setTitle(FromBytes(FiscalAnswerCaption(answer.FiscalStatus)));
    GroupBoxFiscalAnswer->setGeometry(left, left, boxWidth, GroupBoxFiscalAnswer->height());
    FiscalPanels = BuildStatusPanels(GroupBoxFiscalAnswer, answer.FiscalPanels);
    FiscalPanelsExist = true;
    GroupBoxFiscalAnswer->show();

    GroupBoxPrinterAnswer->setTitle(FromBytes(PrinterAnswerCaption(answer.PrinterStatus)));
    GroupBoxPrinterAnswer->setGeometry(
        left, GroupBoxFiscalAnswer->geometry().bottom() + 1 + StatusBoxSpacing, boxWidth,
        GroupBoxPrinterAnswer->height());
    PrinterPanels = BuildStatusPanels(GroupBoxPrinterAnswer, answer.PrinterPanels);
    PrinterPanelsExist = true;
    GroupBoxPrinterAnswer->show();
}

void TFormChildTerminalWindow::ShowAnswerFields(const std::vector<AnswerEntry>& entries)
{
    QWidget* client = ScrollBoxAnswer->widget();
    const int clientWidth = ScrollBoxAnswer->viewport()->width();
    const int bevelTop = GroupBoxPrinterAnswer->geometry().bottom() + 1 + StatusBoxSpacing;
    BevelSeparator->setGeometry(StatusBoxMargin / 2, bevelTop,
                                std::max(clientWidth - StatusBoxMargin, 0), BevelHeight);
    const int bevelBottom = bevelTop + BevelHeight;

    const AnswerGridLayout grid = LayoutAnswerGrid(clientWidth);
    const QColor editColor = AnswerEditColor();
    const QColor unnamedColor = ToQColor(UnnamedLabelColor);
    const std::size_t gridCount = std::min(entries.size(), MaxAnswerGridEntries);
    // The labels' accelerators leave the tabs' and menus' letters alone, as the panel's do.
    std::vector<std::string> captions;
    for (std::size_t i = 0; i < gridCount; ++i)
        captions.push_back(entries[i].Label);
    captions = PlaceAccelerators(captions, WindowAccelerators());
    int bottom = bevelBottom;
    AnswerLabels.reserve(gridCount);
    AnswerEdits.reserve(gridCount);
    for (std::size_t i = 0; i < gridCount; ++i) {
        const AnswerEntry& entry = entries[i];
        const AnswerCellPosition cell = AnswerCell(grid, entry.Position, bevelBottom);
        auto* label = new QLabel(FromBytes(captions[i]), client);
        label->setTextFormat(Qt::PlainText);
        label->move(cell.Left, cell.LabelTop);
        label->resize(cell.EditWidth, AnswerEditOffset);
        auto* edit = new QLineEdit(FromBytes(entry.Value), client);
        edit->setReadOnly(true);
        edit->setGeometry(cell.Left, cell.EditTop, cell.EditWidth, AnswerEditHeight);
        QPalette pal = edit->palette();
        pal.setColor(QPalette::Base, editColor);
        edit->setPalette(pal);
        edit->setCursorPosition(0);
        if (!entry.Hint.empty())
            SetHint(edit, FromBytes(entry.Hint));
        label->setBuddy(edit);
        if (!entry.Named)
            SetTextColor(label, unnamedColor);
        // A hidden reserved entry keeps its place in the grid, empty.
        label->setVisible(entry.Visible);
        edit->setVisible(entry.Visible);
        AnswerLabels.push_back(label);
        AnswerEdits.push_back(edit);
        bottom = std::max(bottom, cell.EditTop + AnswerEditHeight);
    }
    if (entries.size() > gridCount) {
        bottom = ShowAnswerRest(
            std::vector<AnswerEntry>(entries.begin() + static_cast<std::ptrdiff_t>(gridCount),
                                     entries.end()),
            bottom + AnswerEditOffset);
    }
    client->resize(clientWidth, bottom + ClientBottomMargin);
}

int TFormChildTerminalWindow::ShowAnswerRest(std::vector<AnswerEntry> entries, int top)
{
    QWidget* client = ScrollBoxAnswer->widget();
    if (!AnswerRestView) {
        AnswerRestView = new QTableView(client);
        AnswerRestView->setObjectName(QStringLiteral("AnswerRestView"));
        AnswerRestView->setModel(new TAnswerRestModel(AnswerRestView));
        AnswerRestView->setEditTriggers(QAbstractItemView::NoEditTriggers);
        AnswerRestView->setSelectionBehavior(QAbstractItemView::SelectRows);
        AnswerRestView->setWordWrap(false);
        AnswerRestView->verticalHeader()->hide();
        // Every row as high as the first: nothing is measured per row.
        AnswerRestView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        AnswerRestView->horizontalHeader()->setStretchLastSection(true);
    }
    const auto rows = static_cast<int>(entries.size());
    static_cast<TAnswerRestModel*>(AnswerRestView->model())->SetEntries(std::move(entries));
    const int clientWidth = ScrollBoxAnswer->viewport()->width();
    const int rowHeight = AnswerRestView->verticalHeader()->defaultSectionSize();
    const int height = AnswerRestView->horizontalHeader()->sizeHint().height() +
                       std::min(rows, AnswerRestVisibleRows) * rowHeight +
                       2 * AnswerRestView->frameWidth();
    const int width = std::max(clientWidth - StatusBoxMargin, 0);
    AnswerRestView->setGeometry(StatusBoxMargin / 2, top, width, height);
    AnswerRestView->setColumnWidth(0, std::max(width / 3, 60));
    AnswerRestView->scrollToTop();
    AnswerRestView->show();
    return top + height;
}

void TFormChildTerminalWindow::RemoveFiscalStatusPanels()
{
    RemoveStatusPanels(FiscalPanels, FiscalPanelsExist, GroupBoxFiscalAnswer);
}

void TFormChildTerminalWindow::RemovePrinterStatusPanels()
{
    RemoveStatusPanels(PrinterPanels, PrinterPanelsExist, GroupBoxPrinterAnswer);
}

// ---- fiscal answers -------------------------------------------------------------------------

void TFormChildTerminalWindow::AppendFiscalAnswer(const QByteArray& data)
{
    if (!m_memoWatched) {
        MemoFiscalAnswer->viewport()->installEventFilter(
            new TMemoDoubleClickFilter(this, MemoFiscalAnswer));
        m_memoWatched = true;
    }
    PageControl->setCurrentWidget(TabSheetFiscalAnswer);
    MemoFiscalAnswer->appendPlainText(QString::fromLatin1(data));
}

void TFormChildTerminalWindow::MemoFiscalAnswerDblClick()
{
    MemoFiscalAnswer->clear();
}
