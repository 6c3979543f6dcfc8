// navix-cli as a script runs it: every command against a navix-sim process on a pseudo-terminal, every exit
// code, the JSON documents parsed and compared, a backup opened by the utility's loader, bad input of every
// kind answered with one line on standard error and exit code 2, and the same bus reached as a network port
// through ser2net under the COM number the utility remembers for it.

#include "bus/network_port_store.h"
#include "config/module_file.h"
#include "support/ser2net_process.h"
#include "support/sim_process.h"
#include "support/test_workspace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace navix;

namespace {
constexpr int RunBoundMs = 120000;
// The time-out of commands that a module answers. navix-sim and navix-cli built with the sanitizers on a busy
// machine miss a time-out of a few tens of milliseconds now and then, which drops a module from a scan; the
// program's default leaves them room. Commands to addresses where nobody answers keep shorter ones.
const QString AnswerTimeOutMs = QStringLiteral("100");

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject Json() const { return QJsonDocument::fromJson(out).object(); }
};

// What a scan of the demo bus from 00 to 14 finds: address, type, config, INIT, checksum, rate.
struct DemoModule
{
    const char *address;
    const char *type;
    const char *config;
    bool init;
    bool checksum;
    int baud;
};
const QList<DemoModule> DemoModules = {
    {"0B", "4513", "0B200500", false, false, 4800}, {"00", "4113", "00200600", true, false, 9600},
    {"01", "4013", "01200600", false, false, 9600}, {"02", "4017", "02080600", false, false, 9600},
    {"03", "4021", "03310600", false, false, 9600}, {"04", "4050", "04400600", false, false, 9600},
    {"05", "4052", "05400600", false, false, 9600}, {"07", "4113", "07200600", false, false, 9600},
    {"08", "4213", "08200600", false, false, 9600}, {"09", "4313", "09200600", false, false, 9600},
    {"0A", "4413", "0A200600", false, false, 9600}, {"0C", "4613", "0C200600", false, false, 9600},
    {"0D", "4152", "0D400600", false, false, 9600}, {"10", "20", "10200602", false, false, 9600},
    {"14", "4017", "14080640", false, true, 9600},  {"06", "4060", "06400700", false, false, 19200},
};
} // namespace

class NavixCliTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void scanFindsTheDemoBusAtEveryRate();
    void commandsAndExitCodes_data();
    void commandsAndExitCodes();
    void backupOpensInTheLoader();
    void setWritesAndVerifies();
    void compareAndRestore();
    void portThatCannotBeOpened();
    void networkPortThroughADeviceServer();
    void commandsOnRealAdapters_data();
    void commandsOnRealAdapters();

private:
    Run Cli(const QStringList &arguments,
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    QString Port() const { return QStringLiteral("COM%1").arg(sim.comNumber); }

    QTemporaryDir runtimeFolder;
    QString settingsFile;
    SimProcess sim;
};

void NavixCliTest::initTestCase()
{
    QVERIFY(UsePrivateRuntimeFolder(runtimeFolder));
    // The tool reads the network ports from the test's own settings, never from the user's.
    settingsFile = runtimeFolder.filePath("navix-utility.conf");
    qputenv("NAVIX_SETTINGS", QFile::encodeName(settingsFile));
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
    QVERIFY(sim.Start(runtimeFolder.path(), {"--frozen", "--close-grace", "-1"}));
}

Run NavixCliTest::Cli(const QStringList &arguments, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(NAVIX_CLI_PATH), arguments);
    Run run;
    if (!process.waitForFinished(RunBoundMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

void NavixCliTest::scanFindsTheDemoBusAtEveryRate()
{
    const Run run = Cli({"scan", "--port", Port(), "--baud", "all", "--from", "00", "--to", "14", "--timeout",
                         AnswerTimeOutMs, "--json"});
    QCOMPARE(run.exitCode, 0);
    // Standard error is no terminal here: no progress on it.
    QCOMPARE(run.err, QByteArray());
    const QJsonArray modules = run.Json()["modules"].toArray();
    QCOMPARE(modules.size(), DemoModules.size());
    for (qsizetype i = 0; i < modules.size(); ++i) {
        const QJsonObject module = modules[i].toObject();
        const DemoModule &expected = DemoModules[i];
        QCOMPARE(module["address"].toString(), QString(expected.address));
        QCOMPARE(module["type"].toString(), QString(expected.type));
        QCOMPARE(module["config"].toString(), QString(expected.config));
        QCOMPARE(module["init"].toBool(), expected.init);
        QCOMPARE(module["checksum"].toBool(), expected.checksum);
        QCOMPARE(module["baud"].toInt(), expected.baud);
        QCOMPARE(module["firmware"].toString(), QString("A1.3"));
    }
    QCOMPARE(modules[0].toObject()["caption"].toString(), QString(" (0B) PKR-02 @4800"));
    QCOMPARE(modules[1].toObject()["caption"].toString(), QString("*(00) N755 @9600"));
    QCOMPARE(modules[1].toObject()["model"].toString(), QString("N755"));
}

void NavixCliTest::commandsAndExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments"); // "PORT" stands for the simulator's port
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");   // a line standard output must hold ("" when empty)
    QTest::addColumn<QString>("error"); // standard error, in full ("" when empty)

    const auto row = [](const char *name, const QStringList &arguments, int exitCode, const QString &out,
                        const QString &error = {}) {
        QTest::newRow(name) << arguments << exitCode << out << error;
    };
    // Commands that reach modules, and those that find nothing.
    row("ports", {"ports"}, 0, "PORT  ");
    row("scan at 9600",
        {"scan", "--port", "PORT", "--from", "05", "--to", "07", "--timeout", AnswerTimeOutMs}, 0,
        "07    4113  N755   07200600  no    off       A1.3      9600");
    row("scan finds nothing", {"scan", "--port", "PORT", "--from", "30", "--to", "31", "--timeout", "20"}, 1,
        "ADDR  TYPE  MODEL  CONFIG  INIT  CHECKSUM  FIRMWARE  BAUD",
        "navix-cli: no module answered between 30 and 31 at 9600 Bd\n");
    row("read an analog input", {"read", "--port", "PORT", "--address", "0b", "--timeout", AnswerTimeOutMs},
        0, "4513 (0B) PKR-02 @4800, range AP 0-110kPa\nAbsolutni tlak  +040.70  Unit\n");
    row("read relays at 19200", {"read", "--port", "PORT", "--address", "06", "--timeout", AnswerTimeOutMs},
        0, "4060 (06) N720 @19200");
    row("read the Tvr 5x", {"read", "--port", "PORT", "--address", "10", "--baud", "9600"}, 0,
        QString::fromUtf8("Stack  141.9  \xC2\xB0"
                          "C"));
    row("read nobody", {"read", "--port", "PORT", "--address", "33", "--timeout", "10"}, 1, "",
        "navix-cli: no module answers at 33\n");
    row("send", {"send", "--port", "PORT", "$012"}, 0, "!01200600");
    row("send with checksum", {"send", "--port", "PORT", "--checksum", "$14M"}, 0, "!144017\n");
    row("send with checksum raw", {"send", "--port", "PORT", "--checksum", "--raw", "$14M"}, 0,
        "!14401752\n");
    // A module that uses no checksum answers without one: the last two characters are no checksum.
    row("send with checksum unchecked by the module", {"send", "--port", "PORT", "--checksum", "$012"}, 1, "",
        "navix-cli: Wrong checksum !\n");
    row("send at another rate", {"send", "--port", "PORT", "--baud", "19200", "$062"}, 0, "!06400700");
    row("send times out", {"send", "--port", "PORT", "$062"}, 1, "Time out !");
    // Help.
    row("tool help", {"--help"}, 0, "Usage: navix-cli COMMAND [options]");
    row("no command", {}, 0, "Usage: navix-cli COMMAND [options]");
    row("command help", {"set", "--help"}, 0, "Usage: navix-cli set [options]");
    // Bad arguments: one line, exit code 2, nothing touched.
    row("unknown command", {"erase"}, 2, "",
        "navix-cli: unknown command \"erase\" (navix-cli --help lists the commands)\n");
    row("unknown option", {"scan", "--port", "PORT", "--fast"}, 2, "", "navix-cli: Unknown option 'fast'.\n");
    row("no port", {"scan"}, 2, "", "navix-cli: scan needs --port (COM<n> or a device path)\n");
    // A port that is not there is no typing mistake (an adapter unplugged): exit code 3, the system's words.
    row("unknown port", {"scan", "--port", "COM254"}, 3, "",
        "navix-cli: cannot open COM254: No such file or directory (navix-cli ports lists the ports)\n");
    row("device gone", {"read", "--port", "/dev/navix-no-such-device", "--address", "01"}, 3, "",
        "navix-cli: cannot open /dev/navix-no-such-device: No such file or directory\n");
    row("port no name", {"send", "--port", "ttyUSB0", "$012"}, 2, "",
        "navix-cli: unknown port ttyUSB0: give COM<n> as the tree shows it, or a device path\n");
    row("address not hex", {"read", "--port", "PORT", "--address", "0G"}, 2, "",
        "navix-cli: --address wants a bus address of two hex digits (00 to FF), not \"0G\"\n");
    row("address too long", {"scan", "--port", "PORT", "--to", "100"}, 2, "",
        "navix-cli: --to wants a bus address of two hex digits (00 to FF), not \"100\"\n");
    row("no address", {"read", "--port", "PORT"}, 2, "", "navix-cli: read needs --address AA\n");
    row("restore without a file", {"restore", "--port", "PORT"}, 2, "", "navix-cli: restore needs --file FILE\n");
    row("restore only a bad address", {"restore", "--port", "PORT", "--file", "x.cfg", "--only", "01,1G"}, 2, "",
        "navix-cli: --only wants bus addresses of two hex digits separated by commas, not \"01,1G\"\n");
    row("compare an unreadable file", {"compare", "--port", "PORT", "--file", "/nonexistent/x.cfg"}, 2, "",
        "navix-cli: cannot read /nonexistent/x.cfg\n");
    row("baud not in the table", {"scan", "--port", "PORT", "--baud", "57600"}, 2, "",
        "navix-cli: --baud wants a rate of the table (1200, 2400, 4800, 9600, 19200, 38400), not "
        "\"57600\"\n");
    row("all rates for one command", {"send", "--port", "PORT", "--baud", "all", "$012"}, 2, "",
        "navix-cli: --baud wants a rate of the table (1200, 2400, 4800, 9600, 19200, 38400), not \"all\"\n");
    row("time-out out of range", {"scan", "--port", "PORT", "--timeout", "0"}, 2, "",
        "navix-cli: --timeout wants milliseconds from 1 to 1000, not \"0\"\n");
    row("send without text", {"send", "--port", "PORT"}, 2, "",
        "navix-cli: send needs exactly one command TEXT, for example '$012'\n");
    row("stray argument", {"scan", "--port", "PORT", "extra"}, 2, "",
        "navix-cli: scan takes no argument \"extra\"\n");
    row("set without a change", {"set", "--port", "PORT", "--address", "01"}, 2, "",
        "navix-cli: set needs at least one of --new-address, --baud, --checksum, --format\n");
    row("checksum neither on nor off", {"set", "--port", "PORT", "--address", "01", "--checksum", "yes"}, 2,
        "", "navix-cli: --checksum wants on or off, not \"yes\"\n");
    row("unknown format", {"set", "--port", "PORT", "--address", "01", "--format", "bcd"}, 2, "",
        "navix-cli: --format wants engineering, percent, hex or ohms, not \"bcd\"\n");
    row("backup without file", {"backup", "--port", "PORT"}, 2, "", "navix-cli: backup needs --file FILE\n");
    // The editors' rules.
    row("baud outside INIT", {"set", "--port", "PORT", "--address", "01", "--baud", "19200"}, 2, "",
        "navix-cli: the baud rate and checksum use change only in INIT: wire the module's INIT terminal "
        "first\n");
    row("checksum outside INIT", {"set", "--port", "PORT", "--address", "05", "--checksum", "on"}, 2, "",
        "navix-cli: the baud rate and checksum use change only in INIT: wire the module's INIT terminal "
        "first\n");
    row("address in use",
        {"set", "--port", "PORT", "--address", "01", "--new-address", "0B", "--timeout", AnswerTimeOutMs}, 2,
        "", "navix-cli: Invalid address ! (4513 answers at 0B)\n");
    row("format a relay lacks", {"set", "--port", "PORT", "--address", "06", "--format", "hex"}, 2, "",
        "navix-cli: a 4060 has no such data format\n");
}

void NavixCliTest::commandsAndExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, error);
    arguments.replaceInStrings(QRegularExpression("^PORT$"), Port());
    out.replace("PORT", Port());
    const Run run = Cli(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(QString::fromUtf8(run.err), error);
    if (out.isEmpty())
        QCOMPARE(run.out, QByteArray());
    else
        QVERIFY2(QString::fromUtf8(run.out).contains(out), run.out.constData());
    // The same command with --json prints one JSON document, also where it found nothing.
    if (exitCode != 2 && !arguments.isEmpty() && !arguments.contains("--help") &&
        arguments.first() != "--help") {
        const Run json = Cli(QStringList(arguments) << "--json");
        QCOMPARE(json.exitCode, exitCode);
        QJsonParseError parseError;
        QJsonDocument::fromJson(json.out, &parseError);
        QVERIFY2(parseError.error == QJsonParseError::NoError, json.out.constData());
    }
}

void NavixCliTest::backupOpensInTheLoader()
{
    const QString file = runtimeFolder.filePath("bus");
    const Run run = Cli({"backup", "--port", Port(), "--baud", "all", "--from", "00", "--to", "14",
                         "--timeout", AnswerTimeOutMs, "--file", file, "--json"});
    QCOMPARE(run.exitCode, 0);
    const QJsonArray found = run.Json()["modules"].toArray();
    QCOMPARE(run.Json()["file"].toString(), file + ".cfg");

    // The utility's loader gives back the modules the scan found, each with its configuration.
    TestWorkspace workspace;
    ModuleFileLoad load;
    QVERIFY(load.Open(file + ".cfg"));
    while (load.Step(workspace) == LoadStep::Loading) {
    }
    QStringList loaded;
    workspace.modules.ForEach([&](const ModuleRecordPtr &record) {
        loaded.append(FromWire(record->typeId == "20" ? QByteArray("4013") : record->typeId) + "," +
                      FromWire(record->config));
    });
    QStringList scanned;
    for (const QJsonValue &module : found) {
        const QString type = module["type"].toString();
        scanned.append((type == "20" ? "4013" : type) + "," + module["config"].toString());
    }
    loaded.sort();
    scanned.sort();
    QCOMPARE(loaded, scanned);
    QCOMPARE(loaded.size(), DemoModules.size());

    const Run nothing = Cli({"backup", "--port", Port(), "--from", "30", "--to", "30", "--timeout", "10",
                             "--file", runtimeFolder.filePath("empty")});
    QCOMPARE(nothing.exitCode, 1);
    QVERIFY(!QFileInfo::exists(runtimeFolder.filePath("empty.cfg")));
}

void NavixCliTest::setWritesAndVerifies()
{
    // A bus of its own: the moves below would change the shared one for the functions after this.
    SimProcess own;
    QVERIFY(own.Start(runtimeFolder.path(), {"--frozen", "--close-grace", "-1"}));
    const QString port = QStringLiteral("COM%1").arg(own.comNumber);

    // An address move, read back at the new address.
    Run run = Cli({"set", "--port", port, "--address", "09", "--new-address", "2A", "--format", "percent",
                   "--timeout", AnswerTimeOutMs, "--json"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.Json()["new"].toString(), QString("2A200601"));
    QCOMPARE(run.Json()["readBack"].toString(), QString("2A200601"));
    QVERIFY(run.Json()["verified"].toBool());
    QCOMPARE(Cli({"send", "--port", port, "$2A2"}).out, QByteArray("!2A200601\n"));

    // In INIT the rate and checksum change; the module then talks at its new rate.
    run = Cli({"set", "--port", port, "--address", "00", "--baud", "38400", "--checksum", "on", "--timeout",
               AnswerTimeOutMs, "--json"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.Json()["new"].toString(), QString("00200840"));
    QCOMPARE(run.Json()["baud"].toInt(), 38400);
    QVERIFY(run.Json()["verified"].toBool());
    QCOMPARE(Cli({"send", "--port", port, "$002"}).exitCode, 1);
    QCOMPARE(Cli({"send", "--port", port, "--baud", "38400", "$002"}).out, QByteArray("!00200840\n"));
}

void NavixCliTest::portThatCannotBeOpened()
{
    // A device path that exists but is no serial line: the system's reason, exit code 3.
    const QString notALine = runtimeFolder.filePath("not-a-line");
    QFile file(notALine);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const Run run = Cli({"send", "--port", notALine, "$012"});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.startsWith("navix-cli: cannot open " + notALine.toUtf8() + ": "), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);

    // A COM number whose registered link has lost its device (a simulator stopped, an adapter unplugged).
    const QString ports = runtimeFolder.filePath("navix/ports");
    QVERIFY(QDir().mkpath(ports));
    QVERIFY(QFile::link(runtimeFolder.filePath("gone"), ports + "/COM77"));
    const Run stale = Cli({"send", "--port", "COM77", "$012"});
    QCOMPARE(stale.exitCode, 3);
    QCOMPARE(QString::fromUtf8(stale.err),
             "navix-cli: cannot open COM77: " + ports + "/COM77: No such file or directory\n");
    QVERIFY(QFile::remove(ports + "/COM77"));

    // Started where no runtime folder is set (cron, su, a service), the tool's own line is all on stderr.
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    bare.remove("XDG_RUNTIME_DIR");
    bare.insert("TMPDIR", runtimeFolder.path());
    const Run unset = Cli({"send", "--port", "/dev/navix-no-such-device", "$012"}, bare);
    QCOMPARE(unset.exitCode, 3);
    QCOMPARE(unset.err,
             QByteArray("navix-cli: cannot open /dev/navix-no-such-device: No such file or directory\n"));
}

void NavixCliTest::compareAndRestore()
{
    // The bus as it stands, its replies in pieces; the file as it was saved.
    QFile bus(runtimeFolder.filePath("changed-bus.txt"));
    QVERIFY(bus.open(QIODevice::WriteOnly));
    bus.write("4013  01200601\n"       // data format changed
              "4017  02090600\n"       // range changed
              "4050  20400600  init\n" // a spare out of the box; the file's 4050 at 04 is gone
              "4060  06400600\n"       // where the file has a 4050
              "4052  05400700\n"       // at 19200, not in INIT
              "4113  07200600\n"       // takes no other range: refuses the file's
              "4017  14080640\n");     // checksums, range changed
    bus.close();
    QFile file(runtimeFolder.filePath("saved.cfg"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("4013,01200600\r\nEND\r\n4017,02080600\r\nEND\r\n4050,04400600\r\nEND\r\n4050,06400600\r\nEND\r\n"
               "4052,05400600\r\nEND\r\n4113,07210600\r\nEND\r\n4017,14090640\r\nEND\r\n");
    file.close();
    SimProcess own;
    QVERIFY(own.Start(runtimeFolder.path(), {"--bus", bus.fileName(), "--split", "--control", "--trace", "--close-grace", "-1"}));
    const QStringList line{"--port", QStringLiteral("COM%1").arg(own.comNumber), "--file", file.fileName(),
                           "--timeout", AnswerTimeOutMs, "--json"};
    const auto rows = [](const Run &run, const QString &field) {
        QStringList texts;
        for (const QJsonValue &module : run.Json()["modules"].toArray()) {
            const QJsonValue value = module[field];
            texts.append(module["address"].toString() + " " +
                         (value.isArray() ? value.toVariant().toStringList().join(",") : value.toString()));
        }
        return texts;
    };

    const Run before = Cli(QStringList{"compare"} + line);
    QCOMPARE(before.exitCode, 1);
    QCOMPARE(rows(before, "differences"),
             QStringList({"01 data format", "02 range", "04 in INIT", "05 baud rate",
                          "06 another type at this address", "07 range", "14 range"}));
    const Run planned = Cli(QStringList{"restore", "--dry-run"} + line);
    QCOMPARE(planned.out, QByteArray("%0101200600\n%0202080600\n%0004400600\n%0707210600\n%141409064022\n"));
    // Neither the compare nor the plan wrote anything: up to the last read of each (the spare asked for its
    // configuration at 00) the modules heard no configuration command.
    QByteArray heard;
    QVERIFY(QTest::qWaitFor(
        [&] { return heard.append(own.process.readAllStandardError()).count("$002<CR>") == 2; }, 5000));
    QVERIFY(!heard.contains("  %"));

    const Run restore = Cli(QStringList{"restore", "--yes", "--only", "01,02,04,05,06,07,14"} + line);
    QCOMPARE(restore.exitCode, 1);
    QCOMPARE(rows(restore, "result"),
             QStringList({"01 done", "02 done", "04 done", "05 needs INIT for baud rate or checksum",
                          "06 not written", "07 refused by the module", "14 done"}));
    QCOMPARE(restore.Json()["hint"].toString(), QString("Remove the INIT wire and power the module up again"));

    // The spare still answers in INIT until it is powered up without its INIT wire; then it is the module
    // the file knows, at its address.
    const Run inInit = Cli(QStringList{"compare"} + line);
    QCOMPARE(rows(inInit, "differences"),
             QStringList({"01 ", "02 ", "04 in INIT", "05 baud rate", "06 another type at this address",
                          "07 range", "14 "}));
    own.process.write("power-up\n");
    QByteArray confirmed;
    QVERIFY(QTest::qWaitFor(
        [&] { return confirmed.append(own.process.readAllStandardOutput()).contains("navix-sim: power-up\n"); },
        5000));
    const Run after = Cli(QStringList{"compare"} + line);
    QCOMPARE(rows(after, "differences"),
             QStringList({"01 ", "02 ", "04 ", "05 baud rate", "06 another type at this address", "07 range",
                          "14 "}));
}

void NavixCliTest::networkPortThroughADeviceServer()
{
    const QString ser2net = Ser2Net::FindProgram();
    if (ser2net.isEmpty())
        QSKIP("ser2net is not installed (Debian package ser2net; scripts/install-deps installs it)");
    Ser2Net server(ser2net, runtimeFolder.path());
    const quint16 tcpPort = FreeTcpPort();
    QVERIFY2(server.Start(sim.device, tcpPort), qPrintable(server.Output()));
    const quint16 deadPort = FreeTcpPort();
    // The utility has remembered two network ports: the server, and one where nothing listens.
    constexpr int ServerNumber = 40;
    constexpr int DeadNumber = 41;
    const QString address = QStringLiteral("127.0.0.1:%1").arg(tcpPort);
    const QString deadAddress = QStringLiteral("127.0.0.1:%1").arg(deadPort);
    NetworkPortStore(settingsFile)
        .Save({{ServerNumber, *NetworkAddress::FromText(address)},
               {DeadNumber, *NetworkAddress::FromText(deadAddress)}});

    // Listed beside the serial ports, with their numbers and addresses.
    Run run = Cli({"ports"});
    QCOMPARE(run.exitCode, 0);
    const QRegularExpression serverLine(
        QStringLiteral("(^|\\n)COM40 +%1 +network\\n").arg(QRegularExpression::escape(address)));
    QVERIFY2(QString::fromUtf8(run.out).contains(serverLine), run.out.constData());
    run = Cli({"ports", "--json"});
    const QJsonArray ports = run.Json()["ports"].toArray();
    QJsonObject listed;
    QString simKind;
    for (const QJsonValue &port : ports) {
        if (port["number"].toInt() == ServerNumber)
            listed = port.toObject();
        if (port["number"].toInt() == sim.comNumber)
            simKind = port["kind"].toString();
    }
    QCOMPARE(simKind, QString("serial"));
    QCOMPARE(listed,
             (QJsonObject{
                 {"name", "COM40"}, {"number", ServerNumber}, {"address", address}, {"kind", "network"}}));

    // scan, read and send through the network COM number reach the modules behind the server.
    run = Cli({"scan", "--port", "COM40", "--from", "01", "--to", "03", "--timeout", "200", "--json"});
    QCOMPARE(run.exitCode, 0);
    QStringList configs;
    for (const QJsonValue &module : run.Json()["modules"].toArray())
        configs.append(module["config"].toString());
    QCOMPARE(configs, (QStringList{"01200600", "02080600", "03310600"}));
    run = Cli({"read", "--port", "COM40", "--address", "05", "--baud", "9600", "--timeout", "200", "--json"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.Json()["type"].toString(), QString("4052"));
    QVERIFY(run.Json()["answered"].toBool());
    run = Cli({"send", "--port", "COM40", "--timeout", "200", "$012"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("!01200600\n"));

    // A server that cannot be reached: the reason, exit code 3.
    run = Cli({"send", "--port", "COM41", "$012"});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(
        run.err.startsWith(QStringLiteral("navix-cli: cannot open COM41: %1: ").arg(deadAddress).toUtf8()),
        run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    NetworkPortStore(settingsFile).Save({});
}

void NavixCliTest::commandsOnRealAdapters_data()
{
    // How a line hands replies over: in pieces at the line's pace, or held by a USB adapter's latency timer.
    QTest::addColumn<QStringList>("line");
    QTest::newRow("replies in pieces") << QStringList{"--split", "--line-timing"};
    QTest::newRow("adapter latency 16 ms") << QStringList{"--adapter-latency", "16", "--line-timing"};
}

void NavixCliTest::commandsOnRealAdapters()
{
    QFETCH(QStringList, line);
    // A bus of this case's own, so that the address it moves is where the case expects it.
    SimProcess adapter;
    QVERIFY(adapter.Start(runtimeFolder.path(), QStringList{"--frozen", "--close-grace", "-1"} + line));
    const QString port = QStringLiteral("COM%1").arg(adapter.comNumber);

    Run run =
        Cli({"scan", "--port", port, "--from", "00", "--to", "07", "--timeout", AnswerTimeOutMs, "--json"});
    QCOMPARE(run.exitCode, 0);
    QStringList configs;
    for (const QJsonValue &module : run.Json()["modules"].toArray())
        configs.append(module["config"].toString() + "/" + module["firmware"].toString());
    QCOMPARE(configs, (QStringList{"00200600/A1.3", "01200600/A1.3", "02080600/A1.3", "03310600/A1.3",
                                   "04400600/A1.3", "05400600/A1.3", "07200600/A1.3"}));

    run = Cli({"read", "--port", port, "--address", "02", "--baud", "9600", "--timeout", AnswerTimeOutMs});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains("4017 (02) N770 @9600, range +/-  10 V\nVstup 1  +01.000  V\n"),
             run.out.constData());
    QCOMPARE(run.out.count('\n'), 9);

    QCOMPARE(Cli({"send", "--port", port, "$012"}).out, QByteArray("!01200600\n"));
    QCOMPARE(Cli({"send", "--port", port, "--checksum", "$14M"}).out, QByteArray("!144017\n"));

    run = Cli({"set", "--port", port, "--address", "09", "--new-address", "2B", "--timeout", AnswerTimeOutMs,
               "--json"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.Json()["readBack"].toString(), QString("2B200600"));

    const QString file = runtimeFolder.filePath(QStringLiteral("adapter-%1").arg(QTest::currentDataTag()));
    run = Cli({"backup", "--port", port, "--from", "00", "--to", "05", "--timeout", AnswerTimeOutMs, "--file",
               file, "--quiet"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("6 module(s) written to " + file.toUtf8() + ".cfg\n"));
}

QTEST_GUILESS_MAIN(NavixCliTest)
#include "tst_navix_cli.moc"
