#include "bus_compare_run.h"

#include "bus/baud_table.h"
#include "bus/text.h"
#include "editors/editor_turn.h"
#include "editors/headless_poller.h"
#include "editors/module_protocol.h"

#include <algorithm>
#include <deque>

namespace navix {

// The workspace the run's scans see: the bus and the line of the real one, records of its own and no tree,
// so that looking for a module neither adds to nor empties the modules the user has in the tree.
class BusCompareRun::ScanWorkspace : public BusWorkspace
{
public:
    explicit ScanWorkspace(BusWorkspace &real) : real(real) {}

    TransactionEngine &Engine() override { return real.Engine(); }
    BusRouter &Router() override { return real.Router(); }
    ModuleRegistry &Modules() override { return modules; }
    void ClearModules(bool) override
    {
        modules.Clear([](ModuleRecord &) {});
    }
    void QueueModuleItem(const QString &) override {}
    void FlushModuleItems() override {}
    void DropPendingModuleItems() override {}
    bool IsAddressFree(const QByteArray &address) override { return modules.IsAddressFree(address); }
    void UpdateModuleRecord(const QByteArray &address, const QByteArray &config, EditorState state) override
    {
        modules.UpdateRecord(address, config, state);
    }
    void RelabelModule(const QByteArray &, const QString &) override {}
    int TimeOutFieldMs() const override { return real.TimeOutFieldMs(); }
    int LineBaud() const override { return real.LineBaud(); }
    void SetLineBaud(int baud) override { real.SetLineBaud(baud); }

private:
    BusWorkspace &real;
    ModuleRegistry modules;
};

QList<ModuleRecordPtr> ModulesByAddress(const ModuleRegistry &file)
{
    QList<ModuleRecordPtr> modules;
    file.ForEach([&modules](const ModuleRecordPtr &record) { modules.append(record); });
    std::stable_sort(modules.begin(), modules.end(), [](const ModuleRecordPtr &a, const ModuleRecordPtr &b) {
        return HexToInt(a->Address()) < HexToInt(b->Address());
    });
    return modules;
}

BusCompareRun::BusCompareRun(BusWorkspace &workspace, ToolKind tool, QObject *parent)
    : QObject(parent), workspace(workspace), tool(tool),
      scanWorkspace(std::make_unique<ScanWorkspace>(workspace)),
      scan(std::make_unique<ModuleScan>(*scanWorkspace)),
      sweep(std::make_unique<BaudSweep>(*scanWorkspace, *scan))
{
    connect(scan.get(), &ModuleScan::ModuleAdded, this, [this](const ModuleRecordPtr &record) {
        // A module in INIT answers at 00 whatever its address: it is not the module looked for.
        if (step == CompareStep::Looking && !lookFound && !record->initFlag &&
            HexToInt(record->Address()) == lookAddress)
            lookFound = AnsweredModule{record, this->workspace.LineBaud()};
    });
    connect(sweep.get(), &BaudSweep::Finished, this, [this] {
        // The scan is still inside its reply step: the next step starts from the event loop.
        QTimer::singleShot(0, this, [this, current = generation] {
            if (current == generation)
                SweepFinished();
        });
    });
    busTimer.setSingleShot(true);
    connect(&busTimer, &QTimer::timeout, this, &BusCompareRun::AskForBusBack);
}

BusCompareRun::~BusCompareRun()
{
    Cancel();
    DropLentRecord();
}

std::optional<AnsweredModule> BusCompareRun::Answered(const QByteArray &address) const
{
    const auto found = answered.constFind(address);
    if (found == answered.cend())
        return std::nullopt;
    return *found;
}

void BusCompareRun::ReplyStep(const QByteArray &reply)
{
    switch (step) {
    case CompareStep::Looking:
        scan->ReplyStep(reply);
        return;
    case CompareStep::ZeroName:
    case CompareStep::ZeroConfig:
        ZeroReply(reply);
        return;
    case CompareStep::ReadBack:
        ReadBackReply(reply);
        return;
    case CompareStep::Idle:
    case CompareStep::Lending:
    case CompareStep::WaitingForBus:
        return;
    }
}

// Looking for a module

void BusCompareRun::LookFor(int address, int fileBaud, Found then)
{
    lookAddress = address;
    lookAllRates = false;
    lookFound.reset();
    lookThen = std::move(then);
    step = CompareStep::Looking;
    emit Looking(HexByte(address));
    workspace.SetLineBaud(fileBaud > 0 ? fileBaud : DefaultBaud);
    sweep->Start(address, address, false);
}

void BusCompareRun::SweepFinished()
{
    if (step != CompareStep::Looking)
        return;
    // Not at the rate the file gives it: the module may have been moved to another rate.
    if (!lookFound && !lookAllRates) {
        lookAllRates = true;
        sweep->Start(lookAddress, lookAddress, true);
        return;
    }
    step = CompareStep::Idle;
    lookThen(lookFound);
}

// What answers at 00, asked with reads alone at every rate of the table, 9600 Bd first: a module in INIT
// answers there whatever its own address. (The search's INIT probe would write to it, and a compare writes
// nothing.)
void BusCompareRun::AskAtZero(ZeroAnswer then)
{
    zeroThen = std::move(then);
    zeroRates = {DefaultBaud};
    for (const int baud : ModuleBaudRates)
        if (baud != DefaultBaud)
            zeroRates.append(baud);
    zeroRateIndex = -1;
    emit Looking(QByteArray("00"));
    AskZeroAtNextRate();
}

void BusCompareRun::AskZeroAtNextRate()
{
    if (++zeroRateIndex >= zeroRates.size()) {
        step = CompareStep::Idle;
        zeroThen(std::nullopt);
        return;
    }
    workspace.SetLineBaud(zeroRates.at(zeroRateIndex));
    step = CompareStep::ZeroName;
    workspace.Engine().SendCommand(
        {.command = QByteArray("$00M") + CR, .expectedLength = ReplyLength::ModuleName});
}

void BusCompareRun::ZeroReply(const QByteArray &reply)
{
    if (reply.isEmpty()) {
        AskZeroAtNextRate();
        return;
    }
    if (step == CompareStep::ZeroName) {
        zeroName = reply;
        step = CompareStep::ZeroConfig;
        workspace.Engine().SendCommand(
            {.command = QByteArray("$002") + CR, .expectedLength = ReplyLength::Configuration});
        return;
    }
    step = CompareStep::Idle;
    zeroThen(BusAnswer{.typeId = Copy(zeroName, 4, 4),
                       .config = Copy(reply, 2, 8),
                       .init = true,
                       .baud = zeroRates.at(zeroRateIndex)});
}

// The compare

void BusCompareRun::Compare(const QList<ModuleRecordPtr> &fileModules)
{
    Begin();
    file = fileModules;
    fileIndex = 0;
    atAddress.clear();
    rows.clear();
    answered.clear();
    scanWorkspace->ClearModules(true);
    NextLookup();
}

void BusCompareRun::NextLookup()
{
    if (fileIndex >= file.size()) {
        LookupsDone();
        return;
    }
    const ModuleRecordPtr record = file.at(fileIndex++);
    const QByteArray address = record->Address();
    if (HexToInt(address) == 0) {
        AskAtZero([this, address](const std::optional<BusAnswer> &answer) {
            std::optional<AnsweredModule> found;
            if (answer && FindModuleType(answer->typeId))
                found = AnsweredModule{
                    scanWorkspace->Modules().AddModule(answer->typeId, answer->config, answer->init),
                    answer->baud};
            atAddress.insert(address, found);
            NextLookup();
        });
        return;
    }
    LookFor(HexToInt(address), BaudOfCode(HexToInt(Copy(record->config, 5, 2))),
            [this, address](const std::optional<AnsweredModule> &found) {
                atAddress.insert(address, found);
                NextLookup();
            });
}

void BusCompareRun::LookupsDone()
{
    // What answers at 00 may stand for a missing module, unless the file has a module of its own there.
    const bool spareWanted = !atAddress.contains("00") &&
                             std::any_of(atAddress.cbegin(), atAddress.cend(),
                                         [](const std::optional<AnsweredModule> &found) { return !found; });
    if (!spareWanted) {
        RowsDone(std::nullopt);
        return;
    }
    AskAtZero([this](const std::optional<BusAnswer> &spare) {
        RowsDone(spare && FindModuleType(spare->typeId) ? spare : std::nullopt);
    });
}

void BusCompareRun::RowsDone(const std::optional<BusAnswer> &spare)
{
    const auto answerAt = [this](const QByteArray &address) -> std::optional<BusAnswer> {
        const std::optional<AnsweredModule> found = atAddress.value(address);
        if (!found)
            return std::nullopt;
        return BusAnswer{.typeId = found->record->typeId,
                         .config = found->record->config,
                         .init = found->record->initFlag,
                         .baud = found->baud};
    };
    rows = CompareFile(file, answerAt, spare);
    for (const CompareRow &row : rows) {
        if (row.action == RestoreAction::ConfigureSpare)
            answered.insert(
                row.address,
                {scanWorkspace->Modules().AddModule(spare->typeId, spare->config, spare->init), spare->baud});
        else if (const std::optional<AnsweredModule> found = atAddress.value(row.address))
            answered.insert(row.address, *found);
    }
    running = false;
    step = CompareStep::Idle;
    emit RowsReady(rows);
    emit Finished();
}

// The restore

void BusCompareRun::Restore(const QList<CompareRow> &restoreRows)
{
    Begin();
    restoring = true;
    chosen = restoreRows;
    chosenIndex = 0;
    NextRestore();
}

void BusCompareRun::NextRestore()
{
    if (chosenIndex >= chosen.size()) {
        running = false;
        step = CompareStep::Idle;
        emit Finished();
        return;
    }
    const CompareRow &row = chosen.at(chosenIndex);
    const std::optional<AnsweredModule> module = Answered(row.address);
    if (row.action == RestoreAction::NeedsInit) {
        RowDone(RestoreOutcome::NeedsInit);
        return;
    }
    // Another type at the address, or nothing to write to: never written.
    if (!RestoreWrites(row) || !module) {
        RowDone(RestoreOutcome::NotWritten);
        return;
    }
    if (row.action != RestoreAction::ConfigureSpare) {
        Write(*module, RestoreConfig(row));
        return;
    }
    // A spare takes the file's address only where no module answers at it meanwhile.
    LookFor(HexToInt(row.address), module->baud,
            [this, row, spare = *module](const std::optional<AnsweredModule> &found) {
                if (found)
                    RowDone(RestoreOutcome::AddressTaken);
                else
                    Write(spare, RestoreConfig(row));
            });
}

void BusCompareRun::RowDone(RestoreOutcome outcome)
{
    const QByteArray address = chosen.at(chosenIndex).address;
    ++chosenIndex;
    emit RowRestored(address, outcome);
    if (running)
        NextRestore();
}

void BusCompareRun::WriteConfiguration(const AnsweredModule &module, const QByteArray &config)
{
    Begin();
    restoring = false;
    Write(module, config);
}

void BusCompareRun::Write(const AnsweredModule &module, const QByteArray &config)
{
    // The bus is lent to the editors' cycle for the module's turn, which writes the configuration once it has
    // read the module, and ends with that turn. The record goes in at the head of its list, so that the
    // turn's update of its record finds this one before any the tree holds at the same address.
    newConfig = config;
    writtenInInit = module.record->initFlag;
    writtenType = module.record->typeId;
    written.reset();
    workspace.SetLineBaud(module.baud);
    lent =
        workspace.Modules().AddModule(module.record->typeId, module.record->config, module.record->initFlag);
    poller = std::make_unique<HeadlessPoller>(workspace);
    step = CompareStep::Lending;
    workspace.Router().ReleaseBus();
    EditorTurn *turn = poller->Open(lent);
    if (!turn) {
        written = ConfigurationWrite::NoTurn;
        DropLentRecord();
        step = CompareStep::WaitingForBus;
        AskForBusBack();
        return;
    }
    connect(turn, &EditorTurn::ConfigurationDone, this, [this](bool done) {
        written = done ? ConfigurationWrite::Written : ConfigurationWrite::NotAcknowledged;
        lent->editorState = EditorState::CloseAtTurnEnd;
    });
    // A turn that did not come to the write (its module stopped answering) ends after its next poll.
    connect(poller.get(), &HeadlessPoller::ValuesRead, this, [this, polls = 0](const ModuleValues &) mutable {
        if (++polls > 1 && lent)
            lent->editorState = EditorState::CloseAtTurnEnd;
    });
    connect(turn, &EditorTurn::CloseRequested, this, [this] {
        // The router is still inside the turn's reply: the turn is freed from the event loop.
        QTimer::singleShot(0, this, &BusCompareRun::TurnEnded);
    });
    turn->ChooseConfig(newConfig);
    turn->RequestUpdate();
}

void BusCompareRun::TurnEnded()
{
    DropLentRecord();
    if (step != CompareStep::Lending)
        return;
    step = CompareStep::WaitingForBus;
    AskForBusBack();
}

void BusCompareRun::DropLentRecord()
{
    // The poller lets go of the record's turn before the record leaves the workspace.
    poller.reset();
    if (lent) {
        if (const ModuleType *type = FindModuleType(lent->typeId))
            std::erase(workspace.Modules().Records(type->kind), lent);
        lent.reset();
    }
}

void BusCompareRun::AskForBusBack()
{
    if (!workspace.Router().RequestBus(tool)) {
        busTimer.start(workspace.Engine().TimeOutMs());
        return;
    }
    if (releaseWhenGranted) {
        releaseWhenGranted = false;
        workspace.Router().ReleaseBus();
        return;
    }
    if (step == CompareStep::WaitingForBus)
        BusBack();
}

void BusCompareRun::BusBack()
{
    if (written != ConfigurationWrite::Written) {
        WriteEnded({.outcome = written.value_or(ConfigurationWrite::NotAcknowledged),
                    .readBack = {},
                    .verified = false});
        return;
    }
    // The module answers at its new rate and address (00 while in INIT), with its new checksum use.
    workspace.SetLineBaud(BaudOfCode(HexToInt(Copy(newConfig, 5, 2))));
    step = CompareStep::ReadBack;
    workspace.Engine().SendCommand(
        {.command = "$" + CommandAddress(HexToInt(Copy(newConfig, 1, 2)), writtenInInit) + "2" + CR,
         .checksum = CommandsCarryChecksum(ChecksumOn(newConfig), writtenInInit),
         .expectedLength = ReplyLength::Configuration});
}

void BusCompareRun::ReadBackReply(const QByteArray &reply)
{
    step = CompareStep::Idle;
    const QByteArray readBack = Copy(reply, 2, 8);
    // A module in INIT reports the address it answers at, 00, in front of its settings.
    const bool verified =
        writtenInInit ? Copy(readBack, 3, 6) == Copy(newConfig, 3, 6) : readBack == newConfig;
    WriteEnded({.outcome = ConfigurationWrite::Written, .readBack = readBack, .verified = verified});
}

void BusCompareRun::WriteEnded(const WrittenConfiguration &outcome)
{
    step = CompareStep::Idle;
    // The tree's record of a module written at its own address takes what the module now holds, so that an
    // editor opened on it reads the data in the format and range written. (A spare in INIT is found anew
    // after its power-up.)
    if (outcome.verified && !writtenInInit)
        if (const ModuleRecordPtr record = workspace.Modules().FindForUpdate(Copy(newConfig, 1, 2));
            record && record->typeId == writtenType)
            record->config = newConfig;
    if (restoring) {
        RowDone(outcome.verified ? RestoreOutcome::Done : RestoreOutcome::Refused);
        return;
    }
    running = false;
    emit ConfigurationWritten(outcome);
    emit Finished();
}

// Breaking off

void BusCompareRun::Begin()
{
    Stop();
    // A new run holds the bus it was started on: a bus still to be given back from a run broken off is not
    // this one's.
    releaseWhenGranted = false;
    busTimer.stop();
    running = true;
}

void BusCompareRun::Stop()
{
    ++generation;
    sweep->Stop();
    if (step == CompareStep::Lending && lent) {
        // The turn ends after the exchange it has on the wire; its record goes then.
        lent->editorState = EditorState::CloseAtTurnEnd;
    } else if (step == CompareStep::WaitingForBus && busTimer.isActive()) {
        // Asked for during an editor's turn, the bus would come to a tool that no longer wants it.
        releaseWhenGranted = !workspace.Router().OwnsBus(tool) && workspace.Router().BusAsked(tool);
        if (!releaseWhenGranted)
            busTimer.stop();
    }
    step = CompareStep::Idle;
    running = false;
}

void BusCompareRun::Cancel()
{
    Stop();
}

} // namespace navix
