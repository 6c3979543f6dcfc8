#include "cli_arguments.h"

#include "bus/baud_table.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <array>

namespace navix {

namespace {
constexpr int LowestTimeOutMs = 1;
constexpr int HighestTimeOutMs = 1000;

struct CommandInfo
{
    CliCommand command;
    const char *name;
    const char *arguments; // positional arguments in the usage line
    const char *description;
};

const std::array<CommandInfo, 8> Commands = {{
    {CliCommand::Ports, "ports", "",
     "Lists the COM numbers as the module tree does: the serial ports with their devices, the network ports\n"
     "the utility remembers with their addresses."},
    {CliCommand::Scan, "scan", "",
     "Searches the bus as the search window does (INIT probe, checksum retry, Tvr 5x, unknown types) and\n"
     "prints one line per module: address, type, model, configuration text, INIT, checksum, firmware, rate."},
    {CliCommand::Read, "read", "",
     "Prints one module's live data as its editor shows it. The module is looked for at every rate of the\n"
     "table unless --baud names one."},
    {CliCommand::Send, "send", "TEXT",
     "Sends one raw command (a CR is added) and prints the reply, or \"Time out !\", as the terminal does."},
    {CliCommand::Backup, "backup", "",
     "Scans the bus and writes a configuration file that the utility opens (File > Open)."},
    {CliCommand::Set, "set", "",
     "Writes one module's configuration with the rules of the editors (baud rate and checksum only in\n"
     "INIT, the new address must be free), then reads it back and verifies it. The module is looked for at\n"
     "every rate of the table."},
    {CliCommand::Compare, "compare", "",
     "Holds a configuration file against the bus: each module of the file is looked for at its address (at\n"
     "the file's rate, then at every rate) and a module in INIT at 00; one row per module says what differs.\n"
     "Writes nothing. Exit 0 when the bus holds the file, 1 when anything differs."},
    {CliCommand::Restore, "restore", "",
     "Compares as compare does, prints the plan and, once confirmed (or with --yes), writes the file's\n"
     "configuration to the modules that differ, one after the other, each through its editor's own turn and\n"
     "read back. A module of another type is never written, nor baud rate or checksum outside INIT; a module\n"
     "of the file's type in INIT at 00 takes the place of a missing one. Outputs are never touched."},
}};

const char *ToolDescription =
    "navix-cli: the Navix module bus from the command line, on the same engine as the utility.\n"
    "\n"
    "Usage: navix-cli COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  ports    list the COM ports: serial devices and network ports\n"
    "  scan     search the bus for modules (--baud all: at every rate)\n"
    "  read     one module's live data\n"
    "  send     one raw command and its reply\n"
    "  backup   scan and write a configuration file\n"
    "  set      change one module's configuration, read back and verified\n"
    "  compare  hold a configuration file against the bus\n"
    "  restore  write a configuration file back onto the modules\n"
    "\n"
    "Ports are named as in the tree (COM20, also the network ports the utility remembers, read from\n"
    "~/.config/navix/navix-utility.conf or the file NAVIX_SETTINGS names) or by device path (/dev/ttyUSB0).\n"
    "Every command takes --json (one JSON document on standard output) and --help. Exit codes: 0 done,\n"
    "1 nothing found or the module did not answer, 2 bad arguments, 3 the port could not be opened.\n";

std::optional<int> HexAddress(const QString &text)
{
    static const QRegularExpression hex("^[0-9A-Fa-f]{1,2}$");
    if (!hex.match(text).hasMatch())
        return std::nullopt;
    return text.toInt(nullptr, 16);
}

struct Problem
{
    QString text;
};

int TakeAddress(const QCommandLineParser &parser, const QString &option)
{
    const std::optional<int> address = HexAddress(parser.value(option));
    if (!address)
        throw Problem{QStringLiteral("--%1 wants a bus address of two hex digits (00 to FF), not \"%2\"")
                          .arg(option, parser.value(option))};
    return *address;
}

int TakeBaud(const QString &text)
{
    bool ok = false;
    const int baud = text.toInt(&ok);
    if (!ok || CodeOfBaud(baud) < 0)
        throw Problem{
            QStringLiteral("--baud wants a rate of the table (1200, 2400, 4800, 9600, 19200, 38400), "
                           "not \"%1\"")
                .arg(text)};
    return baud;
}
} // namespace

namespace {
// The options of one command; each command adds those it takes.
struct CommandOptions
{
    explicit CommandOptions(CliCommand command);
    void AddTo(QCommandLineParser &parser, CliCommand command) const;

    QCommandLineOption help{{"h", "help"}, "Shows this help."};
    QCommandLineOption json{"json", "Prints one JSON document instead of aligned text."};
    QCommandLineOption quiet{"quiet", "No progress on standard error (shown only where it is a terminal)."};
    QCommandLineOption port{"port", "The port: COM<n> as in the tree (serial or network), or a device path.",
                            "P"};
    QCommandLineOption timeOut{"timeout", "Reply time-out in ms, 1 to 1000 (default 100).", "MS", "100"};
    QCommandLineOption baud;
    QCommandLineOption from{"from", "First address, hex (default 00).", "AA", "00"};
    QCommandLineOption to{"to", "Last address, hex (default FF).", "AA", "FF"};
    QCommandLineOption address{"address", "The module's address, hex.", "AA"};
    QCommandLineOption newAddress{"new-address", "The new address, hex; it must be free.", "AA"};
    QCommandLineOption checksumSetting;
    QCommandLineOption format{"format", "Data format: engineering, percent, hex or ohms.", "F"};
    QCommandLineOption file;
    QCommandLineOption only{"only", "Only these addresses, hex, separated by commas (AA,BB).", "AA,..."};
    QCommandLineOption yes{"yes", "Writes without asking first."};
    QCommandLineOption dryRun{"dry-run", "Prints the commands a restore would send, and sends none."};
    QCommandLineOption raw{"raw", "Prints the reply as it came, with its checksum characters, unchecked."};
};

QString BaudHelp(CliCommand command)
{
    if (command == CliCommand::Set)
        return "The new baud rate (only in INIT).";
    if (command == CliCommand::Read)
        return "Look for the module at this rate only.";
    return "The line's rate (default 9600)" +
           QString(command == CliCommand::Send ? "." : ", or all for every rate.");
}

CommandOptions::CommandOptions(CliCommand command)
    : baud("baud", BaudHelp(command), "B"),
      checksumSetting("checksum",
                      command == CliCommand::Send
                          ? "Append the checksum; the reply's checksum is checked and left out."
                          : "Checksum use, on or off (only in INIT).",
                      command == CliCommand::Send ? QString() : QStringLiteral("on|off")),
      file("file", command == CliCommand::Backup ? "The configuration file to write." : "The configuration file.",
           "FILE")
{
}

void CommandOptions::AddTo(QCommandLineParser &parser, CliCommand command) const
{
    parser.addOptions({help, json, quiet});
    if (command != CliCommand::Ports)
        parser.addOptions({port, timeOut, baud});
    if (command == CliCommand::Scan || command == CliCommand::Backup)
        parser.addOptions({from, to});
    if (command == CliCommand::Read || command == CliCommand::Set)
        parser.addOption(address);
    if (command == CliCommand::Set)
        parser.addOptions({newAddress, format});
    if (command == CliCommand::Set || command == CliCommand::Send)
        parser.addOption(checksumSetting);
    if (command == CliCommand::Backup || command == CliCommand::Compare || command == CliCommand::Restore)
        parser.addOption(file);
    if (command == CliCommand::Restore)
        parser.addOptions({only, yes, dryRun});
    if (command == CliCommand::Send) {
        parser.addOption(raw);
        parser.addPositionalArgument("TEXT", "The command, for example $012.");
    }
}

// The port, the time-out and the rate of a command on the bus.
void TakeLine(const QCommandLineParser &parser, const CommandOptions &options, const CommandInfo &info,
              CliRequest &request)
{
    const CliCommand command = info.command;
    if (!parser.isSet(options.port))
        throw Problem{QStringLiteral("%1 needs --port (COM<n> or a device path)").arg(info.name)};
    request.port = parser.value(options.port);
    bool ok = false;
    request.timeOutMs = parser.value(options.timeOut).toInt(&ok);
    if (!ok || request.timeOutMs < LowestTimeOutMs || request.timeOutMs > HighestTimeOutMs)
        throw Problem{QStringLiteral("--timeout wants milliseconds from %1 to %2, not \"%3\"")
                          .arg(LowestTimeOutMs)
                          .arg(HighestTimeOutMs)
                          .arg(parser.value(options.timeOut))};
    const bool sweepable = command == CliCommand::Scan || command == CliCommand::Backup;
    if (parser.isSet(options.baud)) {
        if (sweepable && parser.value(options.baud) == "all")
            request.allRates = true;
        else if (command == CliCommand::Set)
            request.newBaud = TakeBaud(parser.value(options.baud));
        else
            request.baud = TakeBaud(parser.value(options.baud));
    } else if (command == CliCommand::Read || command == CliCommand::Set) {
        request.allRates = true;
    }
}

// What set changes: at least one of address, checksum use and data format (the rate comes with the line).
void TakeSettings(const QCommandLineParser &parser, const CommandOptions &options, CliRequest &request)
{
    if (parser.isSet(options.newAddress))
        request.newAddress = TakeAddress(parser, "new-address");
    if (parser.isSet(options.checksumSetting)) {
        const QString value = parser.value(options.checksumSetting);
        if (value != "on" && value != "off")
            throw Problem{QStringLiteral("--checksum wants on or off, not \"%1\"").arg(value)};
        request.checksum = value == "on";
    }
    if (parser.isSet(options.format)) {
        static const QStringList names = {"engineering", "percent", "hex", "ohms"};
        const qsizetype index = names.indexOf(parser.value(options.format));
        if (index < 0)
            throw Problem{QStringLiteral("--format wants engineering, percent, hex or ohms, not \"%1\"")
                              .arg(parser.value(options.format))};
        request.format = static_cast<DataFormat>(index);
    }
    if (!request.newAddress && !request.newBaud && !request.checksum && !request.format)
        throw Problem{"set needs at least one of --new-address, --baud, --checksum, --format"};
}

// Which modules a restore writes, and how.
void TakeRestoreChoices(const QCommandLineParser &parser, const CommandOptions &options, CliRequest &request)
{
    request.yes = parser.isSet(options.yes);
    request.dryRun = parser.isSet(options.dryRun);
    if (!parser.isSet(options.only))
        return;
    for (const QString &text : parser.value(options.only).split(',')) {
        const std::optional<int> address = HexAddress(text.trimmed());
        if (!address)
            throw Problem{QStringLiteral("--only wants bus addresses of two hex digits separated by commas, "
                                         "not \"%1\"")
                              .arg(parser.value(options.only))};
        request.only.append(*address);
    }
}

// The request the parsed options make; a Problem for the first option that is wrong or missing.
CliRequest TakeRequest(const QCommandLineParser &parser, const CommandOptions &options,
                       const CommandInfo &info)
{
    const CliCommand command = info.command;
    CliRequest request;
    request.command = command;
    request.json = parser.isSet(options.json);
    request.quiet = parser.isSet(options.quiet);
    if (command != CliCommand::Ports)
        TakeLine(parser, options, info, request);
    if (command == CliCommand::Scan || command == CliCommand::Backup) {
        request.first = TakeAddress(parser, "from");
        request.last = TakeAddress(parser, "to");
    }
    if (command == CliCommand::Read || command == CliCommand::Set) {
        if (!parser.isSet(options.address))
            throw Problem{QStringLiteral("%1 needs --address AA").arg(info.name)};
        request.address = TakeAddress(parser, "address");
    }
    if (command == CliCommand::Set)
        TakeSettings(parser, options, request);
    if (command == CliCommand::Send) {
        request.addChecksum = parser.isSet(options.checksumSetting);
        request.raw = parser.isSet(options.raw);
        const QStringList texts = parser.positionalArguments();
        if (texts.size() != 1 || texts.first().isEmpty())
            throw Problem{"send needs exactly one command TEXT, for example '$012'"};
        request.text = texts.first();
    } else if (!parser.positionalArguments().isEmpty()) {
        throw Problem{QStringLiteral("%1 takes no argument \"%2\"")
                          .arg(info.name, parser.positionalArguments().first())};
    }
    if (command == CliCommand::Backup || command == CliCommand::Compare || command == CliCommand::Restore) {
        if (!parser.isSet(options.file) || parser.value(options.file).isEmpty())
            throw Problem{QStringLiteral("%1 needs --file FILE").arg(info.name)};
        request.file = parser.value(options.file);
    }
    if (command == CliCommand::Restore)
        TakeRestoreChoices(parser, options, request);
    return request;
}
} // namespace

ParsedCommandLine ParseCommandLine(const QStringList &arguments)
{
    const QString commandName = arguments.value(1);
    if (arguments.size() < 2 || commandName == "--help" || commandName == "-h" || commandName == "help")
        return {std::nullopt, QString::fromLatin1(ToolDescription), {}};
    const CommandInfo *info = nullptr;
    for (const CommandInfo &candidate : Commands)
        if (commandName == QLatin1String(candidate.name))
            info = &candidate;
    if (!info)
        return {
            std::nullopt,
            {},
            QStringLiteral("unknown command \"%1\" (navix-cli --help lists the commands)").arg(commandName)};

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromLatin1(info->description));
    const CommandOptions options(info->command);
    options.AddTo(parser, info->command);
    QStringList rest = arguments.mid(2);
    rest.prepend(arguments.value(0));
    if (!parser.parse(rest))
        return {std::nullopt, {}, parser.errorText()};
    if (parser.isSet(options.help)) {
        QString text = parser.helpText();
        text.replace(QRegularExpression("^Usage: \\S+"),
                     QStringLiteral("Usage: navix-cli %1").arg(QLatin1String(info->name)));
        return {std::nullopt, text, {}};
    }
    try {
        return {TakeRequest(parser, options, *info), {}, {}};
    } catch (const Problem &problem) {
        return {std::nullopt, {}, problem.text};
    }
}

} // namespace navix
