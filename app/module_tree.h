#pragma once
// The tree-and-records half of the workspace: the module items under the open port, the module records behind
// them, and the module editors opened from the tree. The main window owns the tree widget and the port; this
// class keeps what the items stand for in step with the records and the bus router.

#include "workspace/bus_router.h"
#include "workspace/module_records.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <functional>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace navix {

class Workspace;

// What became of a request to open a module's editor.
enum class EditorOpening { Opened, NotClosed, NoEditor };

class ModuleTree
{
public:
    using EditorFactory = std::function<QWidget *(Workspace &, ModuleRecord &)>;

    // The records and the router belong to the workspace; the tree's top item "PC" is the fallback parent of
    // module items while no port item exists.
    ModuleTree(Workspace &workspace, ModuleRegistry &modules, BusRouter &router);

    void SetTree(QTreeWidget *tree, QTreeWidgetItem *pcItem);
    void SetEditorFactory(EditorFactory factory) { editorFactory = std::move(factory); }

    // The item of port "COM<number>" (first or last of that caption), nullptr when the tree has none.
    QTreeWidgetItem *FindPortItem(int number, bool last = false) const;
    // Captions of the module items under a port item, in tree order.
    QStringList ModuleCaptions(const QTreeWidgetItem *portItem) const;

    // Removes the module items of the port and every record (the router decides what happens to a turn in
    // progress).
    void Clear(int portNumber, bool keepRouting);
    void Queue(const QString &caption) { pendingCaptions.append(caption); }
    // Makes tree items of the queued captions under the port (under "PC" when the port has no item), sorted
    // when sortItems is set.
    void Flush(int portNumber, bool sortItems);
    void DropPending() { pendingCaptions.clear(); }
    const QStringList &PendingCaptions() const { return pendingCaptions; }
    // Sorting follows the check mark of the tree's "Auto Sort Items", always by caption from A to Z.
    void SetSorting(bool on);

    bool IsAddressFree(const QByteArray &address) const { return modules.IsAddressFree(address); }
    void UpdateRecord(const QByteArray &address, const QByteArray &config, EditorState editorState);
    void Relabel(const QByteArray &address, const QString &caption);

    // Opens the editor of the module item with that caption, when its record has none open yet.
    EditorOpening OpenEditor(const QString &caption);
    // The open editor windows by editor kind, in record order.
    std::array<QList<QWidget *>, EditorKindCount> OpenEditorWindows() const;
    // Frees every editor window ever opened, also those of cleared records whose deferred delete has not run.
    void FreeEditorWindows();

private:
    Workspace &workspace;
    ModuleRegistry &modules;
    BusRouter &router;
    QTreeWidget *tree = nullptr;
    QTreeWidgetItem *pcItem = nullptr;
    QStringList pendingCaptions;
    EditorFactory editorFactory;
    QList<QPointer<QWidget>> editorWindows; // every editor window opened, for the final clean-up
};

} // namespace navix
