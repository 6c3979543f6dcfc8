#include "module_tree.h"

#include "tree_icons.h"
#include "tree_items.h"

#include "workspace/workspace.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace navix {

ModuleTree::ModuleTree(Workspace &workspace, ModuleRegistry &modules, BusRouter &router)
    : workspace(workspace), modules(modules), router(router)
{
}

void ModuleTree::SetTree(QTreeWidget *treeWidget, QTreeWidgetItem *computerItem)
{
    tree = treeWidget;
    pcItem = computerItem;
}

QTreeWidgetItem *ModuleTree::FindPortItem(int number, bool last) const
{
    const QString caption = PortCaption(number);
    QTreeWidgetItem *found = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->text(0) == caption) {
            found = *it;
            if (!last)
                break;
        }
    return found;
}

QStringList ModuleTree::ModuleCaptions(const QTreeWidgetItem *portItem) const
{
    QStringList captions;
    if (!portItem)
        return captions;
    for (int i = 0; i < portItem->childCount(); ++i)
        if (portItem->child(i)->type() == ModuleItem)
            captions.append(portItem->child(i)->text(0));
    return captions;
}

void ModuleTree::Clear(int portNumber, bool keepRouting)
{
    if (QTreeWidgetItem *portItem = FindPortItem(portNumber))
        qDeleteAll(portItem->takeChildren());
    router.ClearModuleRecords(keepRouting);
}

void ModuleTree::Flush(int portNumber, bool sortItems)
{
    QTreeWidgetItem *portItem = FindPortItem(portNumber, true);
    if (!portItem)
        portItem = pcItem;
    for (const QString &caption : std::as_const(pendingCaptions)) {
        auto *item = new QTreeWidgetItem(portItem, QStringList(caption), ModuleItem);
        item->setIcon(0, TreeIcon(TreeImage::Module));
    }
    pendingCaptions.clear();
    if (sortItems)
        tree->sortItems(0, Qt::AscendingOrder);
    tree->expandItem(portItem);
    for (QTreeWidgetItem *parent = portItem->parent(); parent; parent = parent->parent())
        tree->expandItem(parent);
}

void ModuleTree::SetSorting(bool on)
{
    tree->header()->setSortIndicator(0, Qt::AscendingOrder);
    tree->setSortingEnabled(on);
}

void ModuleTree::UpdateRecord(const QByteArray &address, const QByteArray &config, EditorState editorState)
{
    modules.UpdateRecord(address, config, editorState);
}

void ModuleTree::Relabel(const QByteArray &address, const QString &caption)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->type() == ModuleItem && CaptionAddress((*it)->text(0)) == address)
            (*it)->setText(0, RelabeledCaption((*it)->text(0), caption));
}

EditorOpening ModuleTree::OpenEditor(const QString &caption)
{
    // A caption too short to hold an address could only match a record by a stray first character.
    if (caption.size() < 4)
        return EditorOpening::NotClosed;
    const ModuleRecordPtr record = modules.FindForOpen(CaptionAddress(caption));
    if (!record || record->editorState != EditorState::Closed)
        return EditorOpening::NotClosed;
    QWidget *editor = editorFactory ? editorFactory(workspace, *record) : nullptr;
    if (!editor)
        return EditorOpening::NoEditor;
    editorWindows.append(editor);
    editor->show();
    router.OpenEditor(*record);
    return EditorOpening::Opened;
}

std::array<QList<QWidget *>, EditorKindCount> ModuleTree::OpenEditorWindows() const
{
    std::array<QList<QWidget *>, EditorKindCount> windows;
    for (int kind = 0; kind < EditorKindCount; ++kind)
        for (const ModuleRecordPtr &record : modules.Records(static_cast<EditorKind>(kind)))
            if (record->editorState == EditorState::Open)
                windows[kind].append(qobject_cast<QWidget *>(record->EditorObject()));
    return windows;
}

void ModuleTree::FreeEditorWindows()
{
    modules.ForEach([](const ModuleRecordPtr &record) { record->SetEditor(nullptr, nullptr); });
    for (const QPointer<QWidget> &window : std::as_const(editorWindows))
        delete window.data();
    editorWindows.clear();
}

} // namespace navix
