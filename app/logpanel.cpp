#include "app/logpanel.h"

#include "gui/logview.h"
#include "gui/messagebox.h"
#include "session/framedecode.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QSaveFile>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace tallyhost;

namespace {

QString Latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TLogPanel::TLogPanel(QWidget* parent) : QWidget(parent)
{
    m_view = new TLogView(this);
    m_view->setObjectName(QStringLiteral("RichEditLog"));
    QFont font(QStringLiteral("Courier New"), 8);
    font.setStyleHint(QFont::TypeWriter); // a monospaced stand-in where Courier New is missing
    m_view->setFont(font);

    m_decodePane = new QTreeWidget(this);
    m_decodePane->setObjectName(QStringLiteral("LogDecodePane"));
    m_decodePane->setHeaderLabels(
        {QStringLiteral("Field"), QStringLiteral("Value"), QStringLiteral("Hex")});
    m_decodePane->setRootIsDecorated(true);
    m_decodePane->setUniformRowHeights(true);
    m_decodePane->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_decodePane->setColumnWidth(0, 150);
    m_decodePane->setColumnWidth(1, 260);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("LogSplitter"));
    m_splitter->addWidget(m_view);
    m_splitter->addWidget(m_decodePane);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);
    // Most of the height for the lines; the pane takes a quarter.
    m_splitter->setSizes({3000, 1000});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The filter bar above the view (hidden until Filter).
    m_filterBar = new QWidget(this);
    m_filterBar->setObjectName(QStringLiteral("LogFilterBar"));
    auto* filterLayout = new QHBoxLayout(m_filterBar);
    filterLayout->setContentsMargins(2, 2, 2, 2);
    auto* filterLabel = new QLabel(QStringLiteral("Fi&lter:"), m_filterBar);
    m_filterPort = new QComboBox(m_filterBar);
    m_filterPort->setObjectName(QStringLiteral("LogFilterPort"));
    m_filterPort->addItems(
        {QStringLiteral("Both ports"), QStringLiteral("Host port"), QStringLiteral("Fiscal port")});
    filterLabel->setBuddy(m_filterPort);
    m_filterDirection = new QComboBox(m_filterBar);
    m_filterDirection->setObjectName(QStringLiteral("LogFilterDirection"));
    m_filterDirection->addItems(
        {QStringLiteral("Both ways"), QStringLiteral("Sent"), QStringLiteral("Received")});
    m_filterKind = new QComboBox(m_filterBar);
    m_filterKind->setObjectName(QStringLiteral("LogFilterKind"));
    m_filterKind->addItems({QStringLiteral("All lines"), QStringLiteral("Frames"),
                            QStringLiteral("ACK/NAK"),
                            QStringLiteral("Errors and set-aside bytes")});
    m_filterText = new QLineEdit(m_filterBar);
    m_filterText->setObjectName(QStringLiteral("LogFilterText"));
    m_filterText->setPlaceholderText(QStringLiteral("Text"));
    m_filterBytes = new QLineEdit(m_filterBar);
    m_filterBytes->setObjectName(QStringLiteral("LogFilterBytes"));
    m_filterBytes->setPlaceholderText(QStringLiteral("Bytes: 1C 30 30"));
    m_filterBytes->setToolTip(QStringLiteral("Lines whose bytes hold these, in hexadecimal"));
    m_filterCount = new QLabel(m_filterBar);
    m_filterCount->setObjectName(QStringLiteral("LogFilterCount"));
    auto* filterClose = new QToolButton(m_filterBar);
    filterClose->setText(QStringLiteral("Clear"));
    filterClose->setToolTip(QStringLiteral("Show every line again (Esc)"));
    filterLayout->addWidget(filterLabel);
    filterLayout->addWidget(m_filterPort);
    filterLayout->addWidget(m_filterDirection);
    filterLayout->addWidget(m_filterKind);
    filterLayout->addWidget(m_filterText, 1);
    filterLayout->addWidget(m_filterBytes, 1);
    filterLayout->addWidget(m_filterCount);
    filterLayout->addWidget(filterClose);
    m_filterBar->hide();
    layout->addWidget(m_filterBar);
    layout->addWidget(m_splitter, 1);
    for (QComboBox* combo : {m_filterPort, m_filterDirection, m_filterKind})
        connect(combo, &QComboBox::currentIndexChanged, this, &TLogPanel::ApplyFilter);
    for (QLineEdit* edit : {m_filterText, m_filterBytes}) {
        connect(edit, &QLineEdit::textChanged, this, &TLogPanel::ApplyFilter);
        edit->installEventFilter(this);
    }
    m_filterPort->installEventFilter(this);
    m_filterDirection->installEventFilter(this);
    m_filterKind->installEventFilter(this);
    connect(filterClose, &QToolButton::clicked, this, &TLogPanel::CloseFilterBar);

    // The find bar below the view (hidden until Find).
    m_findBar = new QWidget(this);
    m_findBar->setObjectName(QStringLiteral("LogFindBar"));
    auto* findLayout = new QHBoxLayout(m_findBar);
    findLayout->setContentsMargins(2, 2, 2, 2);
    auto* findLabel = new QLabel(QStringLiteral("&Find:"), m_findBar);
    m_findEdit = new QLineEdit(m_findBar);
    m_findEdit->setObjectName(QStringLiteral("LogFindEdit"));
    m_findEdit->setToolTip(QStringLiteral("Enter: next match, Shift+Enter: previous, Esc: close"));
    findLabel->setBuddy(m_findEdit);
    m_findCount = new QLabel(m_findBar);
    m_findCount->setObjectName(QStringLiteral("LogFindCount"));
    findLayout->addWidget(findLabel);
    findLayout->addWidget(m_findEdit, 1);
    findLayout->addWidget(m_findCount);
    m_findBar->hide();
    layout->addWidget(m_findBar);
    m_findEdit->installEventFilter(this);
    connect(m_findEdit, &QLineEdit::textChanged, this, [this] {
        m_view->SetFindText(m_findEdit->text());
        // Incremental: the first match from the start of the current one.
        m_view->FindNext(false, true);
        UpdateFindCount();
    });

    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("PopupMenuLog"));
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_popup->popup(m_view->viewport()->mapToGlobal(pos)); });

    m_actionTimeColumn = AddTool("MenuItemTimeColumn", QStringLiteral("&Time column"),
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    m_actionTextColumn = AddTool("MenuItemTextColumn", QStringLiteral("Bytes as te&xt"),
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    m_actionResponseTime = AddTool("MenuItemResponseTime", QStringLiteral("&Response times"),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    for (QAction* action : {m_actionTimeColumn, m_actionTextColumn, m_actionResponseTime}) {
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this] {
            const LogColumns columns{m_actionTimeColumn->isChecked(),
                                     m_actionTextColumn->isChecked(),
                                     m_actionResponseTime->isChecked()};
            m_view->SetColumns(columns);
            UpdateFindCount();
            emit ColumnsChanged(columns);
        });
    }
    m_popup->addSeparator();
    connect(AddTool("MenuItemFind", QStringLiteral("&Find..."), QKeySequence(Qt::CTRL | Qt::Key_F)),
            &QAction::triggered, this, &TLogPanel::MenuItemFindClick);
    connect(AddTool("MenuItemFindNext", QStringLiteral("Find &next"), QKeySequence(Qt::Key_F3)),
            &QAction::triggered, this, [this] { FindNext(false); });
    connect(AddTool("MenuItemFindPrevious", QStringLiteral("Find &previous"),
                    QKeySequence(Qt::SHIFT | Qt::Key_F3)),
            &QAction::triggered, this, [this] { FindNext(true); });
    connect(
        AddTool("MenuItemFilter", QStringLiteral("Fi&lter..."), QKeySequence(Qt::CTRL | Qt::Key_L)),
        &QAction::triggered, this, &TLogPanel::MenuItemFilterClick);
    m_actionDecodePane = AddTool("MenuItemDecodePane", QStringLiteral("&Decode pane"),
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    m_actionDecodePane->setCheckable(true);
    m_actionDecodePane->setChecked(true);
    connect(m_actionDecodePane, &QAction::toggled, m_decodePane, &QWidget::setVisible);
    m_popup->addSeparator();
    connect(AddTool("MenuItemCopyAll", QStringLiteral("Copy &all"),
                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)),
            &QAction::triggered, this, &TLogPanel::MenuItemCopyAllClick);
    connect(AddTool("MenuItemSaveAs", QStringLiteral("&Save as..."),
                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)),
            &QAction::triggered, this, &TLogPanel::MenuItemSaveAsClick);

    connect(m_view, &TLogView::CurrentChanged, this, &TLogPanel::ShowDecoded);
    ShowDecoded(-1);
}

TLogPanel::~TLogPanel() = default;

QAction* TLogPanel::AddTool(const char* name, const QString& text, const QKeySequence& key)
{
    auto* action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    if (!key.isEmpty())
        action->setShortcut(key);
    // Only while the log has the focus: the main window's shortcuts stay theirs.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    m_popup->addAction(action);
    return action;
}

void TLogPanel::SetColumns(const LogColumns& columns)
{
    m_actionTimeColumn->setChecked(columns.Time);
    m_actionTextColumn->setChecked(columns.Text);
    m_actionResponseTime->setChecked(columns.Response);
    m_view->SetColumns(columns);
}

void TLogPanel::SetCatalogue(const QString& path)
{
    m_cataloguePath = path;
    m_decoder.reset();
    ShowDecoded(m_view->CurrentSequence());
}

const TLogDecoder& TLogPanel::Decoder()
{
    // Read again when the file changed: the operator may have edited the catalogue.
    const QDateTime stamp =
        m_cataloguePath.isEmpty() ? QDateTime() : QFileInfo(m_cataloguePath).lastModified();
    if (!m_decoder || stamp != m_catalogueStamp) {
        m_catalogueStamp = stamp;
        m_decoder =
            m_cataloguePath.isEmpty()
                ? std::make_unique<TLogDecoder>()
                : std::make_unique<TLogDecoder>(QFile::encodeName(m_cataloguePath).toStdString());
    }
    return *m_decoder;
}

// ---- decode pane -----------------------------------------------------------------------------

void TLogPanel::ShowDecoded(qint64 sequence)
{
    m_decodePane->clear();
    const LogStore& store = m_view->Store();
    if (sequence < 0 || static_cast<std::uint64_t>(sequence) < store.FirstSequence() ||
        static_cast<std::uint64_t>(sequence) >= store.EndSequence()) {
        ShowPaneNote(QStringLiteral("Select a frame line to decode it."));
        return;
    }
    const std::size_t index = static_cast<std::size_t>(sequence) - store.FirstSequence();
    if (store.At(index).Content == LogContent::Text) {
        ShowPaneNote(QStringLiteral("No frame on this line."));
        return;
    }
    const std::vector<DecodedLine> lines = DecodeStoredLine(Decoder(), store, index);
    QTreeWidgetItem* parent = nullptr;
    for (const DecodedLine& line : lines) {
        auto* item = new QTreeWidgetItem({Latin1(line.Name), Latin1(line.Value), Latin1(line.Hex)});
        if (line.Bad)
            for (int column = 0; column < 3; ++column)
                item->setForeground(column, QColor(Qt::red));
        if (line.Depth > 0 && parent) {
            parent->addChild(item);
        } else {
            m_decodePane->addTopLevelItem(item);
            parent = item;
        }
    }
    m_decodePane->expandAll();
}

void TLogPanel::ShowPaneNote(const QString& text)
{
    auto* item = new QTreeWidgetItem({text});
    m_decodePane->addTopLevelItem(item);
    item->setFirstColumnSpanned(true);
}

QStringList TLogPanel::DecodedLines() const
{
    QStringList lines;
    for (int i = 0; i < m_decodePane->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_decodePane->topLevelItem(i);
        lines << item->text(0) + u'|' + item->text(1) + u'|' + item->text(2);
        for (int k = 0; k < item->childCount(); ++k) {
            const QTreeWidgetItem* child = item->child(k);
            lines << QStringLiteral("  ") + child->text(0) + u'|' + child->text(1) + u'|' +
                         child->text(2);
        }
    }
    return lines;
}

// ---- find and filter -------------------------------------------------------------------------

void TLogPanel::MenuItemFindClick()
{
    m_findBar->show();
    m_findEdit->setFocus(Qt::ShortcutFocusReason);
    m_findEdit->selectAll();
    m_view->SetFindText(m_findEdit->text());
    UpdateFindCount();
}

void TLogPanel::CloseFindBar()
{
    m_findBar->hide();
    m_view->SetFindText(QString());
    m_findCount->clear();
    m_view->setFocus(Qt::OtherFocusReason);
}

int TLogPanel::HighlightedMatches() const
{
    return m_findBar->isVisible() ? static_cast<int>(m_view->MatchCount()) : 0;
}

bool TLogPanel::FindNext(bool backward)
{
    return m_view->FindNext(backward);
}

void TLogPanel::UpdateFindCount()
{
    if (!m_findBar->isVisible() || m_findEdit->text().isEmpty()) {
        m_findCount->clear();
        return;
    }
    const qint64 count = m_view->MatchCount();
    m_findCount->setText(count == 0
                             ? QStringLiteral("No match")
                             : QStringLiteral("%1 match(es)").arg(QLocale().toString(count)));
}

void TLogPanel::MenuItemFilterClick()
{
    m_filterBar->show();
    m_filterText->setFocus(Qt::ShortcutFocusReason);
    m_filterText->selectAll();
}

void TLogPanel::CloseFilterBar()
{
    const QSignalBlocker port(m_filterPort), direction(m_filterDirection), kind(m_filterKind),
        text(m_filterText), bytes(m_filterBytes);
    m_filterPort->setCurrentIndex(0);
    m_filterDirection->setCurrentIndex(0);
    m_filterKind->setCurrentIndex(0);
    m_filterText->clear();
    m_filterBytes->clear();
    ApplyFilter();
    m_filterBar->hide();
    m_view->setFocus(Qt::OtherFocusReason);
}

void TLogPanel::ApplyFilter()
{
    LogFilter filter;
    filter.Port = static_cast<LogPort>(m_filterPort->currentIndex());
    filter.Direction = static_cast<LogDirection>(m_filterDirection->currentIndex());
    filter.Kind = static_cast<LogFilter::Kinds>(m_filterKind->currentIndex());
    filter.Text = m_filterText->text().toLatin1().toStdString();
    filter.TextInNoLine = !IsLatin1Text(m_filterText->text());
    std::string bytes;
    const bool bytesGood = ParseHexPattern(m_filterBytes->text().toStdString(), bytes);
    // A pattern still being typed ("1C 3") filters nothing yet and says so.
    m_filterBytes->setStyleSheet(bytesGood ? QString()
                                           : QStringLiteral("QLineEdit { color: red; }"));
    if (bytesGood)
        filter.Bytes = bytes;
    m_view->SetFilter(filter);
    UpdateFindCount();
    m_filterCount->setText(filter.Active()
                               ? QStringLiteral("%1 of %2 lines")
                                     .arg(QLocale().toString(m_view->RowCount() -
                                                             (m_view->Notice().isEmpty() ? 0 : 1)))
                                     .arg(QLocale().toString(qint64(m_view->LineCount())))
                               : QString());
}

bool TLogPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (watched == m_findEdit) {
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                FindNext((key->modifiers() & Qt::ShiftModifier) != 0);
                return true;
            }
            if (key->key() == Qt::Key_Escape) {
                CloseFindBar();
                return true;
            }
        } else if (key->key() == Qt::Key_Escape) {
            CloseFilterBar(); // a key of the filter bar's
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- copy and save ---------------------------------------------------------------------------

QStringList TLogPanel::ViewLines() const
{
    return m_view->Lines();
}

bool TLogPanel::SaveViewAs(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text;
    for (const QString& line : ViewLines()) {
        // Latin-1 gives every byte of the text column back as it came.
        text += line.toLatin1();
        text += "\r\n";
    }
    file.write(text);
    return file.commit();
}

void TLogPanel::MenuItemSaveAsClick()
{
    const QString path = UserDialogs().SaveFileName(
        this, QStringLiteral("Save log as"), m_saveDirectory,
        QStringLiteral("Text files (*.txt);;All files (*)"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    if (!SaveViewAs(path))
        ShowErrorBox(this, QStringLiteral("Unable to write to %1").arg(path));
}

void TLogPanel::MenuItemCopyAllClick()
{
    QApplication::clipboard()->setText(ViewLines().join(u'\n'));
}
