#pragma once
// A workspace with the real engine and records, a simulated module bus on its port, and a prompt that records
// the message boxes. Editors are opened as the main window opens them: created by the factory, shown, editor
// state 1, and the cycle started when it is not running yet.

#include "editors/calibration_dialogs.h"
#include "editors/editor_factory.h"
#include "editors/editor_window.h"

#include "bus/prompt.h"
#include "bus/text.h"
#include "sim/sim_bus.h"
#include "support/test_workspace.h"

#include <QPointer>
#include <QTest>

#include <memory>

// TimeOutMs as it stood when each command that starts with prefix went out.
struct TimeOutProbe
{
    TimeOutProbe(TransactionEngine &engine, const QByteArray &prefix)
    {
        QObject::connect(&engine, &TransactionEngine::CommandWritten, &context,
                         [this, &engine, prefix](const QByteArray &command) {
                             if (command.startsWith(prefix))
                                 timeOuts.append(engine.TimeOutMs());
                         });
    }
    QObject context;
    QList<int> timeOuts;
};

class EditorBench
{
public:
    static constexpr int ReplyTimeOutMs = 30;
    static constexpr int WaitMs = 2000;

    EditorBench()
    {
        bus.Attach(workspace.port);
        workspace.engine.SetTimeOutMs(ReplyTimeOutMs);
        workspace.timeOutField = ReplyTimeOutMs;
        previousPrompt = InstallPrompt(&prompt);
    }
    ~EditorBench()
    {
        // Windows go before the workspace they use; nothing of them is on the call stack here.
        for (const QPointer<QWidget> &window : windows)
            delete window.data();
        InstallPrompt(previousPrompt);
    }
    EditorBench(const EditorBench &) = delete;
    EditorBench &operator=(const EditorBench &) = delete;

    // A module on the bus and its record and tree item, as a search would have left them.
    ModuleRecordPtr AddModule(const QByteArray &typeId, const QByteArray &config, bool initFlag = false)
    {
        SimModule &module = bus.AddModule(typeId, config);
        module.initMode = initFlag;
        module.frozen = true;
        ModuleRecordPtr record = workspace.modules.AddModule(typeId, config, initFlag);
        workspace.treeItems.append(ModuleCaption(Copy(config, 1, 2), *FindModuleType(typeId), initFlag));
        return record;
    }
    // The simulated module a record stands for (by its configured address, also for a module in INIT mode).
    SimModule &Module(const ModuleRecordPtr &record)
    {
        const int address = HexToInt(record->Address());
        for (SimModule *module : bus.Modules())
            if (module->address == address)
                return *module;
        qFatal("no simulated module at %d", address);
    }

    template <typename Window = ModuleEditorWindow> Window *Open(const ModuleRecordPtr &record)
    {
        QWidget *widget = CreateModuleEditor(workspace, *record);
        if (!widget)
            return nullptr;
        windows.append(widget);
        widget->show();
        // Phase 0: no pass has run yet, which is as idle as phase 9.
        const int phase = workspace.engine.Phase();
        const bool cycleIdle =
            (phase == 0 || phase == TransactionEngine::IdlePhase) && !workspace.modules.AnyEditorOpen();
        record->editorState = EditorState::Open;
        if (cycleIdle)
            workspace.engine.ReleaseBus();
        return qobject_cast<Window *>(widget);
    }

    QList<QByteArray> Commands() const { return bus.Commands(); }
    int CountOf(const QByteArray &command) const { return static_cast<int>(bus.Commands().count(command)); }
    // Commands that went out after the first n.
    QList<QByteArray> CommandsAfter(qsizetype n) const { return bus.Commands().mid(n); }
    // Every data write to the module: the "#AA" commands, in order.
    QList<QByteArray> Writes() const
    {
        QList<QByteArray> writes;
        for (const QByteArray &command : bus.Commands())
            if (command.startsWith('#'))
                writes.append(command);
        return writes;
    }
    // Waits for the next full turn of the editor: a data query that starts after this call and its reply.
    bool WaitForTurns(const QByteArray &dataQuery, int turns = 1)
    {
        const int before = CountOf(dataQuery);
        return QTest::qWaitFor([&] { return CountOf(dataQuery) >= before + turns + 1; }, WaitMs);
    }

    TestWorkspace workspace;
    SimBus bus;
    RecordingPrompt prompt;
    CalibrationDialogSet calibrationDialogs;
    QList<QPointer<QWidget>> windows;

private:
    Prompt *previousPrompt = nullptr;
};
