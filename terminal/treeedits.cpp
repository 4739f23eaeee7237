// Tree edits of the terminal window: the operator's side (questions, boxes, nodes). The file
// side is in core/treeedit: one atomic file replacement per operation.

#include "core/errors.h"
#include "core/termfile.h"
#include "core/treeedit.h"
#include "gui/bytetext.h"
#include "gui/messagebox.h"
#include "terminal/commandtree.h"
#include "terminal/formoverwritenewcommand.h"
#include "terminal/terminalwindow.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>

using namespace tallyhost;

namespace {

QString Quoted(const QString& s)
{
    return QStringLiteral("\"") + s + QStringLiteral("\"");
}

// Room beside an input box's title for the window buttons and the frame.
constexpr int AskTextTitleRoom = 140;

} // namespace

QString TFormChildTerminalWindow::AskText(const QString& caption, const QString& initialText)
{
    QInputDialog dialog(this);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(tr("Input text:"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(initialText);
    // Wide enough that the title bar shows the whole question (a rename names the old name)
    // beside the window buttons, and the prompt fits beside the margins.
    // The dialog's layout sets its size from its contents, so the width goes on the edit.
    const QFontMetrics metrics(dialog.font());
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMinimumWidth(std::max(metrics.horizontalAdvance(caption) + AskTextTitleRoom,
                                       metrics.horizontalAdvance(dialog.labelText())));
    if (ExecModal(dialog) != QDialog::Accepted)
        return QString();
    return dialog.textValue().left(MaxNodeNameLength);
}

bool TFormChildTerminalWindow::IsFreeSectionName(const QString& name)
{
    return tallyhost::IsFreeSectionName(ToBytes(name));
}

template <typename F> bool TFormChildTerminalWindow::RunEdit(F&& edit)
{
    try {
        edit();
        return true;
    } catch (const IniWriteError&) {
        // The path in the error is in the file system's encoding; the window has it as text.
        ShowError(tr("Unable to write to %1").arg(m_fileName));
        return false;
    } catch (const Error& e) {
        ShowError(FromBytes(e.what()));
        return false;
    }
}

// Reads a name for a new or renamed node. Surrounding blanks are dropped, since the file
// would lose them anyway; a name that cannot be stored as typed is refused with the reason.
// Returns an empty string when there is nothing (more) to do.
QString TFormChildTerminalWindow::AskNodeName(const QString& caption, const QString& oldName)
{
    const QString name = AskText(caption, oldName).trimmed();
    if (name.isEmpty())
        return name;
    const QByteArray latin1 = name.toLatin1();
    if (QString::fromLatin1(latin1) != name) {
        ShowError(tr("The name \"%1\" holds characters a terminal file cannot store").arg(name));
        return QString();
    }
    if (auto problem = NameProblem(latin1.toStdString())) {
        ShowError(FromBytes(*problem));
        return QString();
    }
    return name;
}

void TFormChildTerminalWindow::MenuItemGroupAddClick()
{
    QTreeWidgetItem* root = RootNode();
    const QString name = AskNodeName(tr("Add a new group"));
    if (!name.isEmpty()) {
        TEditResult result = TEditResult::Exists;
        if (!IsFreeSectionName(name)) {
            ShowError(tr("Group already exists"));
        } else if (RunEdit([&] { result = AddGroup(m_path, ToBytes(name)); })) {
            if (result == TEditResult::Done)
                AddNode(root, name);
            else
                ShowError(tr("Group already exists"));
        }
    }
    if (root)
        root->setExpanded(true);
}

void TFormChildTerminalWindow::MenuItemGroupRenameClick()
{
    QTreeWidgetItem* node = SelectedNode();
    if (NodeLevel(node) != nlGroup)
        return;
    const QString oldName = node->text(0);
    const QString name = AskNodeName(tr("Rename group ") + Quoted(oldName), oldName);
    // The box starts with the old name; taking it unchanged renames nothing.
    if (name.isEmpty() || name == oldName)
        return;
    if (!IsFreeSectionName(name)) {
        ShowError(tr("Group already exists"));
        return;
    }
    TEditResult result = TEditResult::Exists;
    if (!RunEdit([&] { result = RenameGroup(m_path, ToBytes(oldName), ToBytes(name)); }))
        return;
    if (result != TEditResult::Done) {
        ShowError(tr("Group already exists"));
        return;
    }
    node->setText(0, name);
    // The shown command now lives under the new name.
    if (CurrentCommand.startsWith(oldName)) {
        for (int i = 0; i < node->childCount(); ++i) {
            if (CurrentCommand == oldName + node->child(i)->text(0)) {
                CurrentCommand = name + node->child(i)->text(0);
                break;
            }
        }
    }
    ReloadCache();
}

void TFormChildTerminalWindow::MenuItemGroupRemoveClick()
{
    QTreeWidgetItem* node = SelectedNode();
    if (NodeLevel(node) != nlGroup)
        return;
    const QString name = node->text(0);
    if (!AskWarning(tr("Are you sure you want to delete group ") + Quoted(name) + tr(" ?")))
        return;
    if (!RunEdit([&] { RemoveGroup(m_path, ToBytes(name)); }))
        return;
    ForgetNode(node);
    delete node;
}

void TFormChildTerminalWindow::MemuItemCommandAddClick()
{
    QTreeWidgetItem* group = SelectedNode();
    if (NodeLevel(group) == nlCommand)
        group = group->parent();
    if (NodeLevel(group) != nlGroup)
        return;
    const QString name = AskNodeName(tr("Add a new command"));
    if (name.isEmpty())
        return;
    TEditResult result = TEditResult::Exists;
    if (!RunEdit([&] { result = AddCommand(m_path, ToBytes(group->text(0)), ToBytes(name)); }))
        return;
    if (result != TEditResult::Done) {
        ShowError(tr("The command already exists"));
        return;
    }
    AddNode(group, name);
    group->setExpanded(true);
    ReloadCache();
}

void TFormChildTerminalWindow::MenuItemCommandRenameClick()
{
    QTreeWidgetItem* node = SelectedNode();
    if (NodeLevel(node) != nlCommand)
        return;
    const QString group = node->parent()->text(0);
    const QString oldName = node->text(0);
    const QString name = AskNodeName(tr("Rename command ") + Quoted(oldName), oldName);
    // The box starts with the old name; taking it unchanged renames nothing.
    if (name.isEmpty() || name == oldName)
        return;
    TEditResult result = TEditResult::Exists;
    if (!RunEdit([&] {
            result = RenameCommand(m_path, ToBytes(group), ToBytes(oldName), ToBytes(name));
        }))
        return;
    if (result != TEditResult::Done) {
        ShowError(tr("The command already exists"));
        return;
    }
    node->setText(0, name);
    if (CurrentCommand == group + oldName)
        CurrentCommand = group + name;
    ReloadCache();
}

void TFormChildTerminalWindow::MenuItemCommandRemoveClick()
{
    QTreeWidgetItem* node = SelectedNode();
    if (NodeLevel(node) != nlCommand)
        return;
    const QString group = node->parent()->text(0);
    const QString name = node->text(0);
    if (!AskWarning(tr("Are you sure you want to delete command ") + Quoted(name) + tr(" ?")))
        return;
    if (!RunEdit([&] { RemoveCommand(m_path, ToBytes(group), ToBytes(name)); }))
        return;
    ForgetNode(node);
    delete node;
    ReloadCache();
}

void TFormChildTerminalWindow::MenuItemCopyCommandClick()
{
    QTreeWidgetItem* node = SelectedNode();
    if (!node)
        return;
    m_copySource = node;
    m_copied = true;
}

void TFormChildTerminalWindow::MenuItemPasteCommandClick()
{
    QTreeWidgetItem* target = SelectedNode();
    if (!target || !m_copySource || !m_copied)
        return;
    PasteNode(target, m_copySource);
}

void TFormChildTerminalWindow::PasteNode(QTreeWidgetItem* target, QTreeWidgetItem* source)
{
    if (!target || !source)
        return;
    switch (PasteActionFor(NodeLevel(target), NodeLevel(source))) {
    case TPasteAction::GroupToRoot:
        PasteGroupToRoot(source);
        break;
    case TPasteAction::MergeGroup:
        MergeGroup(target, source);
        break;
    case TPasteAction::CommandToGroup:
        PasteCommand(target, source);
        break;
    case TPasteAction::CommandToParentGroup:
        PasteCommand(target->parent(), source);
        break;
    case TPasteAction::None:
        return;
    }
    ReloadCache();
}

void TFormChildTerminalWindow::PasteGroupToRoot(QTreeWidgetItem* source)
{
    TTreeGroup copy;
    if (!RunEdit([&] { copy = tallyhost::PasteGroupToRoot(m_path, ToBytes(source->text(0))); }))
        return;
    QTreeWidgetItem* node = AddNode(RootNode(), FromBytes(copy.Name));
    QList<QTreeWidgetItem*> commands;
    for (const std::string& c : copy.Commands)
        commands.append(new QTreeWidgetItem(QStringList{FromBytes(c)}));
    node->addChildren(commands);
    node->setExpanded(true);
}

void TFormChildTerminalWindow::MergeGroup(QTreeWidgetItem* target, QTreeWidgetItem* source)
{
    const QString targetName = target->text(0);
    const QString sourceName = source->text(0);
    std::vector<std::string> commands;
    if (!RunEdit([&] { commands = GroupCommands(m_path, ToBytes(sourceName)); }))
        return;
    for (const std::string& c : commands) {
        const QString name = FromBytes(c);
        QTreeWidgetItem* existing = FindChild(target, name);
        if (existing && !AskWarning(Quoted(name) + tr(" command already exists, ovewrite?")))
            continue;
        bool written = false;
        if (!RunEdit([&] {
                written = tallyhost::PasteCommand(m_path, ToBytes(targetName), c,
                                                  ToBytes(sourceName) + c);
            }))
            break; // the file cannot be written: the next commands would fail the same way
        if (!written) {
            ShowError(tr("The command already exists"));
            continue;
        }
        if (!existing)
            AddNode(target, name);
    }
    target->setExpanded(true);
}

void TFormChildTerminalWindow::PasteCommand(QTreeWidgetItem* group, QTreeWidgetItem* command)
{
    if (NodeLevel(group) != nlGroup || NodeLevel(command) != nlCommand)
        return;
    const QString groupName = group->text(0);
    const QString sourceSection = CommandSectionOf(command);
    QString name = command->text(0);
    bool overwrite = false;
    while (FindChild(group, name)) {
        TFormOverwriteNewCommand dialog(this);
        const int choice = ExecModal(dialog);
        if (choice == TFormOverwriteNewCommand::mrOverwrite) {
            overwrite = true;
            break;
        }
        if (choice == TFormOverwriteNewCommand::mrNew) {
            name = AskNodeName(tr("Input text:"));
            if (name.isEmpty())
                return;
            continue;
        }
        if (choice == TFormOverwriteNewCommand::mrCancel)
            return;
        // Any other way of closing asks again.
    }
    bool written = false;
    if (!RunEdit([&] {
            written = tallyhost::PasteCommand(m_path, ToBytes(groupName), ToBytes(name),
                                              ToBytes(sourceSection));
        }))
        return;
    if (!written) {
        ShowError(tr("The command already exists"));
        return;
    }
    if (!overwrite) {
        AddNode(group, name);
        group->setExpanded(true);
    }
}

void TFormChildTerminalWindow::MenuItemExpandAllClick()
{
    TreeViewCommand->expandAll();
}

void TFormChildTerminalWindow::MenuItemCollapseAllClick()
{
    TreeViewCommand->collapseAll();
}

void TFormChildTerminalWindow::MenuItemExpandNodeClick()
{
    if (QTreeWidgetItem* node = SelectedNode())
        node->setExpanded(true);
}

void TFormChildTerminalWindow::MenuItemCollapseNodeClick()
{
    if (QTreeWidgetItem* node = SelectedNode())
        node->setExpanded(false);
}
