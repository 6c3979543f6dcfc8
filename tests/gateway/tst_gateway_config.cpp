// The gateway's configuration file: a complete file read with its defaults and its secret, and every kind of
// mistake reported with its line and reason before anything of the file is used.

#include "gateway/gateway_config.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace navix;

namespace {
// A file the utility saved: a 4050 at 0A and a 4021 at 03.
const QByteArray ModuleFile = "4050,0A400600\r\nEND\r\n4021,03310600\r\nEND\r\n";

const QByteArray GoodFile = R"(name: line1
mqtt:
  port: 1884
  username: gw
  password_file: secret
  discovery: true
buses:
  - name: bus1
    port: COM20
    timeout_ms: 80
    modules: bus1.cfg
    writable: ["0a", "03"]
  - name: bus2
    port: 127.0.0.1:4001
    baud: 38400
    modules: bus1.cfg
    unit_offset: 100
modbus:
  listen: "[::1]:502"
)";
} // namespace

class GatewayConfigTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void completeFile();
    void mistakes_data();
    void mistakes();

private:
    void Write(const QString &name, const QByteArray &text);
    QTemporaryDir folder;
};

void GatewayConfigTest::Write(const QString &name, const QByteArray &text)
{
    QFile file(folder.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void GatewayConfigTest::initTestCase()
{
    QVERIFY(folder.isValid());
    Write("bus1.cfg", ModuleFile);
    Write("empty.cfg", "nothing of ours\r\n");
    Write("secret", "s3cret\n");
    Write("one.cfg", "4021,03310600\r\nEND\r\n");
}

void GatewayConfigTest::completeFile()
{
    Write("gateway.yaml", GoodFile);
    const GatewayConfigResult result = LoadGatewayConfig(folder.filePath("gateway.yaml"));
    QVERIFY2(result.config, qPrintable(result.reason));
    const GatewayConfig &config = *result.config;
    QCOMPARE(config.name, QString("line1"));
    QCOMPARE(config.mqtt.host, QString("127.0.0.1"));
    QCOMPARE(config.mqtt.port, 1884);
    QCOMPARE(config.mqtt.prefix, QString("navix"));
    QCOMPARE(config.mqtt.password, QByteArray("s3cret"));
    QVERIFY(config.mqtt.discovery);
    QCOMPARE(config.buses.size(), 2);
    QCOMPARE(config.buses[0].modules, folder.filePath("bus1.cfg"));
    QCOMPARE(config.buses[0].timeOutMs, 80);
    QCOMPARE(config.buses[0].baud, 9600);
    QCOMPARE(config.buses[0].writable, (QList<QByteArray>{"0A", "03"}));
    QCOMPARE(config.buses[1].baud, 38400);
    QCOMPARE(config.buses[1].timeOutMs, 100);
    QVERIFY(config.buses[1].writable.isEmpty());
    QCOMPARE(config.buses[1].unitOffset, 100);
    QVERIFY(config.modbus);
    QCOMPARE(config.modbus->host, QString("::1"));
    QCOMPARE(config.modbus->port, 502);
    QCOMPARE(config.modbus->maxClients, 8);
    // The section alone switches the server on, on loopback.
    const GatewayConfigResult bare = ParseGatewayConfig(
        "name: gw\nmodbus:\nbuses:\n  - name: bus1\n    port: COM20\n    modules: bus1.cfg\n", folder.path());
    QVERIFY2(bare.config && bare.config->modbus, qPrintable(bare.reason));
    QCOMPARE(bare.config->modbus->host, QString("127.0.0.1"));
    QCOMPARE(bare.config->modbus->port, 1502);
}

void GatewayConfigTest::mistakes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("reason");
    const QByteArray bus = "buses:\n  - name: bus1\n    port: COM20\n    modules: bus1.cfg\n";
    const auto row = [](const char *name, const QByteArray &text, int line, const QString &reason) {
        QTest::newRow(name) << text << line << reason;
    };
    row("unknown key", "name: gw\nnmae: x\n" + bus, 2, "unknown setting \"nmae\" in the file");
    row("unknown bus key", "name: gw\n" + bus + "    speed: 9600\n", 6, "unknown setting \"speed\" in a bus");
    row("no name", bus, 1, "name is missing");
    row("name with a topic separator", "name: a/b\n" + bus, 1,
        "name \"a/b\" may hold only letters, digits, \"_\", \".\" and \"-\"");
    row("no buses", "name: gw\n", 1, "buses is missing");
    row("baud not in the table", "name: gw\n" + bus + "    baud: 57600\n", 6,
        "bus bus1: baud must be a rate of the table (1200, 2400, 4800, 9600, 19200, 38400)");
    row("time-out too short", "name: gw\n" + bus + "    timeout_ms: 5\n", 6,
        "bus bus1: timeout_ms must be a whole number from 10 to 5000");
    row("port of no kind", "name: gw\nbuses:\n  - name: bus1\n    port: ttyUSB0\n    modules: bus1.cfg\n", 4,
        "bus bus1: port \"ttyUSB0\" is no device path, COM<n> or host:port");
    row("module file missing", "name: gw\nbuses:\n  - name: bus1\n    port: COM20\n    modules: no.cfg\n", 5,
        "bus bus1: modules " + folder.filePath("no.cfg") + " cannot be read");
    row("module file without modules",
        "name: gw\nbuses:\n  - name: bus1\n    port: COM20\n    modules: empty.cfg\n", 5,
        "bus bus1: modules " + folder.filePath("empty.cfg") + " holds no module");
    row("writable not hex", "name: gw\n" + bus + "    writable: [\"0G\"]\n", 6,
        "bus bus1: writable wants addresses of two hex digits, not \"0G\"");
    row("writable not in the file", "name: gw\n" + bus + "    writable: [\"0A\", \"0B\"]\n", 6,
        "bus bus1: writable: no module at 0B in the module file");
    row("two buses of one name",
        "name: gw\n" + bus + "  - name: bus1\n    port: COM21\n    modules: bus1.cfg\n", 6,
        "bus name bus1 is taken by another bus");
    row("two buses on one port",
        "name: gw\n" + bus + "  - name: bus2\n    port: com20\n    modules: bus1.cfg\n", 6,
        "port com20 is taken by bus bus1");
    row("password file unreadable", "name: gw\nmqtt:\n  username: gw\n  password_file: nothing\n" + bus, 4,
        "mqtt.password_file " + folder.filePath("nothing") + " cannot be read");
    row("password without user", "name: gw\nmqtt:\n  password_file: secret\n" + bus, 3,
        "mqtt.password_file needs mqtt.username");
    row("broker port", "name: gw\nmqtt:\n  port: 0\n" + bus, 3,
        "mqtt.port must be a whole number from 1 to 65535");
    const QByteArray one = "  - name: bus2\n    port: COM21\n    modules: one.cfg\n";
    row("unit offset too large", "name: gw\n" + bus + "    unit_offset: 248\n", 6,
        "bus bus1: unit_offset must be a whole number from 0 to 247");
    row("unit id past 247", "name: gw\nmodbus:\n" + bus + one + "    unit_offset: 245\n", 10,
        "bus bus2: a module's Modbus unit id 248 is outside 1 to 247 (unit_offset)");
    row("unit ids of two buses meet", "name: gw\nmodbus:\n" + bus + one, 7,
        "bus bus2: Modbus unit id 3 is taken by bus bus1 (unit_offset)");
    row("Modbus listens on a name", "name: gw\nmodbus:\n  listen: localhost:502\n" + bus, 3,
        "modbus.listen \"localhost:502\" must be an IP address and a port (127.0.0.1:1502)");
    row("Modbus without clients", "name: gw\nmodbus:\n  max_clients: 0\n" + bus, 3,
        "modbus.max_clients must be a whole number from 1 to 64");
    row("unknown Modbus key", "name: gw\nmodbus:\n  port: 502\n" + bus, 3,
        "unknown setting \"port\" in modbus");
    row("no YAML", "name: gw\nbuses: [\n", 3, "end of sequence flow not found");
}

void GatewayConfigTest::mistakes()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, reason);
    const GatewayConfigResult result = ParseGatewayConfig(text, folder.path());
    QVERIFY(!result.config);
    QCOMPARE(result.reason, reason);
    QCOMPARE(result.line, line);
    // No secret ever shows in a reason.
    QVERIFY(!result.reason.contains("s3cret"));
}

QTEST_GUILESS_MAIN(GatewayConfigTest)
#include "tst_gateway_config.moc"
