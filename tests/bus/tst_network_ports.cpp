// Network ports and port numbers: the address texts, the numbering that keeps its meaning while ports come
// and go, the remembered list, and the port itself against a TCP server of the test's own on the loopback
// address, alone and carried by the port object.

#include "bus/network_port.h"
#include "bus/network_port_store.h"
#include "bus/port_directory.h"
#include "bus/serial_port.h"

#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>
#include <vector>

using namespace navix;

namespace {

// A device server of the test's own: it accepts one connection and shows what came in.
class TestServer
{
public:
    TestServer() { server.listen(QHostAddress::LocalHost); }

    NetworkAddress Address() const { return {"127.0.0.1", server.serverPort()}; }

    bool WaitForClient()
    {
        if (!client && !server.hasPendingConnections() && !server.waitForNewConnection(3000))
            return false;
        if (!client)
            client.reset(server.nextPendingConnection());
        return client != nullptr;
    }
    QByteArray Received(qsizetype count)
    {
        const bool complete = QTest::qWaitFor(
            [&] {
                received += client->readAll();
                return received.size() >= count;
            },
            3000);
        return complete ? received : received + "(incomplete)";
    }
    void Send(const QByteArray &bytes)
    {
        client->write(bytes);
        client->flush();
    }

    QTcpServer server;
    std::unique_ptr<QTcpSocket> client;
    QByteArray received;
};

// Whether bytes arrive whole on one of the connections the server takes: an attempt given up while it was
// being made may have reached the server too.
bool ArrivesOnSomeConnection(QTcpServer &server, const QByteArray &bytes)
{
    std::vector<std::pair<std::unique_ptr<QTcpSocket>, QByteArray>> connections;
    return QTest::qWaitFor(
        [&] {
            while (server.hasPendingConnections())
                connections.emplace_back(server.nextPendingConnection(), QByteArray());
            for (auto &[socket, received] : connections)
                if ((received += socket->readAll()) == bytes)
                    return true;
            return false;
        },
        3000);
}

// An address on which nothing listens: a port the system just gave out and took back.
NetworkAddress DeadAddress()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const NetworkAddress address{"127.0.0.1", probe.serverPort()};
    probe.close();
    return address;
}

QByteArray ReadAll(BusPort &port, quint16 count)
{
    QByteArray bytes;
    for (quint16 i = 0; i < count; ++i)
        bytes.append(port.ReadChar());
    return bytes;
}

} // namespace

class TestNetworkPorts : public QObject
{
    Q_OBJECT
private slots:
    void AddressTexts_data();
    void AddressTexts();
    void TypedAddresses_data();
    void TypedAddresses();
    void NumbersKeepTheirMeaningWhilePortsComeAndGo();
    void RememberedPortsSurviveAndJunkIsLeftOut();
    void ConnectExchangeAndLoseTheServer();
    void RefusedConnectionAndGivingUp();
    void CharactersArrivingDuringAHandlerAreAnnouncedAfterIt();
    void PortObjectCarriesANetworkPort();
};

void TestNetworkPorts::AddressTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host"); // empty: no address
    QTest::addColumn<int>("port");
    QTest::newRow("name") << "gateway.local:4001"
                          << "gateway.local" << 4001;
    QTest::newRow("v4") << "192.168.1.20:2000"
                        << "192.168.1.20" << 2000;
    QTest::newRow("v6 in brackets") << "[::1]:2000"
                                    << "::1" << 2000;
    QTest::newRow("v6 bare") << "::1:2000"
                             << "" << 0;
    QTest::newRow("no port") << "gateway"
                             << "" << 0;
    QTest::newRow("port 0") << "gateway:0"
                            << "" << 0;
    QTest::newRow("port too big") << "gateway:65536"
                                  << "" << 0;
    QTest::newRow("leading zero") << "gateway:04001"
                                  << "" << 0;
    QTest::newRow("no host") << ":4001"
                             << "" << 0;
    QTest::newRow("blank in host") << "gate way:4001"
                                   << "" << 0;
    QTest::newRow("blank before port") << "gateway: 4001"
                                       << "" << 0;
}

void TestNetworkPorts::AddressTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    const std::optional<NetworkAddress> address = NetworkAddress::FromText(text);
    QCOMPARE(address.has_value(), !host.isEmpty());
    if (!address)
        return;
    QCOMPARE(address->host, host);
    QCOMPARE(int(address->port), port);
    QCOMPARE(address->Text(), text);
}

void TestNetworkPorts::TypedAddresses_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("text"); // empty: refused
    QTest::newRow("plain") << "10.0.0.7" << 4001 << "10.0.0.7:4001";
    QTest::newRow("outer blanks") << "  moxa-3 " << 950 << "moxa-3:950";
    QTest::newRow("v6 typed with brackets") << "[fe80::1]" << 23 << "[fe80::1]:23";
    QTest::newRow("v6 typed bare") << "fe80::1" << 23 << "[fe80::1]:23";
    QTest::newRow("empty host") << "   " << 4001 << "";
    QTest::newRow("port 0") << "10.0.0.7" << 0 << "";
    QTest::newRow("port too big") << "10.0.0.7" << 70000 << "";
    QTest::newRow("path in host") << "10.0.0.7/24" << 4001 << "";
}

void TestNetworkPorts::TypedAddresses()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, text);
    const std::optional<NetworkAddress> address = NetworkAddress::FromParts(host, port);
    QCOMPARE(address ? address->Text() : QString(), text);
}

void TestNetworkPorts::NumbersKeepTheirMeaningWhilePortsComeAndGo()
{
    PortDirectory ports;
    auto devices = [&] {
        QMap<int, QString> shown;
        const QMap<int, ComPortTarget> offered = ports.Ports();
        for (auto port = offered.cbegin(); port != offered.cend(); ++port)
            shown.insert(port.key(), port->IsNetwork() ? port->address->Text() : port->device);
        return shown;
    };
    using Map = QMap<int, QString>;

    ports.UpdateSerialPorts({{1, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}});
    QCOMPARE(devices(), Map({{1, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}}));

    // USB0 pulled, USB1 plugged in: the numbering rule alone would give USB1 the number of USB0.
    ports.UpdateSerialPorts({{1, "/dev/ttyS0"}, {2, "/dev/ttyUSB1"}});
    QCOMPARE(devices(), Map({{1, "/dev/ttyS0"}, {3, "/dev/ttyUSB1"}}));
    QVERIFY(!ports.Find(2));
    // USB0 back: its own number again.
    ports.UpdateSerialPorts({{1, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}, {3, "/dev/ttyUSB1"}});
    QCOMPARE(devices(), Map({{1, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}, {3, "/dev/ttyUSB1"}}));

    // Network ports take the lowest number never given; an address listed already keeps its number, and a
    // wished-for number that is taken is not given twice.
    const NetworkAddress server{"10.0.0.7", 4001};
    QCOMPARE(ports.AddNetworkPort(server), 4);
    QCOMPARE(ports.AddNetworkPort(server), 4);
    QCOMPARE(ports.AddNetworkPort({"10.0.0.8", 4001}, 2), 5);
    QCOMPARE(ports.AddNetworkPort({"10.0.0.9", 4001}, 9), 9);
    QCOMPARE(ports.NetworkPorts(),
             QList<NetworkPortEntry>({{4, server}, {5, {"10.0.0.8", 4001}}, {9, {"10.0.0.9", 4001}}}));
    // Serial listings leave network ports alone.
    ports.UpdateSerialPorts({{1, "/dev/ttyS0"}});
    QCOMPARE(devices(),
             Map({{1, "/dev/ttyS0"}, {4, "10.0.0.7:4001"}, {5, "10.0.0.8:4001"}, {9, "10.0.0.9:4001"}}));

    // Withdrawn, the number waits for the same address; serial numbers cannot be withdrawn this way.
    QVERIFY(ports.RemoveNetworkPort(4));
    QVERIFY(!ports.RemoveNetworkPort(4));
    QVERIFY(!ports.RemoveNetworkPort(1));
    QVERIFY(!ports.Find(4));
    QCOMPARE(ports.AddNetworkPort({"10.0.0.10", 4001}), 6);
    QCOMPARE(ports.AddNetworkPort(server), 4);

    // Two newcomers: one whose own number is free keeps it although the other, whose number is taken,
    // is placed first in the listing.
    ports.UpdateSerialPorts({{1, "/dev/ttyS0"}, {2, "/dev/ttyACM0"}, {8, "/dev/ttyACM1"}});
    QCOMPARE(ports.Find(8)->device, QString("/dev/ttyACM1"));
    QCOMPARE(ports.Find(7)->device, QString("/dev/ttyACM0"));
}

void TestNetworkPorts::RememberedPortsSurviveAndJunkIsLeftOut()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString file = folder.filePath("settings.conf");
    const QList<NetworkPortEntry> saved = {{21, {"10.0.0.7", 4001}}, {22, {"::1", 2000}}};
    {
        NetworkPortStore store(file);
        store.Save({{30, {"old", 1}}});
        store.Save(saved); // replaces, not adds
    }
    QCOMPARE(NetworkPortStore(file).Load(), saved);

    QFile raw(file);
    QVERIFY(raw.open(QIODevice::WriteOnly | QIODevice::Truncate));
    raw.write("[NetworkPorts]\n"
              "1\\number=23\n1\\address=gateway:4001\n"
              "2\\number=0\n2\\address=gateway:4002\n"
              "3\\number=24\n3\\address=gateway\n"
              "4\\number=x\n4\\address=gateway:4003\n"
              "5\\number=70000\n5\\address=gateway:4004\n"
              "size=5\n");
    raw.close();
    QCOMPARE(NetworkPortStore(file).Load(), QList<NetworkPortEntry>({{23, {"gateway", 4001}}}));
}

void TestNetworkPorts::ConnectExchangeAndLoseTheServer()
{
    TestServer server;
    NetworkPort port;
    QSignalSpy opened(&port, &NetworkPort::Opened);
    QSignalSpy announced(&port, &BusPort::TriggerAvail);
    QSignalSpy lost(&port, &NetworkPort::Lost);

    port.Open(server.Address());
    QVERIFY(port.IsOpening() && !port.IsOpen());
    port.WriteText("$01M\r"); // not connected yet: dropped, as on a closed serial port
    QVERIFY(server.WaitForClient());
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 3000);
    QVERIFY(port.IsOpen() && !port.IsOpening());

    port.WriteText("$012\r");
    port.WriteText("#011234\r");
    QCOMPARE(server.Received(13), QByteArray("$012\r#011234\r"));

    // A reply in two pieces: each announced once with what waits, read in order.
    server.Send("!0120");
    QTRY_VERIFY_WITH_TIMEOUT(!announced.isEmpty(), 3000);
    QByteArray reply = ReadAll(port, announced.last().at(0).value<quint16>());
    QCOMPARE(reply, QByteArray("!0120"));
    announced.clear();
    server.Send("0600\r");
    QTRY_VERIFY_WITH_TIMEOUT(!announced.isEmpty(), 3000);
    reply += ReadAll(port, announced.last().at(0).value<quint16>());
    QCOMPARE(reply, QByteArray("!01200600\r"));
    QCOMPARE(port.ReadChar(), '\0');

    // The server goes away: the port closes and says so. Nothing was announced again before it: the
    // reply was read whole.
    server.client->close();
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 3000);
    QCOMPARE(announced.size(), 1);
    QVERIFY(!port.IsOpen() && !port.IsOpening());
    QVERIFY(!lost.at(0).at(0).toString().isEmpty());
    // Connected again, and a command through: the loss was told once.
    port.Open(server.Address());
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 2, 3000);
    server.client.reset();
    server.received.clear();
    QVERIFY(server.WaitForClient());
    port.WriteText("$01M\r");
    QCOMPARE(server.Received(5), QByteArray("$01M\r"));
    QCOMPARE(lost.size(), 1);
}

void TestNetworkPorts::RefusedConnectionAndGivingUp()
{
    NetworkPort port;
    QSignalSpy failed(&port, &NetworkPort::OpenFailed);
    QSignalSpy lost(&port, &NetworkPort::Lost);
    port.Open(DeadAddress());
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 3000);
    QVERIFY(failed.at(0).at(0).toString().contains("refused", Qt::CaseInsensitive));
    QVERIFY(!port.IsOpen() && !port.IsOpening());
    QVERIFY(lost.isEmpty());

    // Given up while connecting: no signal afterwards, and a new attempt works.
    TestServer server;
    QSignalSpy opened(&port, &NetworkPort::Opened);
    port.Open(server.Address());
    port.Close();
    QVERIFY(!port.IsOpening());
    port.Open(server.Address());
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 3000);
    // A command through the new connection comes after anything the abandoned attempt could still say.
    port.WriteText("$01M\r");
    QVERIFY(ArrivesOnSomeConnection(server.server, "$01M\r"));
    QCOMPARE(opened.size(), 1);
    QCOMPARE(failed.size(), 1);
}

void TestNetworkPorts::CharactersArrivingDuringAHandlerAreAnnouncedAfterIt()
{
    TestServer server;
    NetworkPort port;
    port.Open(server.Address());
    QVERIFY(server.WaitForClient());
    QTRY_VERIFY_WITH_TIMEOUT(port.IsOpen(), 3000);

    // The first handler reads what it was told of and then runs a modal loop (a message box) while the
    // rest of the reply arrives; no notification may run inside it, and the rest is announced after it.
    int depth = 0;
    int deepest = 0;
    QByteArray read;
    connect(&port, &BusPort::TriggerAvail, this, [&](quint16 count) {
        ++depth;
        deepest = std::max(deepest, depth);
        read += ReadAll(port, count);
        if (read == "!01") {
            server.Send("200600\r");
            QEventLoop modal;
            QTimer::singleShot(200, &modal, &QEventLoop::quit);
            modal.exec();
        }
        --depth;
    });
    server.Send("!01");
    QTRY_COMPARE_WITH_TIMEOUT(read, QByteArray("!01200600\r"), 3000);
    QCOMPARE(deepest, 1);
}

void TestNetworkPorts::PortObjectCarriesANetworkPort()
{
    TestServer server;
    NetworkAddress address = server.Address();
    TApdComPort port;
    port.SetNetworkResolver([&](int number) -> std::optional<NetworkAddress> {
        return number == 21 ? std::optional(address) : std::nullopt;
    });
    QSignalSpy lost(&port, &TApdComPort::DeviceLost);
    QSignalSpy failed(&port, &TApdComPort::OpenFailed);
    QSignalSpy announced(&port, &BusPort::TriggerAvail);

    port.SetComNumber(21);
    QVERIFY(port.IsNetworkPort());
    QCOMPARE(port.DevicePath(), address.Text());
    port.SetOpen(true);
    QVERIFY(port.IsOpening());
    port.SetComNumber(22); // ignored while connecting
    QCOMPARE(port.ComNumber(), quint16(21));
    QVERIFY(server.WaitForClient());
    QTRY_VERIFY_WITH_TIMEOUT(port.IsOpen(), 3000);
    QCOMPARE(port.DevicePath(), address.Text());

    // The baud rate is kept for the panel but changes nothing on the connection.
    port.SetBaud(19200);
    QCOMPARE(port.Baud(), 19200);
    QVERIFY(port.IsOpen());
    port.WriteText("$01M\r");
    QCOMPARE(server.Received(5), QByteArray("$01M\r"));
    server.Send("!014013\r");
    QTRY_VERIFY_WITH_TIMEOUT(!announced.isEmpty(), 3000);
    QCOMPARE(ReadAll(port, announced.last().at(0).value<quint16>()), QByteArray("!014013\r"));

    server.client->close();
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 3000);
    QVERIFY(!port.IsOpen());
    QVERIFY(failed.isEmpty());

    // Nobody listening any more: the failure names the port and the address.
    address = DeadAddress();
    port.SetOpen(true);
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 3000);
    QVERIFY2(failed.at(0).at(0).toString().startsWith("COM21: " + address.Text() + ": "),
             qPrintable(failed.at(0).at(0).toString()));
    QVERIFY(!port.IsOpen() && !port.IsOpening());

    // Closing gives up a connection being made.
    TestServer later;
    address = later.Address();
    port.SetOpen(true);
    port.SetOpen(false);
    QVERIFY(!port.IsOpening() && !port.IsOpen());
    // Opened again, a command through comes after anything the abandoned attempt could still do.
    port.SetOpen(true);
    QTRY_VERIFY_WITH_TIMEOUT(port.IsOpen(), 3000);
    port.WriteText("$01M\r");
    QVERIFY(ArrivesOnSomeConnection(later.server, "$01M\r"));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(lost.size(), 1);
}

QTEST_MAIN(TestNetworkPorts)
#include "tst_network_ports.moc"
