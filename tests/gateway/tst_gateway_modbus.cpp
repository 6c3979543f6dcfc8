// navix-gateway's Modbus TCP server against navix-sim with replies in pieces, asked as a PLC would with
// QModbusTcpClient on loopback (and once with mbpoll): a 4017's inputs in both blocks as the module sent
// them, a 4052's inputs and a 4050's coils, a coil write that reaches the module and is read back, a write to
// a module that may not be written refused with nothing on the wire, a dead module's unit answering 0x0B,
// eight clients at once while the bus is polled, connections past max_clients and frames that are no Modbus
// closed, a reload that keeps the server for a changed bus and starts it anew for a changed section, and a
// port taken at the start listened on once it is free.

#include "gateway_test_bus.h"
#include "support/free_port.h"
#include "support/sim_process.h"

#include <QModbusDataUnit>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <bit>
#include <csignal>
#include <functional>
#include <memory>

using namespace navix;

namespace {
constexpr int BoundMs = 20000;
// Requests each of the eight clients sends, one after the other, while the bus is polled.
constexpr int RequestsPerClient = 500;

// The Modbus test bus: the gateway tests' bus with a 4017 (unit 2) and a second 4050 (unit 6) that may not be
// written. The 4013 at 01 never answers.
const QByteArray BusFile = SimBusFile + "4017 02080600\n4050 06400600\n";
const QByteArray Modules = ModuleFile + "4017,02080600\r\nEND\r\n4050,06400600\r\nEND\r\n";

struct Read
{
    QModbusDevice::Error error = QModbusDevice::TimeoutError;
    QModbusPdu::ExceptionCode exception = QModbusPdu::ExtendedException;
    QList<quint16> values;
};

// One request's answer, waited for.
Read Wait(QModbusReply *reply)
{
    Read read;
    if (!reply)
        return read;
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, BoundMs))
        return read;
    read.error = reply->error();
    // The exception code is the response's only data byte. Not through exceptionCode(): QModbusTcpClient of
    // Qt 6.4 stores an exception's function code sign-extended, which that call loads as no valid enum value.
    if (read.error == QModbusDevice::ProtocolError && reply->rawResult().data().size() == 1)
        read.exception = QModbusPdu::ExceptionCode(static_cast<quint8>(reply->rawResult().data()[0]));
    read.values = reply->result().values();
    reply->deleteLater();
    return read;
}

QModbusDataUnit Unit(QModbusDataUnit::RegisterType type, int start, int count)
{
    return QModbusDataUnit(type, start, static_cast<quint16>(count));
}

QModbusDataUnit Coil(int address, bool on)
{
    QModbusDataUnit unit(QModbusDataUnit::Coils, address, 1);
    unit.setValue(0, on ? 1 : 0);
    return unit;
}
} // namespace

class GatewayModbusTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void readsServedFromThePolledValues();
    void coilWritesAndRefusals();
    void eightClientsWhileTheBusIsPolled();
    void framingAndMaxClients();
    void mbpollReadsTheSameRegisters();
    void reloadKeepsOrRestartsTheServer();
    void portTakenAtTheStartIsTakenLater();

private:
    std::unique_ptr<QModbusTcpClient> Connect();
    Read Ask(QModbusTcpClient &client, const QModbusDataUnit &unit, int unitId)
    {
        return Wait(client.sendReadRequest(unit, unitId));
    }
    QByteArray SimTrace();
    void WriteConfig(int timeOutMs, const QString &modbusExtra);
    // Sends SIGHUP and waits until the gateway has taken the file.
    void Reload();
    // The writes to the 4050s in the trace (the 4017's channel reads look like writes too).
    QStringList WritesTo4050s() { return OutputWrites(SimTrace()).filter(QRegularExpression("^#0[A6]")); }

    QTemporaryDir folder;
    std::unique_ptr<SimProcess> sim;
    QByteArray simLog;
    QProcess gateway;
    quint16 port = 0;
    quint16 mqttPort = 0;
    QByteArray gatewayLog;
};

void GatewayModbusTest::initTestCase()
{
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
    QVERIFY(UsePrivateRuntimeFolder(folder));
    qputenv("NAVIX_SETTINGS", QFile::encodeName(folder.filePath("navix-utility.conf")));
    for (const auto &[name, text] : {std::pair{"bus.txt", BusFile}, std::pair{"bus1.cfg", Modules}}) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
}

void GatewayModbusTest::init()
{
    simLog.clear();
    gatewayLog.clear();
    sim = std::make_unique<SimProcess>();
    QVERIFY(sim->Start(folder.path(), {"--bus", folder.filePath("bus.txt"), "--trace", "--frozen", "--split",
                                       "--control", "--close-grace", "-1"}));
    port = FreeTcpPort();
    mqttPort = FreeTcpPort();
    WriteConfig(50, {});
    gateway.setProcessChannelMode(QProcess::SeparateChannels);
    gateway.start(QStringLiteral(NAVIX_GATEWAY_PATH), {"--config", folder.filePath("gateway.yaml")});
    QVERIFY(gateway.waitForStarted(BoundMs));
}

void GatewayModbusTest::cleanup()
{
    if (QTest::currentTestFailed())
        qWarning().noquote() << (gatewayLog + gateway.readAllStandardError()).right(4000);
    if (gateway.state() != QProcess::NotRunning) {
        gateway.kill();
        gateway.waitForFinished(BoundMs);
    }
    sim.reset();
}

void GatewayModbusTest::WriteConfig(int timeOutMs, const QString &modbusExtra)
{
    // No broker listens on the MQTT port: the gateway keeps trying in the background, the Modbus side does
    // not depend on it.
    QFile config(folder.filePath("gateway.yaml"));
    QVERIFY(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
    config.write(QStringLiteral("name: modbus\nmqtt:\n  port: %1\nbuses:\n  - name: bus1\n    port: COM%2\n"
                                "    timeout_ms: %3\n    modules: bus1.cfg\n    writable: [\"0A\", \"03\"]\n"
                                "modbus:\n  listen: 127.0.0.1:%4\n%5")
                     .arg(mqttPort)
                     .arg(sim->comNumber)
                     .arg(timeOutMs)
                     .arg(port)
                     .arg(modbusExtra)
                     .toUtf8());
}

QByteArray GatewayModbusTest::SimTrace()
{
    simLog += sim->process.readAllStandardError();
    return simLog;
}

// A client connected once the gateway listens and the 4017 and the 4050 at 0A have been read.
std::unique_ptr<QModbusTcpClient> GatewayModbusTest::Connect()
{
    auto client = std::make_unique<QModbusTcpClient>();
    client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
    client->setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    client->setTimeout(BoundMs / 4);
    client->setNumberOfRetries(0);
    const bool connected = QTest::qWaitFor(
        [&] {
            if (client->state() == QModbusDevice::UnconnectedState)
                client->connectDevice();
            return client->state() == QModbusDevice::ConnectedState;
        },
        BoundMs);
    const bool read =
        connected &&
        QTest::qWaitFor(
            [&] {
                return Ask(*client, Unit(QModbusDataUnit::InputRegisters, 0, 1), 2).error ==
                           QModbusDevice::NoError &&
                       Ask(*client, Unit(QModbusDataUnit::Coils, 0, 1), 10).error == QModbusDevice::NoError;
            },
            BoundMs);
    if (!read)
        qWarning() << "the gateway did not serve the modules within" << BoundMs << "ms";
    return client;
}

void GatewayModbusTest::readsServedFromThePolledValues()
{
    const auto client = Connect();
    // The 4017's readings as the module sent them, in the simulator's trace.
    static const QRegularExpression channelReply("#02([0-7])<CR>  ->  >([+-][0-9.]+)<CR>");
    QMap<int, QString> sent;
    for (auto match = channelReply.globalMatch(QString::fromLatin1(SimTrace())); match.hasNext();) {
        const auto found = match.next();
        sent[found.captured(1).toInt()] = found.captured(2);
    }
    QCOMPARE(sent.size(), 8);
    const Read scaled = Ask(*client, Unit(QModbusDataUnit::InputRegisters, 0, 8), 2);
    const Read floats = Ask(*client, Unit(QModbusDataUnit::InputRegisters, 1000, 16), 2);
    QCOMPARE(scaled.error, QModbusDevice::NoError);
    QCOMPARE(floats.error, QModbusDevice::NoError);
    for (int channel = 0; channel < 8; ++channel) {
        QString digits = sent[channel];
        digits.remove('.');
        QCOMPARE(static_cast<qint16>(scaled.values[channel]), static_cast<qint16>(digits.toInt()));
        const quint32 bits = quint32(floats.values[2 * channel]) << 16 | floats.values[2 * channel + 1];
        QCOMPARE(std::bit_cast<float>(bits), sent[channel].toFloat());
    }
    QCOMPARE(Ask(*client, Unit(QModbusDataUnit::InputRegisters, 0, 9), 2).exception,
             QModbusPdu::IllegalDataAddress);

    // Inputs set on the 4052 reach its discrete inputs with its next poll. The 4050's outputs are its coils
    // (all off); its inputs are no points of the gateway, so it has no discrete inputs.
    sim->process.write("inputs 05 45\n");
    QTRY_COMPARE_WITH_TIMEOUT(Ask(*client, Unit(QModbusDataUnit::DiscreteInputs, 0, 8), 5).values,
                              (QList<quint16>{1, 0, 1, 0, 0, 0, 1, 0}), BoundMs);
    QCOMPARE(Ask(*client, Unit(QModbusDataUnit::Coils, 0, 8), 10).values, QList<quint16>(8, 0));
    QCOMPARE(Ask(*client, Unit(QModbusDataUnit::DiscreteInputs, 0, 1), 10).exception,
             QModbusPdu::IllegalDataAddress);

    // The 4013 never answered: its unit says the target failed to respond, and so does a unit with no
    // module; its status block tells why.
    QTRY_COMPARE_WITH_TIMEOUT(Ask(*client, Unit(QModbusDataUnit::HoldingRegisters, 1000, 1), 1).values,
                              QList<quint16>{3}, BoundMs);
    QCOMPARE(Ask(*client, Unit(QModbusDataUnit::InputRegisters, 0, 1), 1).exception,
             QModbusPdu::GatewayTargetDeviceFailedToRespond);
    QCOMPARE(Ask(*client, Unit(QModbusDataUnit::InputRegisters, 0, 1), 99).exception,
             QModbusPdu::GatewayTargetDeviceFailedToRespond);
}

void GatewayModbusTest::coilWritesAndRefusals()
{
    const auto client = Connect();
    const Read written = Wait(client->sendWriteRequest(Coil(2, true), 10));
    QCOMPARE(written.error, QModbusDevice::NoError);
    // The answer came after the read-back: the write is on the wire and the coil reads back set at once.
    QCOMPARE(WritesTo4050s(), QStringList{"#0A1201"});
    QCOMPARE(Ask(*client, Unit(QModbusDataUnit::Coils, 0, 8), 10).values,
             (QList<quint16>{0, 0, 1, 0, 0, 0, 0, 0}));

    // The 4050 at 06 is not writable: refused with 0x04, and the polls that follow write nothing.
    const Read refused = Wait(client->sendWriteRequest(Coil(2, true), 6));
    QCOMPARE(refused.exception, QModbusPdu::ServerDeviceFailure);
    const qsizetype seen = SimTrace().count("$066<CR>");
    QTRY_VERIFY_WITH_TIMEOUT(SimTrace().count("$066<CR>") >= seen + 2, BoundMs);
    QCOMPARE(WritesTo4050s(), QStringList{"#0A1201"});
    // A dead module is not written either, whatever is asked of it.
    QCOMPARE(Wait(client->sendWriteRequest(Coil(0, true), 1)).exception,
             QModbusPdu::GatewayTargetDeviceFailedToRespond);
}

void GatewayModbusTest::eightClientsWhileTheBusIsPolled()
{
    struct Client
    {
        ~Client()
        {
            // A client going away fails its open request: no next one then.
            closing = true;
            modbus.reset();
        }
        std::unique_ptr<QModbusTcpClient> modbus;
        bool closing = false;
        int sent = 0;
        int right = 0;
        QStringList wrong;
    };
    std::vector<Client> clients(8);
    for (Client &client : clients)
        client.modbus = Connect();
    QModbusTcpClient &reference = *clients.front().modbus;
    // What every answer must be: the requests of a single client first.
    const QList<std::pair<int, QModbusDataUnit>> requests{
        {2, Unit(QModbusDataUnit::InputRegisters, 0, 8)},
        {2, Unit(QModbusDataUnit::InputRegisters, 1000, 16)},
        {10, Unit(QModbusDataUnit::Coils, 0, 8)},
        {5, Unit(QModbusDataUnit::DiscreteInputs, 0, 8)},
        {3, Unit(QModbusDataUnit::HoldingRegisters, 0, 1)},
    };
    QList<QList<quint16>> expected;
    for (const auto &[unitId, unit] : requests) {
        const Read read = Ask(reference, unit, unitId);
        QCOMPARE(read.error, QModbusDevice::NoError);
        expected.append(read.values);
    }
    const qsizetype pollsBefore = SimTrace().count("#020<CR>");

    std::function<void(Client &)> next = [&](Client &client) {
        if (client.sent == RequestsPerClient)
            return;
        // Each client walks through the requests from its own place, so that all of them are asked at once.
        const int kind = static_cast<int>((client.sent + (&client - clients.data())) % requests.size());
        ++client.sent;
        QModbusReply *reply = client.modbus->sendReadRequest(requests[kind].second, requests[kind].first);
        QVERIFY(reply);
        Client *owner = &client;
        connect(reply, &QModbusReply::finished, this, [&next, &expected, owner, reply, kind] {
            reply->deleteLater();
            if (owner->closing)
                return;
            if (reply->error() == QModbusDevice::NoError && reply->result().values() == expected[kind])
                ++owner->right;
            else
                owner->wrong.append(QStringLiteral("%1: %2").arg(kind).arg(reply->errorString()));
            next(*owner);
        });
    };
    for (Client &client : clients)
        next(client);
    const auto answered = [&] {
        int count = 0;
        for (const Client &client : clients)
            count += client.right + static_cast<int>(client.wrong.size());
        return count;
    };
    QTRY_VERIFY_WITH_TIMEOUT(answered() == 8 * RequestsPerClient, 6 * BoundMs);
    for (const Client &client : clients) {
        QVERIFY2(client.wrong.isEmpty(), qPrintable(client.wrong.join(", ")));
        QCOMPARE(client.right, RequestsPerClient);
    }
    // The bus went on being polled meanwhile.
    QVERIFY(SimTrace().count("#020<CR>") > pollsBefore);
}

void GatewayModbusTest::framingAndMaxClients()
{
    const auto first = Connect();
    // A request in pieces: the header, then the PDU a few milliseconds later (read 1 input register of unit
    // 2).
    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(raw.waitForConnected(BoundMs));
    raw.write(QByteArray::fromHex("1234000000060204"));
    QVERIFY(raw.waitForBytesWritten(BoundMs));
    raw.write(QByteArray::fromHex("00000001"));
    QTRY_VERIFY_WITH_TIMEOUT(raw.bytesAvailable() >= 11, BoundMs);
    const QByteArray answer = raw.readAll();
    QCOMPARE(answer.left(9), QByteArray::fromHex("123400000005020402"));
    // Anything that is no Modbus TCP frame closes the connection.
    raw.write("GET / HTTP/1.0\r\n\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(raw.state(), QAbstractSocket::UnconnectedState, BoundMs);

    // Seven more fill max_clients (8); the ninth is closed at once.
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int count = 0; count < 8; ++count) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        sockets.back()->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(sockets.back()->waitForConnected(BoundMs));
    }
    QTRY_COMPARE_WITH_TIMEOUT(sockets.back()->state(), QAbstractSocket::UnconnectedState, BoundMs);
    for (size_t index = 0; index + 1 < sockets.size(); ++index)
        QCOMPARE(sockets[index]->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(Ask(*first, Unit(QModbusDataUnit::InputRegisters, 0, 1), 2).error, QModbusDevice::NoError);
}

void GatewayModbusTest::mbpollReadsTheSameRegisters()
{
    const QString mbpoll = QStandardPaths::findExecutable("mbpoll");
    if (mbpoll.isEmpty())
        QSKIP("mbpoll is not installed (scripts/install-deps)");
    const auto client = Connect();
    const Read floats = Ask(*client, Unit(QModbusDataUnit::InputRegisters, 1000, 16), 2);
    QCOMPARE(floats.error, QModbusDevice::NoError);
    QProcess process;
    process.start(mbpoll, {"-m", "tcp", "-p", QString::number(port), "-a", "2", "-t", "3:float", "-B", "-0",
                           "-r", "1000", "-c", "8", "-1", "127.0.0.1"});
    QVERIFY(process.waitForFinished(BoundMs));
    QCOMPARE(process.exitCode(), 0);
    // "[1000]: 	1" ... one line per float, big-endian word order as the map documents.
    static const QRegularExpression line("\\[(\\d+)\\]:\\s+(\\S+)");
    QMap<int, float> read;
    for (auto match = line.globalMatch(QString::fromLocal8Bit(process.readAllStandardOutput()));
         match.hasNext();) {
        const auto found = match.next();
        read[found.captured(1).toInt()] = found.captured(2).toFloat();
    }
    QCOMPARE(read.size(), 8);
    for (int channel = 0; channel < 8; ++channel) {
        const quint32 bits = quint32(floats.values[2 * channel]) << 16 | floats.values[2 * channel + 1];
        QCOMPARE(read.value(1000 + 2 * channel), std::bit_cast<float>(bits));
    }
}

void GatewayModbusTest::Reload()
{
    const qsizetype before = gatewayLog.count("reloaded");
    ::kill(static_cast<pid_t>(gateway.processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT((gatewayLog += gateway.readAllStandardError()).count("reloaded") > before,
                             BoundMs);
}

void GatewayModbusTest::reloadKeepsOrRestartsTheServer()
{
    const auto client = Connect();
    // A changed bus is started anew; the server and its connections stay, and its units come back.
    WriteConfig(60, {});
    Reload();
    QTRY_COMPARE_WITH_TIMEOUT(Ask(*client, Unit(QModbusDataUnit::InputRegisters, 0, 1), 2).error,
                              QModbusDevice::NoError, BoundMs);
    QCOMPARE(client->state(), QModbusDevice::ConnectedState);
    // A changed Modbus section starts the server anew: its clients connect again.
    WriteConfig(60, "  max_clients: 2\n");
    Reload();
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), QModbusDevice::UnconnectedState, BoundMs);
    const auto again = Connect();
    QCOMPARE(Ask(*again, Unit(QModbusDataUnit::InputRegisters, 0, 1), 2).error, QModbusDevice::NoError);
}

void GatewayModbusTest::portTakenAtTheStartIsTakenLater()
{
    gateway.kill();
    QVERIFY(gateway.waitForFinished(BoundMs));
    gateway.readAllStandardError();
    auto squatter = std::make_unique<QTcpServer>();
    QVERIFY(squatter->listen(QHostAddress::LocalHost, port));
    gateway.start(QStringLiteral(NAVIX_GATEWAY_PATH), {"--config", folder.filePath("gateway.yaml")});
    QTRY_VERIFY_WITH_TIMEOUT((gatewayLog += gateway.readAllStandardError()).contains("cannot listen"),
                             BoundMs);
    squatter.reset();
    const auto client = Connect();
    QCOMPARE(Ask(*client, Unit(QModbusDataUnit::InputRegisters, 0, 1), 2).error, QModbusDevice::NoError);
}

QTEST_GUILESS_MAIN(GatewayModbusTest)
#include "tst_gateway_modbus.moc"
