#pragma once

#include "core/logrecord.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QTreeWidget;
class TLogView;

namespace tallyhost {
class TLogDecoder;
}

// What the live log window and a log read back from a file share: the view of records, the
// find bar, the filter bar, the decode pane under the view and the popup menu of view tools
// (columns, find, filter, decode pane, copy all, save as). Its shortcuts work while the focus
// is inside it, so the main window's stay theirs.
class TLogPanel : public QWidget
{
    Q_OBJECT

public:
    explicit TLogPanel(QWidget* parent = nullptr);
    ~TLogPanel() override;

    TLogView* View() const { return m_view; }
    QMenu* PopupMenu() const { return m_popup; }
    QWidget* FindBar() const { return m_findBar; }
    QLineEdit* FindEdit() const { return m_findEdit; }
    QWidget* FilterBar() const { return m_filterBar; }
    QComboBox* FilterPort() const { return m_filterPort; }
    QComboBox* FilterDirection() const { return m_filterDirection; }
    QComboBox* FilterKind() const { return m_filterKind; }
    QLineEdit* FilterText() const { return m_filterText; }
    QLineEdit* FilterBytes() const { return m_filterBytes; }
    QTreeWidget* DecodePane() const { return m_decodePane; }
    QAction* ActionTimeColumn() const { return m_actionTimeColumn; }
    QAction* ActionTextColumn() const { return m_actionTextColumn; }
    QAction* ActionResponseTime() const { return m_actionResponseTime; }
    QAction* ActionDecodePane() const { return m_actionDecodePane; }

    // The catalogue that names the frames in the decode pane (read again when it changes on
    // disk); empty for none.
    void SetCatalogue(const QString& path);
    // The folder the save dialog starts in.
    void SetSaveDirectory(const QString& directory) { m_saveDirectory = directory; }
    void SetColumns(const tallyhost::LogColumns& columns);

    QStringList ViewLines() const;
    bool SaveViewAs(const QString& path) const;
    int HighlightedMatches() const;
    bool FindNext(bool backward = false);
    // The decode pane's lines as "name|value|hex", depth shown by two blanks a level.
    QStringList DecodedLines() const;

public slots:
    void MenuItemFindClick();
    void MenuItemFilterClick();
    void MenuItemCopyAllClick();
    void MenuItemSaveAsClick();

signals:
    // The operator switched a column (the window remembers them).
    void ColumnsChanged(const tallyhost::LogColumns& columns);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddTool(const char* name, const QString& text, const QKeySequence& key);
    void CloseFindBar();
    void CloseFilterBar();
    void ApplyFilter();
    void UpdateFindCount();
    void ShowDecoded(qint64 sequence);
    void ShowPaneNote(const QString& text);
    const tallyhost::TLogDecoder& Decoder();

    TLogView* m_view = nullptr;
    QSplitter* m_splitter = nullptr;
    QMenu* m_popup = nullptr;
    QAction* m_actionTimeColumn = nullptr;
    QAction* m_actionTextColumn = nullptr;
    QAction* m_actionResponseTime = nullptr;
    QAction* m_actionDecodePane = nullptr;
    QWidget* m_findBar = nullptr;
    QLineEdit* m_findEdit = nullptr;
    QLabel* m_findCount = nullptr;
    QWidget* m_filterBar = nullptr;
    QComboBox* m_filterPort = nullptr;
    QComboBox* m_filterDirection = nullptr;
    QComboBox* m_filterKind = nullptr;
    QLineEdit* m_filterText = nullptr;
    QLineEdit* m_filterBytes = nullptr;
    QLabel* m_filterCount = nullptr;
    QTreeWidget* m_decodePane = nullptr;
    QString m_saveDirectory;

    QString m_cataloguePath;
    QDateTime m_catalogueStamp;
    std::unique_ptr<tallyhost::TLogDecoder> m_decoder;
};
