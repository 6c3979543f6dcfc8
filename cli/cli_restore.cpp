#include "cli_restore.h"

#include "cli_bus.h"
#include "cli_common.h"
#include "cli_output.h"

#include "bus/text.h"
#include "config/module_file.h"
#include "editors/bus_compare.h"
#include "search/bus_compare_run.h"
#include "workspace/bus_session.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace navix {

namespace {

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
std::optional<int> Compare(const CliRequest &request, CliBus &bus, QList<CompareRow> &rows)
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
    rows = bus.CompareWithFile(ModulesByAddress(file.Modules()));
    return std::nullopt;
}

bool Selected(const CliRequest &request, const CompareRow &row)
{
    return request.only.isEmpty() || request.only.contains(HexToInt(row.address));
}

bool Confirmed(int writes)
{
    QTextStream err(stderr);
    err << QStringLiteral("Write %1 module(s)? [y/N] ").arg(writes);
    err.flush();
    const QString answer = QTextStream(stdin).readLine().trimmed().toLower();
    return answer == "y" || answer == "yes";
}

int PrintResults(const CliRequest &request, const QList<std::pair<CompareRow, RestoreOutcome>> &results)
{
    bool allDone = true;
    bool spareDone = false;
    QJsonArray modules;
    QList<QStringList> table{{"address", "type", "result"}};
    for (const auto &[row, outcome] : results) {
        allDone = allDone && outcome == RestoreOutcome::Done;
        spareDone =
            spareDone || (outcome == RestoreOutcome::Done && row.action == RestoreAction::ConfigureSpare);
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
    QList<CompareRow> rows;
    if (const std::optional<int> failed = Compare(request, bus, rows))
        return *failed;
    PrintComparison(request, rows, false);
    const bool equal = std::all_of(rows.cbegin(), rows.cend(),
                                   [](const CompareRow &row) { return row.differences.isEmpty(); });
    return Code(equal ? CliExit::Done : CliExit::NothingFound);
}

int RunRestore(const CliRequest &request)
{
    CliBus bus;
    QList<CompareRow> rows;
    if (const std::optional<int> failed = Compare(request, bus, rows))
        return *failed;
    QList<CompareRow> chosen;
    for (const CompareRow &row : rows)
        if (Selected(request, row) && !row.differences.isEmpty())
            chosen.append(row);
    const qsizetype writes = std::count_if(chosen.cbegin(), chosen.cend(), RestoreWrites);
    if (request.dryRun) {
        for (const CompareRow &row : chosen)
            if (const std::optional<AnsweredModule> module = bus.Answered(row.address);
                module && RestoreWrites(row))
                PrintOut(FromWire(PlannedCommand(row, *module->record)) + '\n');
        return Code(CliExit::Done);
    }
    if (!request.json)
        PrintComparison(request, chosen, true);
    if (writes > 0 && !request.yes && !Confirmed(static_cast<int>(writes))) {
        PrintProblem("nothing written");
        return Code(CliExit::NothingFound);
    }
    return PrintResults(request, bus.Restore(chosen));
}

} // namespace navix
