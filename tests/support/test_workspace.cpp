#include "test_workspace.h"

namespace navix {

TestWorkspace::TestWorkspace()
{
    engine.SetPacingTag(VeryFast);
}

void TestWorkspace::ClearModules(bool keepRouting)
{
    treeItems.clear();
    router.ClearModuleRecords(keepRouting);
}

void TestWorkspace::QueueModuleItem(const QString &text)
{
    pendingItems.append(text);
}

void TestWorkspace::FlushModuleItems()
{
    treeItems.append(pendingItems);
    pendingItems.clear();
}

bool TestWorkspace::IsAddressFree(const QByteArray &address)
{
    return modules.IsAddressFree(address);
}

void TestWorkspace::UpdateModuleRecord(const QByteArray &address, const QByteArray &config,
                                       EditorState editorState)
{
    modules.UpdateRecord(address, config, editorState);
}

void TestWorkspace::RelabelModule(const QByteArray &address, const QString &text)
{
    for (QString &item : treeItems)
        if (CaptionAddress(item) == address)
            item = RelabeledCaption(item, text);
}

} // namespace navix
