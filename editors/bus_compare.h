#pragma once
// A saved bus held against the modules on the line: what differs for each module of the file, in words, and
// what putting the file's configuration back onto it takes. It asks nothing of the bus itself: the caller
// (navix-cli, the compare window) looks for each module and hands over what answered. The channel names and
// descriptions stay in the file; they are not on the modules and are not compared.

#include "workspace/module_records.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace navix {

// What answered on the bus where a module of the file was looked for.
struct BusAnswer
{
    QByteArray typeId; // as the module named itself
    QByteArray config; // AATTCCFF as the module reports it (a module in INIT: 00, where it answers)
    bool init = false; // it answered at 00 in INIT
    int baud = 0;      // the rate it answered at
};

// What restoring a row takes.
enum class RestoreAction {
    None,           // the module holds the file's configuration
    Write,          // the file's configuration goes to the module at its address (or at 00 in INIT)
    ConfigureSpare, // a module of the same type in INIT at 00 becomes the file's module (a spare, or the
                    // module itself wired for INIT)
    NeedsInit,      // the baud rate or checksum use differs, which a module takes only in INIT
    NotWritten      // missing, or another type at this address: never written
};

struct CompareRow
{
    QByteArray address; // the file's, two hex digits
    QByteArray typeId;  // the file's
    QByteArray fileConfig;
    std::optional<BusAnswer> bus; // what answered for it, nothing when nothing did
    QStringList differences;      // in words, empty when the module holds the file's configuration
    RestoreAction action = RestoreAction::None;
};

// Words of the differences.
inline constexpr const char *MissingText = "missing";
inline constexpr const char *AnotherTypeText = "another type at this address";
inline constexpr const char *InInitText = "in INIT";

// The settings that differ between two configuration texts of a module of this kind, in words: "address",
// "range", "data format", "integration time", "slew rate", "baud rate", "checksum".
QStringList ConfigDifferences(EditorKind kind, const QByteArray &fileConfig, const QByteArray &busConfig);

// The row of one module of the file. atAddress is what answered at its address; spare what answered at 00
// in INIT, offered where nothing answered at the address and the types match.
CompareRow CompareModule(const ModuleRecord &file, const std::optional<BusAnswer> &atAddress,
                         const std::optional<BusAnswer> &spare);
// The rows of a whole file, in its order: atAddress tells what answered at an address. The module in INIT
// at 00 is offered to the first row it can stand for, no other.
QList<CompareRow> CompareFile(const QList<ModuleRecordPtr> &file,
                              const std::function<std::optional<BusAnswer>(const QByteArray &)> &atAddress,
                              const std::optional<BusAnswer> &spare);

// The configuration a restore writes for the row: the file's, for a module in INIT with the address the
// file gives it.
QByteArray RestoreConfig(const CompareRow &row);

// What a restore reports for a row it wrote, or could not.
enum class RestoreOutcome { Done, Refused, NeedsInit, AddressTaken, NotWritten };
QString RestoreOutcomeText(RestoreOutcome outcome);

// What restoring the row does, in words ("write", "configure the spare as 04", ...).
QString ActionText(const CompareRow &row);
// What answered for the row, in words: its configuration, with its type where another type answered and
// "(INIT)" for a module in INIT; "-" where nothing did.
QString BusText(const CompareRow &row);
// A restore writes to the row's module.
bool RestoreWrites(const CompareRow &row);
// The configuration command a restore sends for the row to the module that answered for it, as that
// module's turn sends it (with its checksum where commands carry one), without the CR.
QByteArray PlannedCommand(const CompareRow &row, const ModuleRecord &answered);

// What a technician does after a spare took its configuration in INIT.
inline constexpr const char *SpareDoneHint = "Remove the INIT wire and power the module up again";

} // namespace navix
