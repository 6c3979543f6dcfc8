#include "bus_compare.h"

#include "bus/baud_table.h"
#include "bus/text.h"
#include "module_protocol.h"

namespace navix {

namespace {

constexpr int DataFormatBits = 0x03;
constexpr int IntegrationTimeBit = 0x80;
constexpr int SlewRateBits = 0x3C;

bool IsAnalogInput(EditorKind kind)
{
    return kind == EditorKind::Type4013 || kind == EditorKind::Type4x13 || kind == EditorKind::Type4017;
}

// Whether the module on the bus is of the file's type: the same kind of module and, for the kinds whose file
// keeps the module's own type id (the 4x13 family, the 4152), the same id.
bool SameType(const ModuleRecord &file, const BusAnswer &answer)
{
    const ModuleType *type = FindModuleType(answer.typeId);
    if (!type || type->kind != file.kind)
        return false;
    if (file.kind == EditorKind::Type4x13 || file.kind == EditorKind::Type4152)
        return answer.typeId == file.typeId;
    return true;
}

// The differences of the format byte (positions 7-8) besides the checksum.
void FormatDifferences(EditorKind kind, int fileFormat, int busFormat, QStringList &words)
{
    const int changed = (fileFormat ^ busFormat) & ~ChecksumFormatBit;
    if (IsAnalogInput(kind)) {
        if (changed & DataFormatBits)
            words << QStringLiteral("data format");
        if (changed & IntegrationTimeBit)
            words << QStringLiteral("integration time");
    } else if (kind == EditorKind::Type4021) {
        if (changed & DataFormatBits)
            words << QStringLiteral("data format");
        if (changed & SlewRateBits)
            words << QStringLiteral("slew rate");
    } else if (changed) {
        words << QStringLiteral("data format");
    }
}

} // namespace

QStringList ConfigDifferences(EditorKind kind, const QByteArray &fileConfig, const QByteArray &busConfig)
{
    QStringList words;
    if (Copy(fileConfig, 1, 2) != Copy(busConfig, 1, 2))
        words << QStringLiteral("address");
    if (Copy(fileConfig, 3, 2) != Copy(busConfig, 3, 2))
        words << (IsAnalogInput(kind) || kind == EditorKind::Type4021 ? QStringLiteral("range")
                                                                      : QStringLiteral("type code"));
    const int fileFormat = HexToInt(Copy(fileConfig, 7, 2));
    const int busFormat = HexToInt(Copy(busConfig, 7, 2));
    FormatDifferences(kind, fileFormat, busFormat, words);
    if (Copy(fileConfig, 5, 2) != Copy(busConfig, 5, 2))
        words << QStringLiteral("baud rate");
    if ((fileFormat ^ busFormat) & ChecksumFormatBit)
        words << QStringLiteral("checksum");
    return words;
}

CompareRow CompareModule(const ModuleRecord &file, const std::optional<BusAnswer> &atAddress,
                         const std::optional<BusAnswer> &spare)
{
    CompareRow row;
    row.address = file.Address();
    row.typeId = file.typeId;
    row.fileConfig = file.config;
    if (atAddress) {
        row.bus = atAddress;
        if (!SameType(file, *atAddress)) {
            row.differences << QString::fromLatin1(AnotherTypeText);
            row.action = RestoreAction::NotWritten;
            return row;
        }
        row.differences = ConfigDifferences(file.kind, file.config, atAddress->config);
        if (!row.differences.isEmpty())
            row.action =
                ChangesLine(atAddress->config, file.config) ? RestoreAction::NeedsInit : RestoreAction::Write;
        return row;
    }
    if (spare && spare->init && SameType(file, *spare)) {
        // A module in INIT answers at 00 whatever its address: the module itself wired for INIT, or a spare
        // out of the box. Either way it becomes the file's module with one write.
        // In INIT it answers at 00 and tells no address of its own: the settings are compared, and the write
        // gives it the file's address.
        row.bus = spare;
        row.differences << QString::fromLatin1(InInitText);
        row.differences << ConfigDifferences(file.kind, file.config, row.address + Copy(spare->config, 3, 6));
        row.action = RestoreAction::ConfigureSpare;
        return row;
    }
    row.differences << QString::fromLatin1(MissingText);
    row.action = RestoreAction::NotWritten;
    return row;
}

QList<CompareRow> CompareFile(const QList<ModuleRecordPtr> &file,
                              const std::function<std::optional<BusAnswer>(const QByteArray &)> &atAddress,
                              const std::optional<BusAnswer> &spare)
{
    QList<CompareRow> rows;
    bool spareOffered = false;
    for (const ModuleRecordPtr &record : file) {
        CompareRow row =
            CompareModule(*record, atAddress(record->Address()), spareOffered ? std::nullopt : spare);
        spareOffered = spareOffered || row.action == RestoreAction::ConfigureSpare;
        rows.append(row);
    }
    return rows;
}

QByteArray RestoreConfig(const CompareRow &row)
{
    return row.address + Copy(row.fileConfig, 3, 6);
}

QString RestoreOutcomeText(RestoreOutcome outcome)
{
    switch (outcome) {
    case RestoreOutcome::Done:
        return QStringLiteral("done");
    case RestoreOutcome::Refused:
        return QStringLiteral("refused by the module");
    case RestoreOutcome::NeedsInit:
        return QStringLiteral("needs INIT for baud rate or checksum");
    case RestoreOutcome::AddressTaken:
        return QStringLiteral("address taken");
    case RestoreOutcome::NotWritten:
        break;
    }
    return QStringLiteral("not written");
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

bool RestoreWrites(const CompareRow &row)
{
    return row.action == RestoreAction::Write || row.action == RestoreAction::ConfigureSpare;
}

QByteArray PlannedCommand(const CompareRow &row, const ModuleRecord &answered)
{
    QByteArray command = ConfigurationCommand(CommandAddress(answered), RestoreConfig(row));
    if (CommandsCarryChecksum(answered))
        command.insert(command.size() - 1, ComputeChecksum(command));
    return command.chopped(1);
}

} // namespace navix
