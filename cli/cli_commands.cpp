#include "cli_commands.h"

#include "cli_bus.h"
#include "cli_common.h"
#include "cli_output.h"
#include "cli_restore.h"
#include "module_readout.h"

#include "bus/baud_table.h"
#include "bus/text_file.h"
#include "config/module_file.h"
#include "editors/module_protocol.h"

#include <QJsonArray>
#include <QJsonObject>

#include <functional>

namespace navix {

int Code(CliExit exit)
{
    return static_cast<int>(exit);
}

QString ModelLabel(const ModuleRecord &record)
{
    const ModuleType *type = FindModuleType(record.typeId);
    return type ? QString::fromLatin1(type->modelLabel).trimmed() : QString();
}

int Failed(const CliRequest &request, CliExit exit, const QString &problem)
{
    PrintProblem(problem);
    if (request.json)
        PrintJson({{"error", problem}});
    return Code(exit);
}

int NothingFound(const CliRequest &request, const QString &problem)
{
    return Failed(request, CliExit::NothingFound, problem);
}

std::optional<int> OpenPort(CliBus &bus, const CliRequest &request)
{
    const PortLookup lookup = ResolvePortName(request.port, ListPorts());
    if (lookup.mistyped) {
        PrintProblem(lookup.problem);
        return Code(CliExit::BadArguments);
    }
    if (!lookup.port)
        return Failed(request, CliExit::PortFailed, QStringLiteral("cannot open %1").arg(lookup.problem));
    bus.SetTimeOutField(request.timeOutMs);
    // No pacing beyond what the line needs: a script waits for nobody.
    bus.Engine().SetPacingTag(VeryFast);
    QString failure = bus.Open(*lookup.port, request.baud);
    if (!failure.isEmpty()) {
        // The port layer names the device in front of its reason; a device path named it already.
        if (failure.startsWith(request.port + QStringLiteral(": ")))
            failure.remove(0, request.port.size() + 2);
        return Failed(request, CliExit::PortFailed,
                      QStringLiteral("cannot open %1: %2").arg(request.port, failure));
    }
    return std::nullopt;
}

namespace {
constexpr int DataFormatBits = 0x03; // bits 1..0 of the format byte

QString Address(const ModuleRecord &record)
{
    return FromWire(CommandAddress(record));
}

int RunPorts(const CliRequest &request)
{
    const QMap<int, ComPortTarget> ports = ListPorts().Ports();
    QJsonArray list;
    QList<QStringList> rows;
    for (auto port = ports.cbegin(); port != ports.cend(); ++port) {
        const QString name = QStringLiteral("COM%1").arg(port.key());
        const ComPortTarget &target = port.value();
        QJsonObject entry{{"name", name}, {"number", port.key()}};
        if (target.IsNetwork()) {
            entry["address"] = target.address->Text();
            rows.append({name, target.address->Text(), "network"});
        } else {
            entry["device"] = target.device;
            rows.append({name, target.device, "serial"});
        }
        entry["kind"] = target.IsNetwork() ? "network" : "serial";
        list.append(entry);
    }
    if (request.json)
        PrintJson({{"ports", list}});
    else
        PrintOut(AlignedRows(rows));
    return Code(ports.isEmpty() ? CliExit::NothingFound : CliExit::Done);
}

// Opens the request's port; the exit code when it fails.
QList<FoundModule> ScanWithProgress(CliBus &bus, const CliRequest &request, int first, int last,
                                    bool allRates)
{
    Progress progress(request.quiet);
    const int count = std::abs(last - first) + 1;
    const int low = std::min(first, last);
    return bus.Scan(first, last, allRates, [&](int address, int found) {
        progress.Show(QStringLiteral("%1 bps: address %2 of %3, %4 module(s) found")
                          .arg(bus.LineBaud())
                          .arg(address - low + 1)
                          .arg(count)
                          .arg(found));
    });
}

// The rates a scan asked at, as its closing line names them.
QString RatesTried(const CliRequest &request)
{
    if (!request.allRates)
        return QStringLiteral("%1 Bd").arg(request.baud);
    QStringList rates;
    for (const int baud : ModuleBaudRates)
        rates.append(QString::number(baud));
    return rates.join(", ") + " Bd";
}

QJsonObject ModuleJson(const FoundModule &module)
{
    const ModuleRecord &record = *module.record;
    return {{"address", Address(record)},
            {"type", FromWire(record.typeId)},
            {"model", ModelLabel(record)},
            {"config", FromWire(record.config)},
            {"init", record.initFlag},
            {"checksum", (HexToInt(Copy(record.config, 7, 2)) & ChecksumFormatBit) != 0},
            {"firmware", FromWire(module.firmware)},
            {"baud", module.baud},
            {"caption", module.caption}};
}

int RunScan(const CliRequest &request)
{
    CliBus bus;
    if (const std::optional<int> failed = OpenPort(bus, request))
        return *failed;
    QList<FoundModule> found = ScanWithProgress(bus, request, request.first, request.last, request.allRates);
    for (FoundModule &module : found)
        module.firmware = bus.ReadFirmware(module);
    if (request.json) {
        QJsonArray modules;
        for (const FoundModule &module : found)
            modules.append(ModuleJson(module));
        PrintJson({{"port", request.port}, {"modules", modules}});
    } else {
        QList<QStringList> rows{{"ADDR", "TYPE", "MODEL", "CONFIG", "INIT", "CHECKSUM", "FIRMWARE", "BAUD"}};
        for (const FoundModule &module : found) {
            const QJsonObject fields = ModuleJson(module);
            rows.append({fields["address"].toString(), fields["type"].toString(), fields["model"].toString(),
                         fields["config"].toString(), fields["init"].toBool() ? "yes" : "no",
                         fields["checksum"].toBool() ? "on" : "off",
                         module.firmware.isEmpty() ? "-" : FromWire(module.firmware),
                         QString::number(module.baud)});
        }
        PrintOut(AlignedRows(rows));
    }
    if (!found.isEmpty())
        return Code(CliExit::Done);
    PrintProblem(
        QStringLiteral("no module answered between %1 and %2 at %3")
            .arg(FromWire(HexByte(request.first)), FromWire(HexByte(request.last)), RatesTried(request)));
    return Code(CliExit::NothingFound);
}

// Opens the port, finds the module at the request's address (at the request's rate or at the first rate of
// the table it answers at, where the port is then left) and runs the command on it.
int WithModule(const CliRequest &request, const std::function<int(CliBus &, const FoundModule &)> &command)
{
    CliBus bus;
    if (const std::optional<int> failed = OpenPort(bus, request))
        return *failed;
    const QList<FoundModule> found = bus.Scan(request.address, request.address, request.allRates);
    if (found.isEmpty())
        return NothingFound(
            request, QStringLiteral("no module answers at %1").arg(FromWire(HexByte(request.address))));
    bus.SetLineBaud(found.first().baud);
    return command(bus, found.first());
}

int ReadCommand(const CliRequest &request, CliBus &bus, const FoundModule &module)
{
    const ModuleRecord &record = *module.record;
    const Readout readout = ReadModule(bus, module.record);
    if (request.json) {
        QJsonArray values;
        for (const ReadoutValue &value : readout.values)
            values.append(QJsonObject{{"name", value.name}, {"value", value.value}, {"unit", value.unit}});
        QJsonObject document = ModuleJson(module);
        document.remove("firmware");
        document["answered"] = readout.answered;
        document["values"] = values;
        if (!readout.state.isEmpty())
            document["state"] = FromWire(readout.state);
        if (!readout.range.isEmpty())
            document["range"] = readout.range;
        PrintJson(document);
    } else {
        QString text = QStringLiteral("%1 (%2) %3 @%4")
                           .arg(FromWire(record.typeId), Address(record), ModelLabel(record))
                           .arg(module.baud);
        if (!readout.range.isEmpty())
            text += ", range " + readout.range;
        text += '\n';
        QList<QStringList> rows;
        for (const ReadoutValue &value : readout.values)
            rows.append({value.name, value.value, value.unit});
        PrintOut(text + AlignedRows(rows));
    }
    if (!readout.answered)
        PrintProblem("the module did not answer every query");
    return Code(readout.answered ? CliExit::Done : CliExit::NothingFound);
}

// A reply to a command sent with a checksum, as a script wants it: checked, and without the two checksum
// characters; nothing when they do not match. Raw, it stays as it came.
std::optional<QByteArray> CheckedReply(const CliRequest &request, const QByteArray &reply)
{
    if (!request.addChecksum || request.raw || reply.isEmpty())
        return reply;
    return WithoutChecksum(reply, reply.endsWith(CR));
}

int RunSend(const CliRequest &request)
{
    CliBus bus;
    if (const std::optional<int> failed = OpenPort(bus, request))
        return *failed;
    QByteArray command = ToWire(request.text);
    if (!command.endsWith(CR))
        command.append(CR);
    // As the terminal sends: the reply is read line by line, whatever it starts with.
    const QByteArray reply = bus.Ask({.command = command,
                                      .checksum = request.addChecksum,
                                      .receiveMode = ReceiveMode::LineMode,
                                      .startChar = ' ',
                                      .endChar = ' ',
                                      .expectedLength = 0});
    const std::optional<QByteArray> checked = CheckedReply(request, reply);
    QByteArray shown = checked.value_or(reply);
    shown.replace(CR, QByteArray());
    const QString text = shown.isEmpty() ? QStringLiteral("Time out !") : FromWire(shown);
    if (request.json) {
        QJsonObject document{
            {"command", FromWire(command.chopped(1))}, {"reply", text}, {"answered", !reply.isEmpty()}};
        if (request.addChecksum && !request.raw)
            document["checksumOk"] = checked.has_value();
        PrintJson(document);
    } else if (checked)
        PrintOut(text + '\n');
    if (!checked)
        PrintProblem("Wrong checksum !");
    return Code(reply.isEmpty() || !checked ? CliExit::NothingFound : CliExit::Done);
}

int RunBackup(const CliRequest &request)
{
    CliBus bus;
    if (const std::optional<int> failed = OpenPort(bus, request))
        return *failed;
    const QList<FoundModule> found =
        ScanWithProgress(bus, request, request.first, request.last, request.allRates);
    if (found.isEmpty())
        return NothingFound(request, "no module found; nothing written");
    const QString path = ConfigFileName(request.file);
    if (ReplaceFile(path, ModuleFileText(bus.Modules())) != SaveResult::Saved) {
        PrintProblem(QStringLiteral("cannot write %1").arg(path));
        return Code(CliExit::BadArguments);
    }
    if (request.json) {
        QJsonArray modules;
        for (const FoundModule &module : found)
            modules.append(ModuleJson(module));
        PrintJson({{"file", path}, {"modules", modules}});
    } else {
        PrintOut(QStringLiteral("%1 module(s) written to %2\n").arg(found.size()).arg(path));
    }
    return Code(CliExit::Done);
}

// The format byte with the checksum and data format asked for.
int NewFormatByte(int format, const CliRequest &request)
{
    if (request.checksum)
        format = *request.checksum ? format | ChecksumFormatBit : format & ~ChecksumFormatBit;
    if (request.format)
        format = (format & ~DataFormatBits) | static_cast<int>(*request.format);
    return format;
}

// A configuration write as set plans it: the module's settings now and those asked for.
struct ConfigurationChange
{
    QByteArray oldAddress;
    QByteArray newAddress;
    QByteArray typeCode;
    int baudCode = 0;
    int format = 0;

    QByteArray NewConfig() const { return newAddress + typeCode + HexByte(baudCode) + HexByte(format); }
};

ConfigurationChange PlanChange(const CliRequest &request, const ModuleRecord &record)
{
    ConfigurationChange change;
    change.oldAddress = record.Address();
    change.newAddress = request.newAddress ? HexByte(*request.newAddress) : change.oldAddress;
    change.typeCode = Copy(record.config, 3, 2);
    change.baudCode = request.newBaud ? CodeOfBaud(*request.newBaud) : HexToInt(Copy(record.config, 5, 2));
    change.format = NewFormatByte(HexToInt(Copy(record.config, 7, 2)), request);
    return change;
}

// The editors' rules: the data formats the type's editor offers, rate and checksum only in INIT, an address
// free on the whole bus. The exit code when the change is refused.
std::optional<int> RefuseChange(CliBus &bus, const CliRequest &request, const FoundModule &module,
                                const ConfigurationChange &change)
{
    const ModuleRecord &record = *module.record;
    if (request.format && static_cast<int>(*request.format) >= DataFormatCount(record.kind)) {
        PrintProblem(QStringLiteral("a %1 has no such data format").arg(FromWire(record.typeId)));
        return Code(CliExit::BadArguments);
    }
    if (ChangesLine(record.config, change.NewConfig()) && !record.initFlag) {
        PrintProblem(
            "the baud rate and checksum use change only in INIT: wire the module's INIT terminal first");
        return Code(CliExit::BadArguments);
    }
    if (change.newAddress == change.oldAddress)
        return std::nullopt;
    // The address must be free at every rate, as the tree would tell.
    const int wanted = HexToInt(change.newAddress);
    const QList<FoundModule> there = bus.Scan(wanted, wanted, true);
    bus.SetLineBaud(module.baud);
    if (there.isEmpty())
        return std::nullopt;
    PrintProblem(QStringLiteral("Invalid address ! (%1 answers at %2)")
                     .arg(FromWire(there.first().record->typeId), FromWire(change.newAddress)));
    return Code(CliExit::BadArguments);
}

void PrintChange(const CliRequest &request, const ModuleRecord &record, const ConfigurationChange &change,
                 const QByteArray &readBack, bool verified)
{
    const QByteArray newConfig = change.NewConfig();
    const int baud = BaudOfCode(change.baudCode);
    if (request.json) {
        PrintJson({{"address", Address(record)},
                   {"type", FromWire(record.typeId)},
                   {"old", FromWire(record.config)},
                   {"new", FromWire(newConfig)},
                   {"readBack", FromWire(readBack)},
                   {"baud", baud},
                   {"verified", verified}});
    } else {
        PrintOut(AlignedRows({{"old", FromWire(record.config)},
                              {"new", FromWire(newConfig)},
                              {"read back", readBack.isEmpty() ? QStringLiteral("-") : FromWire(readBack)},
                              {"baud", QString::number(baud)}}));
    }
}

int SetCommand(const CliRequest &request, CliBus &bus, const FoundModule &module)
{
    // The module as found: the record itself takes what is written.
    const ModuleRecord record = *module.record;
    const ConfigurationChange change = PlanChange(request, record);
    if (const std::optional<int> refused = RefuseChange(bus, request, module, change))
        return *refused;
    const CliBus::WrittenConfiguration written = bus.WriteAndReadBack(module.record, change.NewConfig());
    switch (written.outcome) {
    case CliBus::ConfigurationWrite::Written:
        break;
    case CliBus::ConfigurationWrite::NoTurn:
        PrintProblem(QStringLiteral("a %1 has no configuration the tool can write").arg(FromWire(record.typeId)));
        return Code(CliExit::BadArguments);
    case CliBus::ConfigurationWrite::NotAcknowledged:
        return NothingFound(request, "Configuration failed !");
    }
    PrintChange(request, record, change, written.readBack, written.verified);
    if (!written.verified) {
        PrintProblem("the configuration read back differs from the one written");
        return Code(CliExit::NothingFound);
    }
    return Code(CliExit::Done);
}
} // namespace

int RunCommand(const CliRequest &request)
{
    switch (request.command) {
    case CliCommand::Ports:
        return RunPorts(request);
    case CliCommand::Scan:
        return RunScan(request);
    case CliCommand::Read:
        return WithModule(request, [&](CliBus &bus, const FoundModule &module) {
            return ReadCommand(request, bus, module);
        });
    case CliCommand::Send:
        return RunSend(request);
    case CliCommand::Backup:
        return RunBackup(request);
    case CliCommand::Set:
        return WithModule(request, [&](CliBus &bus, const FoundModule &module) {
            return SetCommand(request, bus, module);
        });
    case CliCommand::Compare:
        return RunCompare(request);
    case CliCommand::Restore:
        return RunRestore(request);
    }
    return Code(CliExit::BadArguments);
}

int RunCommandLine(const QStringList &arguments)
{
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.request) {
        if (!parsed.error.isEmpty()) {
            PrintProblem(parsed.error);
            return Code(CliExit::BadArguments);
        }
        PrintOut(parsed.output);
        return Code(CliExit::Done);
    }
    return RunCommand(*parsed.request);
}

} // namespace navix
