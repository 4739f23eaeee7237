// The command tree of the terminal window: its nodes (root, groups, commands) as the file lists
// them, the selection that shows a command in the panel, and the tree's popup menu and its
// enabling. The edits of the tree are in terminal/treeedits.cpp.

#include "terminal/terminalwindow.h"

#include "core/errors.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "core/treeedit.h"
#include "gui/bytetext.h"
#include "session/exchange.h"
#include "terminal/commandtree.h"
#include "terminal/terminalhost.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidgetItem>

using namespace tallyhost;

void TFormChildTerminalWindow::CreatePopupMenu()
{
    TerminalWindowPopupMenu = new QMenu(this);
    MenuItemGroupPopUp = TerminalWindowPopupMenu->addMenu(tr("&Group"));
    MenuItemGroupAdd = MenuItemGroupPopUp->addAction(
        tr("&Add"), this, &TFormChildTerminalWindow::MenuItemGroupAddClick);
    MenuItemGroupRename = MenuItemGroupPopUp->addAction(
        tr("&Rename"), this, &TFormChildTerminalWindow::MenuItemGroupRenameClick);
    MenuItemGroupRemove = MenuItemGroupPopUp->addAction(
        tr("&Remove"), this, &TFormChildTerminalWindow::MenuItemGroupRemoveClick);
    MenuItemCommandPopUp = TerminalWindowPopupMenu->addMenu(tr("&Command"));
    MemuItemCommandAdd = MenuItemCommandPopUp->addAction(
        tr("&Add"), this, &TFormChildTerminalWindow::MemuItemCommandAddClick);
    MenuItemCommandRename = MenuItemCommandPopUp->addAction(
        tr("&Rename"), this, &TFormChildTerminalWindow::MenuItemCommandRenameClick);
    MenuItemCommandRemove = MenuItemCommandPopUp->addAction(
        tr("&Remove"), this, &TFormChildTerminalWindow::MenuItemCommandRemoveClick);
    TerminalWindowPopupMenu->addSeparator();
    MenuItemEditFields = TerminalWindowPopupMenu->addAction(
        tr("&Edit fields"), this, &TFormChildTerminalWindow::MenuItemEditFieldsClick);
    MenuItemResetValues = TerminalWindowPopupMenu->addAction(
        tr("Reset &values"), this, &TFormChildTerminalWindow::MenuItemResetValuesClick);
    MenuItemResetValues->setToolTip(tr("Put the command's default values back in its panel"));
    // The panel offers it too: that is where the values are.
    m_commandClient->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_commandClient->addAction(MenuItemResetValues);
    TerminalWindowPopupMenu->addSeparator();
    MenuItemCopyCommand = TerminalWindowPopupMenu->addAction(
        tr("&Copy"), this, &TFormChildTerminalWindow::MenuItemCopyCommandClick);
    MenuItemCopyCommand->setEnabled(false);
    MenuItemPasteCommand = TerminalWindowPopupMenu->addAction(
        tr("&Paste"), this, &TFormChildTerminalWindow::MenuItemPasteCommandClick);
    MenuItemPasteCommand->setEnabled(false);
    TerminalWindowPopupMenu->addSeparator();
    MenuItemNodesCommand = TerminalWindowPopupMenu->addMenu(tr("&Nodes"));
    MenuItemExpandAll = MenuItemNodesCommand->addAction(
        tr("Expand all"), this, &TFormChildTerminalWindow::MenuItemExpandAllClick);
    MenuItemCollapseAll = MenuItemNodesCommand->addAction(
        tr("Collapse all"), this, &TFormChildTerminalWindow::MenuItemCollapseAllClick);
    MenuItemExpandNode = MenuItemNodesCommand->addAction(
        tr("Expand node"), this, &TFormChildTerminalWindow::MenuItemExpandNodeClick);
    MenuItemCollapseNode = MenuItemNodesCommand->addAction(
        tr("Collapse node"), this, &TFormChildTerminalWindow::MenuItemCollapseNodeClick);
}

void TFormChildTerminalWindow::MenuItemEditFieldsClick()
{
    QTreeWidgetItem* node = SelectedNode();
    if (NodeLevel(node) != nlCommand)
        return;
    const QString section = CommandSectionOf(node);
    if (EditFieldsDialog)
        EditFieldsDialog(this, m_fileName, section);
    // The editor wrote the file: read it again and rebuild the panel of the same command. The
    // fields may have changed, so the values typed so far start afresh.
    ReloadCache();
    m_panelValues.Clear();
    ShowCommand(section, false);
}

QTreeWidgetItem* TFormChildTerminalWindow::SelectedNode() const
{
    const QList<QTreeWidgetItem*> selected = TreeViewCommand->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

int TFormChildTerminalWindow::NodeLevel(const QTreeWidgetItem* node)
{
    return TCommandTreeView::Level(node);
}

QString TFormChildTerminalWindow::CommandSectionOf(const QTreeWidgetItem* node)
{
    if (NodeLevel(node) != nlCommand)
        return QString();
    return node->parent()->text(0) + node->text(0);
}

QTreeWidgetItem* TFormChildTerminalWindow::RootNode() const
{
    return TreeViewCommand->topLevelItemCount() > 0 ? TreeViewCommand->topLevelItem(0) : nullptr;
}

QTreeWidgetItem* TFormChildTerminalWindow::FindChild(QTreeWidgetItem* parent,
                                                     const QString& text) const
{
    for (int i = 0; i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0).compare(text, Qt::CaseInsensitive) == 0)
            return parent->child(i);
    }
    return nullptr;
}

QTreeWidgetItem* TFormChildTerminalWindow::AddNode(QTreeWidgetItem* parent, const QString& text)
{
    auto* node = new QTreeWidgetItem(parent, QStringList{text});
    return node;
}

void TFormChildTerminalWindow::ForgetNode(QTreeWidgetItem* node)
{
    TreeViewCommand->ForgetNode(node);
    for (const QTreeWidgetItem* p = m_copySource; p; p = p->parent()) {
        if (p == node || !node) {
            m_copySource = nullptr;
            m_copied = false;
            break;
        }
    }
}

void TFormChildTerminalWindow::LoadCommandTree()
{
    ForgetNode(nullptr);
    m_copySource = nullptr;
    m_copied = false;
    TreeViewCommand->clear();
    auto* root = new QTreeWidgetItem(TreeViewCommand, QStringList{QStringLiteral("Root")});
    std::vector<TTreeGroup> groups;
    try {
        groups = ReadCommandTree(m_path);
    } catch (const Error& e) {
        ShowError(FromBytes(e.what()));
    }
    QList<QTreeWidgetItem*> nodes;
    for (const TTreeGroup& g : groups) {
        auto* groupNode = new QTreeWidgetItem(QStringList{FromBytes(g.Name)});
        for (const std::string& c : g.Commands)
            groupNode->addChild(new QTreeWidgetItem(QStringList{FromBytes(c)}));
        nodes.append(groupNode);
    }
    root->addChildren(nodes);
    root->setExpanded(true);
}

QStringList TFormChildTerminalWindow::ExpandedGroups() const
{
    QStringList names;
    const QTreeWidgetItem* root = RootNode();
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (root->child(i)->isExpanded())
            names << root->child(i)->text(0);
    }
    return names;
}

void TFormChildTerminalWindow::ExpandGroups(const QStringList& names)
{
    QTreeWidgetItem* root = RootNode();
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (names.contains(root->child(i)->text(0)))
            root->child(i)->setExpanded(true);
    }
}

void TFormChildTerminalWindow::TreeViewCommandChange(QTreeWidgetItem* node)
{
    if (m_destroying)
        return;
    if (NodeLevel(node) == nlCommand) {
        const QString section = CommandSectionOf(node);
        if (section != CurrentCommand) {
            KeepPanelValues();
            ShowCommand(section, true);
        }
        return;
    }
    KeepPanelValues();
    const unsigned show = ++m_panelShow;
    // A Send still waiting for the link was for the command shown until now: the operator no
    // longer wants it sent.
    if (m_engine->Busy() && m_engine->Progress().Run == 0)
        m_engine->Withdraw();
    ClearCommandPanel();
    QPointer<TFormChildTerminalWindow> self(this);
    QCoreApplication::processEvents();
    if (!self || m_destroying || show != m_panelShow)
        return; // closed, or another selection was handled meanwhile
    CurrentCommand.clear();
    ButtonSend->setEnabled(false);
    ButtonRepeat->setEnabled(false);
}

void TFormChildTerminalWindow::ShowCommand(const QString& section, bool selectionChanged)
{
    const unsigned show = ++m_panelShow;
    // A Send still waiting for the link was for the command shown until now: the operator no
    // longer wants it sent.
    if (m_engine->Busy() && m_engine->Progress().Run == 0)
        m_engine->Withdraw();
    ClearCommandPanel();
    bool loaded = true;
    try {
        LoadCommandFields(*m_cache, ToBytes(section), Definition);
    } catch (const Error& e) {
        // A definition that does not parse shows its error once and an empty panel.
        Definition.FieldCount = 0;
        loaded = false;
        ShowError(FromBytes(e.what()));
    }
    PageControl->setCurrentWidget(TabSheetCommand);
    // Pending messages run here, as the operator expects the tab to show at once. They may
    // close the window or handle a newer selection; then this build is dropped.
    QPointer<TFormChildTerminalWindow> self(this);
    QCoreApplication::processEvents();
    if (!self || m_destroying || show != m_panelShow)
        return;
    if (loaded) {
        BuildCommandPanel(section);
        RestorePanelValues(section);
    } else
        SetButtonsForPanel();
    CurrentCommand = section;
    if (selectionChanged && loaded && Definition.FieldCount > 0)
        ButtonRepeat->setEnabled(Definition.Mode == cmHost);
}

void TFormChildTerminalWindow::TerminalWindowPopupMenuPopup()
{
    QTreeWidgetItem* selected = SelectedNode();
    const TPopupMenuState s =
        PopupMenuStateFor(NodeLevel(selected), m_copied, NodeLevel(m_copySource));
    if (s.ClearCopied)
        m_copied = false;
    MenuItemCopyCommand->setEnabled(s.Copy);
    MenuItemPasteCommand->setEnabled(s.Paste);
    MenuItemGroupPopUp->menuAction()->setEnabled(s.GroupMenu);
    if (s.GroupRename)
        MenuItemGroupRename->setEnabled(*s.GroupRename);
    if (s.GroupRemove)
        MenuItemGroupRemove->setEnabled(*s.GroupRemove);
    MenuItemCommandPopUp->menuAction()->setEnabled(s.CommandMenu);
    if (s.CommandRename)
        MenuItemCommandRename->setEnabled(*s.CommandRename);
    if (s.CommandRemove)
        MenuItemCommandRemove->setEnabled(*s.CommandRemove);
    MenuItemEditFields->setEnabled(s.EditFields);
    MenuItemResetValues->setEnabled(!CurrentCommand.isEmpty());
    MenuItemGroupAdd->setEnabled(true);
    MemuItemCommandAdd->setEnabled(true);
}
