#include "cli_restore.h"

#include "cli_bus.h"
#include "cli_common.h"
#include "cli_output.h"

#include "bus/baud_table.h"
#include "bus/text.h"
#include "config/module_file.h"
#include "editors/bus_compare.h"
#include "editors/module_protocol.h"
#include "workspace/bus_session.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace navix {

namespace {

// The file held against the bus: a row per module of the file, and the module that answered for each row
// (what a restore writes to).
struct BusComparison
{
    QList<CompareRow> rows;
    QHash<QByteArray, FoundModule> answered; // by the row's address
};

std::optional<BusAnswer> AnswerOf(const std::optional<FoundModule> &found)
{
    if (!found)
        return std::nullopt;
    return BusAnswer{.typeId = found->record->typeId,
                     .config = found->record->config,
                     .init = found->record->initFlag,
                     .baud = found->baud};
}

// What answers at 00, asked with reads alone at every rate of the table: a module in INIT answers there
// whatever its own address, at 9600 Bd mostly. (The search's INIT probe would write to it, and a compare
// writes nothing.) Taken for a module in INIT.
std::optional<BusAnswer> AskAtZero(CliBus &bus)
{
    QList<int> rates{DefaultBaud};
    for (const int baud : ModuleBaudRates)
        if (baud != DefaultBaud)
            rates.append(baud);
    for (const int baud : rates) {
        bus.SetLineBaud(baud);
        const QByteArray name =
            bus.Ask({.command = QByteArray("$00M") + CR, .expectedLength = ReplyLength::ModuleName});
        if (name.isEmpty())
            continue;
        const QByteArray config =
            bus.Ask({.command = QByteArray("$002") + CR, .expectedLength = ReplyLength::Configuration});
        if (config.isEmpty())
            continue;
        return BusAnswer{.typeId = Copy(name, 4, 4), .config = Copy(config, 2, 8), .init = true, .baud = baud};
    }
    return std::nullopt;
}

// The module answering at address itself (not one in INIT at 00): first at the rate the file gives it, then
// at every rate of the table, so that a module moved to another rate is found too.
std::optional<FoundModule> LookFor(CliBus &bus, int address, int fileBaud)
{
    const auto atAddress = [address](const FoundModule &module) {
        return !module.record->initFlag && HexToInt(module.record->Address()) == address;
    };
    bus.SetLineBaud(fileBaud > 0 ? fileBaud : DefaultBaud);
    for (const bool allRates : {false, true}) {
        const QList<FoundModule> found = bus.Scan(address, address, allRates);
        const auto module = std::find_if(found.cbegin(), found.cend(), atAddress);
        if (module != found.cend())
            return *module;
    }
    return std::nullopt;
}

QList<ModuleRecordPtr> FileModules(BusSession &file)
{
    QList<ModuleRecordPtr> modules;
    file.Modules().ForEach([&modules](const ModuleRecordPtr &record) { modules.append(record); });
    std::stable_sort(modules.begin(), modules.end(), [](const ModuleRecordPtr &a, const ModuleRecordPtr &b) {
        return HexToInt(a->Address()) < HexToInt(b->Address());
    });
    return modules;
}

// A module found by asking at 00: a record of the tool's own, which a restore writes to.
FoundModule AtZero(CliBus &bus, const BusAnswer &answer)
{
    return {bus.Modules().AddModule(answer.typeId, answer.config, answer.init), {}, answer.baud, {}};
}

BusComparison CompareWithBus(CliBus &bus, const QList<ModuleRecordPtr> &file)
{
    BusComparison comparison;
    QHash<QByteArray, std::optional<FoundModule>> atAddress;
    for (const ModuleRecordPtr &record : file) {
        const int address = HexToInt(record->Address());
        std::optional<FoundModule> found;
        if (address == 0) {
            if (const std::optional<BusAnswer> answer = AskAtZero(bus); answer && FindModuleType(answer->typeId))
                found = AtZero(bus, *answer);
        } else {
            found = LookFor(bus, address, BaudOfCode(HexToInt(Copy(record->config, 5, 2))));
        }
        atAddress.insert(record->Address(), found);
    }
    // What answers at 00 may stand for a missing module, unless the file has a module of its own there.
    const bool spareWanted = !atAddress.contains("00") &&
                             std::any_of(atAddress.cbegin(), atAddress.cend(),
                                         [](const std::optional<FoundModule> &found) { return !found; });
    std::optional<BusAnswer> spare = spareWanted ? AskAtZero(bus) : std::nullopt;
    if (spare && !FindModuleType(spare->typeId))
        spare.reset();
    comparison.rows = CompareFile(
        file, [&atAddress](const QByteArray &address) { return AnswerOf(atAddress.value(address)); }, spare);
    for (const CompareRow &row : comparison.rows) {
        if (row.action == RestoreAction::ConfigureSpare)
            comparison.answered.insert(row.address, AtZero(bus, *spare));
        else if (const std::optional<FoundModule> &found = atAddress.value(row.address))
            comparison.answered.insert(row.address, *found);
    }
    return comparison;
}

QString ActionText(const CompareRow &row)
{
    switch (row.action) {
    case RestoreAction::None:
        return QStringLiteral("none");
    case RestoreAction::Write:
        return QStringLiteral("write");
    case RestoreAction::ConfigureSpare:
        return QStringLiteral("configure the spare as %1").arg(FromWire(row.address));
    case RestoreAction::NeedsInit:
        return RestoreOutcomeText(RestoreOutcome::NeedsInit);
    case RestoreAction::NotWritten:
        break;
    }
    return RestoreOutcomeText(RestoreOutcome::NotWritten);
}

QString BusText(const CompareRow &row)
{
    if (!row.bus)
        return QStringLiteral("-");
    QString text = FromWire(row.bus->config);
    if (row.differences.contains(QString::fromLatin1(AnotherTypeText)))
        text.prepend(FromWire(row.bus->typeId) + ' ');
    if (row.bus->init)
        text += QStringLiteral(" (INIT)");
    return text;
}

QJsonObject RowJson(const CompareRow &row)
{
    QJsonObject document{{"address", FromWire(row.address)},
                         {"type", FromWire(row.typeId)},
                         {"file", FromWire(row.fileConfig)},
                         {"differences", QJsonArray::fromStringList(row.differences)},
                         {"action", ActionText(row)}};
    if (row.bus)
        document["bus"] = QJsonObject{{"type", FromWire(row.bus->typeId)},
                                      {"config", FromWire(row.bus->config)},
                                      {"init", row.bus->init},
                                      {"baud", row.bus->baud}};
    else
        document["bus"] = QJsonValue::Null;
    return document;
}

void PrintComparison(const CliRequest &request, const QList<CompareRow> &rows, bool withActions)
{
    const bool equal = std::all_of(rows.cbegin(), rows.cend(),
                                   [](const CompareRow &row) { return row.differences.isEmpty(); });
    if (request.json) {
        QJsonArray modules;
        for (const CompareRow &row : rows)
            modules.append(RowJson(row));
        PrintJson({{"file", request.file}, {"equal", equal}, {"modules", modules}});
        return;
    }
    QList<QStringList> table{{"address", "type", "file", "bus", "differences"}};
    if (withActions)
        table.first().append("restore");
    for (const CompareRow &row : rows) {
        QStringList line{FromWire(row.address), FromWire(row.typeId), FromWire(row.fileConfig), BusText(row),
                         row.differences.isEmpty() ? QStringLiteral("equal") : row.differences.join(", ")};
        if (withActions)
            line.append(ActionText(row));
        table.append(line);
    }
    PrintOut(AlignedRows(table));
}

// Loads the file, opens the port and holds the file against the bus; the exit code when any of it fails.
std::optional<int> Compare(const CliRequest &request, CliBus &bus, BusComparison &comparison)
{
    BusSession file; // the file's records alone; its port is never opened
    const int loaded = LoadModuleFile(request.file, file);
    if (loaded < 0)
        return Failed(request, CliExit::BadArguments, QStringLiteral("cannot read %1").arg(request.file));
    if (loaded == 0)
        return Failed(request, CliExit::BadArguments,
                      QStringLiteral("%1 holds no module of a known type").arg(request.file));
    if (const std::optional<int> failed = OpenPort(bus, request))
        return failed;
    comparison = CompareWithBus(bus, FileModules(file));
    return std::nullopt;
}

bool Selected(const CliRequest &request, const CompareRow &row)
{
    return request.only.isEmpty() || request.only.contains(HexToInt(row.address));
}

bool Writes(const CompareRow &row)
{
    return row.action == RestoreAction::Write || row.action == RestoreAction::ConfigureSpare;
}

// What would go on the wire for the row: the configuration command as the module's turn sends it.
QString PlannedCommand(const CompareRow &row, const FoundModule &module)
{
    QByteArray command = ConfigurationCommand(CommandAddress(*module.record), RestoreConfig(row));
    if (CommandsCarryChecksum(*module.record))
        command.insert(command.size() - 1, ComputeChecksum(command));
    return FromWire(command.chopped(1));
}

bool Confirmed(int writes)
{
    QTextStream err(stderr);
    err << QStringLiteral("Write %1 module(s)? [y/N] ").arg(writes);
    err.flush();
    const QString answer = QTextStream(stdin).readLine().trimmed().toLower();
    return answer == "y" || answer == "yes";
}

RestoreOutcome RestoreRow(CliBus &bus, const CompareRow &row, const FoundModule &module)
{
    if (row.action == RestoreAction::ConfigureSpare && LookFor(bus, HexToInt(row.address), module.baud))
        return RestoreOutcome::AddressTaken;
    bus.SetLineBaud(module.baud);
    const CliBus::WrittenConfiguration written = bus.WriteAndReadBack(module.record, RestoreConfig(row));
    return written.verified ? RestoreOutcome::Done : RestoreOutcome::Refused;
}

int PrintResults(const CliRequest &request, const QList<std::pair<CompareRow, RestoreOutcome>> &results)
{
    bool allDone = true;
    bool spareDone = false;
    QJsonArray modules;
    QList<QStringList> table{{"address", "type", "result"}};
    for (const auto &[row, outcome] : results) {
        allDone = allDone && outcome == RestoreOutcome::Done;
        spareDone = spareDone || (outcome == RestoreOutcome::Done && row.action == RestoreAction::ConfigureSpare);
        modules.append(QJsonObject{{"address", FromWire(row.address)},
                                   {"type", FromWire(row.typeId)},
                                   {"result", RestoreOutcomeText(outcome)}});
        table.append({FromWire(row.address), FromWire(row.typeId), RestoreOutcomeText(outcome)});
    }
    if (request.json) {
        QJsonObject document{{"file", request.file}, {"modules", modules}};
        if (spareDone)
            document["hint"] = QString::fromLatin1(SpareDoneHint);
        PrintJson(document);
    } else {
        PrintOut(AlignedRows(table));
        if (spareDone)
            PrintOut(QString::fromLatin1(SpareDoneHint) + '\n');
    }
    return Code(allDone ? CliExit::Done : CliExit::NothingFound);
}

} // namespace

int RunCompare(const CliRequest &request)
{
    CliBus bus;
    BusComparison comparison;
    if (const std::optional<int> failed = Compare(request, bus, comparison))
        return *failed;
    PrintComparison(request, comparison.rows, false);
    const bool equal = std::all_of(comparison.rows.cbegin(), comparison.rows.cend(),
                                   [](const CompareRow &row) { return row.differences.isEmpty(); });
    return Code(equal ? CliExit::Done : CliExit::NothingFound);
}

int RunRestore(const CliRequest &request)
{
    CliBus bus;
    BusComparison comparison;
    if (const std::optional<int> failed = Compare(request, bus, comparison))
        return *failed;
    QList<CompareRow> chosen;
    for (const CompareRow &row : comparison.rows)
        if (Selected(request, row) && !row.differences.isEmpty())
            chosen.append(row);
    const qsizetype writes = std::count_if(chosen.cbegin(), chosen.cend(), Writes);
    if (request.dryRun) {
        for (const CompareRow &row : chosen)
            if (Writes(row))
                PrintOut(PlannedCommand(row, comparison.answered.value(row.address)) + '\n');
        return Code(CliExit::Done);
    }
    if (!request.json)
        PrintComparison(request, chosen, true);
    if (writes > 0 && !request.yes && !Confirmed(static_cast<int>(writes))) {
        PrintProblem("nothing written");
        return Code(CliExit::NothingFound);
    }
    QList<std::pair<CompareRow, RestoreOutcome>> results;
    for (const CompareRow &row : chosen) {
        if (row.action == RestoreAction::NeedsInit)
            results.append({row, RestoreOutcome::NeedsInit});
        else if (!Writes(row))
            results.append({row, RestoreOutcome::NotWritten});
        else
            results.append({row, RestoreRow(bus, row, comparison.answered.value(row.address))});
    }
    return PrintResults(request, results);
}

} // namespace navix
