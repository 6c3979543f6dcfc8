#pragma once
// A workspace with the real engine and records, a simulated module bus on its port, and a prompt that records
// the message boxes. Turns are opened by the headless poller, as the main window opens an editor but without
// any window.

#include "editors/editor_turn.h"
#include "editors/headless_poller.h"
#include "editors/turn_4013.h"

#include "bus/text.h"
#include "sim/sim_bus.h"
#include "support/recording_prompt.h"
#include "support/test_workspace.h"
#include "workspace/prompt.h"

#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace navix {

// Every command that went out, with the reply time-out and the expected length that stood when it was
// written.
struct WrittenCommands
{
    explicit WrittenCommands(TransactionEngine &engine)
    {
        QObject::connect(&engine, &TransactionEngine::CommandWritten, &context,
                         [this, &engine](const QByteArray &command) {
                             commands.append(command);
                             timeOuts.append(engine.TimeOutMs());
                             lengths.append(engine.ExpectedLength());
                             if (onCommand)
                                 onCommand(command);
                         });
    }
    int TimeOutOf(const QByteArray &command) const { return timeOuts.value(commands.indexOf(command), -1); }
    int LengthOf(const QByteArray &command) const { return lengths.value(commands.indexOf(command), -1); }

    QObject context;
    QList<QByteArray> commands;
    QList<int> timeOuts;
    QList<int> lengths;
    std::function<void(const QByteArray &)> onCommand;
};

// The firmware and status texts a turn reported last, as a window would show them.
struct TurnView
{
    explicit TurnView(EditorTurn &turn)
    {
        QObject::connect(&turn, &EditorTurn::FirmwareShown, &context,
                         [this](const QString &text) { firmware = text; });
        QObject::connect(&turn, &EditorTurn::StatusShown, &context,
                         [this](const QString &text) { status = text; });
        QObject::connect(&turn, &EditorTurn::CloseRequested, &context, [this] { ++closeRequests; });
    }
    QObject context;
    QString firmware;
    QString status;
    int closeRequests = 0;
};

class TurnBench
{
public:
    static constexpr int ReplyTimeOutMs = 30;
    static constexpr int WaitMs = 2000;

    TurnBench()
    {
        bus.Attach(workspace.port);
        workspace.engine.SetTimeOutMs(ReplyTimeOutMs);
        workspace.timeOutField = ReplyTimeOutMs;
        previousPrompt = InstallPrompt(&prompt);
    }
    ~TurnBench() { InstallPrompt(previousPrompt); }
    TurnBench(const TurnBench &) = delete;
    TurnBench &operator=(const TurnBench &) = delete;

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

    // The record's turn, opened by the headless poller as the main window opens an editor: from the turn
    // table, set up from the record, linked to it, editor state open, the cycle started when it stands idle.
    template <typename Turn> Turn &OpenTurn(const ModuleRecordPtr &record)
    {
        EditorTurn *turn = poller.Open(record);
        if (!turn)
            qFatal("no turn opened for %s", record->typeId.constData());
        RecordOutcomes(*turn);
        return dynamic_cast<Turn &>(*turn);
    }

    // The outcomes a turn reports, recorded in the prompt as the boxes their window shows for them.
    void RecordOutcomes(EditorTurn &turn)
    {
        QObject::connect(&turn, &EditorTurn::AddressRefused, &turn,
                         [this] { prompt.Error("Invalid address !"); });
        QObject::connect(&turn, &EditorTurn::ConfigurationDone, &turn, [this](bool written) {
            written ? prompt.Information("Configuration successful !")
                    : prompt.Error("Configuration failed !");
        });
        QObject::connect(&turn, &EditorTurn::CalibrationDone, &turn, [this](bool taken) {
            taken ? prompt.Information("Calibration successful !") : prompt.Error("Calibration failed !");
        });
        if (auto *tvr = qobject_cast<Turn4013 *>(&turn))
            QObject::connect(tvr, &Turn4013::SettingWriteFailed, tvr, [this](const QString &name) {
                prompt.Error(QString("Updating %1 failed !").arg(name));
            });
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
    bool WaitForTurns(const QByteArray &dataQuery, int turnCount = 1)
    {
        const int before = CountOf(dataQuery);
        return QTest::qWaitFor([&] { return CountOf(dataQuery) >= before + turnCount + 1; }, WaitMs);
    }
    // The last reply the module sent to a command, as the transcript holds it.
    QByteArray LastReplyTo(const QByteArray &command) const
    {
        const QList<SimExchange> transcript = bus.Transcript();
        for (auto exchange = transcript.crbegin(); exchange != transcript.crend(); ++exchange)
            if (exchange->command == command)
                return exchange->reply;
        return {};
    }

    TestWorkspace workspace;
    SimBus bus;
    RecordingPrompt prompt;
    HeadlessPoller poller{workspace};

private:
    Prompt *previousPrompt = nullptr;
};

} // namespace navix
