// The module side of the main window: the module items under the open port, the module records behind them
// and the opening of module editors from the tree.

#include "main_window.h"

#include "tree_icons.h"
#include "tree_items.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

QTreeWidgetItem *TForm1::FindPortItem(int number, bool last) const
{
    const QString caption = PortCaption(number);
    QTreeWidgetItem *found = nullptr;
    for (QTreeWidgetItemIterator it(MainTreeView); *it; ++it)
        if ((*it)->text(0) == caption) {
            found = *it;
            if (!last)
                break;
        }
    return found;
}

QStringList TForm1::ModuleCaptions(const QTreeWidgetItem *portItem) const
{
    QStringList captions;
    if (!portItem)
        return captions;
    for (int i = 0; i < portItem->childCount(); ++i)
        if (portItem->child(i)->type() == ModuleItem)
            captions.append(portItem->child(i)->text(0));
    return captions;
}

void TForm1::ClearModules(bool keepRouting)
{
    if (QTreeWidgetItem *portItem = FindPortItem(ApdComPort1.ComNumber()))
        qDeleteAll(portItem->takeChildren());
    router.ClearModuleRecords(keepRouting);
}

void TForm1::QueueModuleItem(const QString &caption)
{
    pendingCaptions.append(caption);
}

void TForm1::FlushModuleItems()
{
    QTreeWidgetItem *portItem = FindPortItem(ApdComPort1.ComNumber(), true);
    if (!portItem)
        portItem = pcItem;
    for (const QString &caption : std::as_const(pendingCaptions)) {
        auto *item = new QTreeWidgetItem(portItem, QStringList(caption), ModuleItem);
        item->setIcon(0, TreeIcon(TreeImage::Module));
    }
    pendingCaptions.clear();
    if (AutoSortItems->isChecked())
        MainTreeView->sortItems(0, Qt::AscendingOrder);
    MainTreeView->expandItem(portItem);
    for (QTreeWidgetItem *parent = portItem->parent(); parent; parent = parent->parent())
        MainTreeView->expandItem(parent);
}

void TForm1::AutoSortItemsClick()
{
    // The action toggles its own check mark; sorting follows it, always by caption from A to Z.
    MainTreeView->header()->setSortIndicator(0, Qt::AscendingOrder);
    MainTreeView->setSortingEnabled(AutoSortItems->isChecked());
}

bool TForm1::IsAddressFree(const QByteArray &address)
{
    return modules.IsAddressFree(address);
}

void TForm1::UpdateModuleRecord(const QByteArray &address, const QByteArray &config, EditorState editorState)
{
    modules.UpdateRecord(address, config, editorState);
}

void TForm1::RelabelModule(const QByteArray &address, const QString &caption)
{
    for (QTreeWidgetItemIterator it(MainTreeView); *it; ++it)
        if ((*it)->type() == ModuleItem && CaptionAddress((*it)->text(0)) == address)
            (*it)->setText(0, RelabeledCaption((*it)->text(0), caption));
}

void TForm1::OpenModuleEditor(const QString &caption)
{
    // A caption too short to hold an address could only match a record by a stray first character.
    if (caption.size() < 4)
        return;
    const ModuleRecordPtr record = modules.FindForOpen(CaptionAddress(caption));
    if (!record || record->editorState != EditorState::Closed)
        return;
    QWidget *editor = editorFactory ? editorFactory(*this, *record) : nullptr;
    if (!editor) {
        SetHint("Hint: No editor for this module...");
        return;
    }
    editorWindows.append(editor);
    // A tool may hold the bus while the editor cycle stands idle; the new editor then waits for the tool to
    // give the bus back, which starts the cycle.
    const bool cycleIdle =
        !modules.AnyEditorOpen() && router.State() == RouterState::Idle && !ToolHoldsBus();
    editor->show();
    record->editorState = EditorState::Open;
    if (cycleIdle)
        router.ReleaseBus();
}

bool TForm1::ToolHoldsBus() const
{
    for (const ToolKind tool : {ToolKind::Search, ToolKind::Terminal, ToolKind::Memory})
        if (router.OwnsBus(tool))
            return true;
    return false;
}

void TForm1::MainTreeViewClick()
{
    if (QTreeWidgetItem *item = MainTreeView->currentItem())
        SelectPort(item->text(0));
}

void TForm1::MainTreeViewDblClick()
{
    TreeItemChosen(MainTreeView->currentItem());
}

void TForm1::MainTreeViewEnter()
{
    TreeItemChosen(MainTreeView->currentItem());
}

void TForm1::TreeItemChosen(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QString caption = item->text(0);
    if (caption == "PC") {
        EnumeratePorts();
        router.EndEditorTurn();
        return;
    }
    SelectPort(caption);
    OpenModuleEditor(caption);
}
