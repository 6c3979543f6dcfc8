// The module side of the main window: the tree's part of the workspace, handed to the module tree, and the
// choosing of tree items.

#include "main_window.h"

#include "tree_items.h"

#include <QTreeWidget>

namespace navix {

void TForm1::ClearModules(bool keepRouting)
{
    moduleTree.Clear(ApdComPort1.ComNumber(), keepRouting);
}

void TForm1::FlushModuleItems()
{
    moduleTree.Flush(ApdComPort1.ComNumber(), AutoSortItems->isChecked());
}

void TForm1::AutoSortItemsClick()
{
    // The action toggles its own check mark; sorting follows it.
    moduleTree.SetSorting(AutoSortItems->isChecked());
}

void TForm1::UpdateModuleRecord(const QByteArray &address, const QByteArray &config, EditorState editorState)
{
    moduleTree.UpdateRecord(address, config, editorState);
}

void TForm1::RelabelModule(const QByteArray &address, const QString &caption)
{
    moduleTree.Relabel(address, caption);
}

void TForm1::OpenModuleEditor(const QString &caption)
{
    if (moduleTree.OpenEditor(caption) == EditorOpening::NoEditor)
        SetHint("Hint: No editor for this module...");
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

} // namespace navix
