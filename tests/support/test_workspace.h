#pragma once
// A workspace for window tests: a bus session on an in-memory port, with the module tree kept as a plain list
// of captions and what the windows ask of the main window recorded.

#include "sim/memory_port.h"
#include "workspace/bus_session.h"
#include "workspace/workspace.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>

namespace navix {

class TestWorkspace : public Workspace
{
public:
    TestWorkspace();

    TransactionEngine &Engine() override { return engine; }
    BusRouter &Router() override { return router; }
    ModuleRegistry &Modules() override { return modules; }
    // The module tree is the session's list of captions.
    void ClearModules(bool keepRouting) override { session.ClearModules(keepRouting); }
    void QueueModuleItem(const QString &text) override { session.QueueModuleItem(text); }
    void FlushModuleItems() override { session.FlushModuleItems(); }
    void DropPendingModuleItems() override { session.DropPendingModuleItems(); }
    bool IsAddressFree(const QByteArray &address) override { return session.IsAddressFree(address); }
    void UpdateModuleRecord(const QByteArray &address, const QByteArray &config,
                            EditorState editorState) override
    {
        session.UpdateModuleRecord(address, config, editorState);
    }
    void RelabelModule(const QByteArray &address, const QString &text) override
    {
        session.RelabelModule(address, text);
    }
    int TimeOutFieldMs() const override { return timeOutField; }
    int LineBaud() const override { return port.baud; }
    void SetLineBaud(int baud) override
    {
        port.baud = baud;
        baudChanges.append(baud);
    }
    void SetHint(const QString &text) override { hint = text; }
    void SetWorkspaceCaption(const QString &text) override { caption = text; }
    QRect MainGeometry() const override { return geometry; }
    void SetMainEnabled(bool enabled) override { mainEnabled = enabled; }
    void ShowMemoryUtilities(const QByteArray &address, bool checksum) override
    {
        memoryRequests.append({address, checksum});
    }
    void ShowTrend(TrendFeed &feed) override
    {
        trendRequests.append(&feed);
        if (onShowTrend)
            onShowTrend(feed);
    }

    BusSession session{std::make_unique<MemoryPort>()};
    ModuleRegistry &modules = session.Modules();
    TransactionEngine &engine = session.Engine();
    BusRouter &router = session.Router();
    MemoryPort &port = static_cast<MemoryPort &>(session.Port());
    QStringList &treeItems = session.ModuleCaptions();     // module items under the port, in order
    QStringList &pendingItems = session.PendingCaptions(); // queued captions
    QString hint;
    QString caption;
    QRect geometry{100, 100, 800, 600};
    bool mainEnabled = true;
    QList<QPair<QByteArray, bool>> memoryRequests; // ShowMemoryUtilities calls, in order
    int timeOutField = 100;
    QList<TrendFeed *> trendRequests;             // ShowTrend calls, in order
    std::function<void(TrendFeed &)> onShowTrend; // what the main window would open
    QList<int> baudChanges;                       // SetLineBaud calls, in order
};

} // namespace navix
