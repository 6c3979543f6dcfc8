// The serial port object over a real pseudo-terminal: the test holds the master side and plays the bus, the
// port opens the slave side by its COM number, registered as a virtual port the way navix-sim registers one.

#include "bus/port_names.h"
#include "bus/serial_port.h"
#include "support/pseudo_terminal.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <termios.h>

#include <memory>

using namespace navix;

namespace {

QByteArray ReadAnnounced(TApdComPort &port, int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text.append(port.ReadChar());
    return text;
}

// Counts the errors the port's QSerialPort reports into count, which must outlive the port.
void CountErrors(TApdComPort &port, int &count)
{
    QObject::connect(port.findChild<QSerialPort *>(), &QSerialPort::errorOccurred, &port,
                     [&count](QSerialPort::SerialPortError error) {
                         if (error != QSerialPort::NoError)
                             ++count;
                     });
}

using ComPorts = QMap<int, QString>;

} // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void numbersPortsByTheNamingRule_data();
    void numbersPortsByTheNamingRule();
    void listsRegisteredVirtualPorts();

    void defaultsBeforeOpening();
    void opensByNumberWritesAndReceives();
    void unreadCharactersStayAndCloseDiscardsThem();
    void charactersArrivingDuringANotificationGetALaterOne();
    void takesInWhatArrivedWhileTheProgramWasHeldUp();
    void receiveBufferKeepsTheNewestCharacters();
    void baudChangeWhileOpenAppliesAtOnce();
    void openingErrors();
    void farEndClosingClosesThePortOnce();

private:
    std::unique_ptr<PseudoTerminal> MakeTerminal();
    QString Register(int number, const QString &target);

    QTemporaryDir runtimeDir;
};

void TestSerialPort::initTestCase()
{
    QVERIFY(runtimeDir.isValid());
    // Set before anything asks QStandardPaths, so that the ports registered here stay private to this run.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QVERIFY(QFile::setPermissions(runtimeDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                         QFile::ReadUser | QFile::WriteUser |
                                                         QFile::ExeUser));
    QCOMPARE(VirtualPortFolder(), runtimeDir.path() + "/navix/ports");
    QVERIFY(QDir().mkpath(VirtualPortFolder()));
}

void TestSerialPort::cleanup()
{
    QDir folder(VirtualPortFolder());
    for (const QString &name : folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        QVERIFY(folder.remove(name));
}

std::unique_ptr<PseudoTerminal> TestSerialPort::MakeTerminal()
{
    auto terminal = std::make_unique<PseudoTerminal>();
    if (!terminal->IsValid())
        return nullptr;
    return terminal;
}

QString TestSerialPort::Register(int number, const QString &target)
{
    const QString link = VirtualPortFolder() + "/COM" + QString::number(number);
    if (!QFile::link(target, link))
        return QString();
    return link;
}

#define MAKE_TERMINAL(name)                                                                                  \
    const std::unique_ptr<PseudoTerminal> name = MakeTerminal();                                             \
    if (!name)                                                                                               \
        QSKIP("no pseudo-terminal can be made here");

void TestSerialPort::numbersPortsByTheNamingRule_data()
{
    using Ports = ComPorts;
    QTest::addColumn<QStringList>("system");
    QTest::addColumn<QStringList>("linkNames"); // links named so, each leading to /dev/pts/<row position>
    QTest::addColumn<Ports>("expected");

    QTest::newRow("ttyS<k> is COM<k+1>") << QStringList{"/dev/ttyS3", "/dev/ttyS0"} << QStringList{}
                                         << Ports{{1, "/dev/ttyS0"}, {4, "/dev/ttyS3"}};
    QTest::newRow("others take the lowest free numbers in name order")
        << QStringList{"/dev/ttyUSB0", "/dev/ttyS1", "/dev/ttyACM0"} << QStringList{}
        << Ports{{1, "/dev/ttyACM0"}, {2, "/dev/ttyS1"}, {3, "/dev/ttyUSB0"}};
    QTest::newRow("trailing numbers count as numbers")
        << QStringList{"/dev/ttyUSB10", "/dev/ttyUSB2", "/dev/ttyUSB1"} << QStringList{}
        << Ports{{1, "/dev/ttyUSB1"}, {2, "/dev/ttyUSB2"}, {3, "/dev/ttyUSB10"}};
    QTest::newRow("links take their number, others fill the gaps")
        << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB1"} << QStringList{"COM2", "COM12"}
        << Ports{{1, "/dev/ttyUSB0"}, {2, "links/COM2"}, {3, "/dev/ttyUSB1"}, {12, "links/COM12"}};
    QTest::newRow("a link beats a ttyS on the same number")
        << QStringList{"/dev/ttyS0"} << QStringList{"COM1"} << Ports{{1, "links/COM1"}, {2, "/dev/ttyS0"}};
    QTest::newRow("links with other names are left out")
        << QStringList{} << QStringList{"COM0", "COM05", "COM70000", "com3", "COM3x", "PORT4", "COM"}
        << Ports{};
    QTest::newRow("a device the system lists twice counts once")
        << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB0"} << QStringList{} << Ports{{1, "/dev/ttyUSB0"}};
    QTest::newRow("a device named COM<n> keeps n")
        << QStringList{"\\\\.\\COM3", "\\\\.\\COM1"} << QStringList{}
        << Ports{{1, "\\\\.\\COM1"}, {3, "\\\\.\\COM3"}};
    QTest::newRow("a system device a link leads to is listed under the link")
        << QStringList{"/dev/pts/0", "/dev/ttyUSB0"} << QStringList{"COM5"}
        << Ports{{1, "/dev/ttyUSB0"}, {5, "links/COM5"}};
}

void TestSerialPort::numbersPortsByTheNamingRule()
{
    QFETCH(QStringList, system);
    QFETCH(QStringList, linkNames);
    QFETCH(ComPorts, expected);

    QList<VirtualPortLink> links;
    for (int i = 0; i < linkNames.size(); ++i)
        links.append({"links/" + linkNames.at(i), "/dev/pts/" + QString::number(i)});
    QCOMPARE(NumberComPorts(system, links), expected);
}

void TestSerialPort::listsRegisteredVirtualPorts()
{
    MAKE_TERMINAL(terminal);
    const QString live = Register(7, terminal->SlavePath());
    QVERIFY(!live.isEmpty());
    // A simulator that stopped leaves its link behind; the port it pointed at is gone.
    QVERIFY(!Register(8, runtimeDir.path() + "/gone").isEmpty());

    const QMap<int, QString> ports = EnumerateComPorts();
    QCOMPARE(ports.value(7), live);
    QVERIFY(!ports.contains(8));
    QVERIFY(!ports.values().contains(terminal->SlavePath()));
}

void TestSerialPort::defaultsBeforeOpening()
{
    TApdComPort port;
    QCOMPARE(port.ComNumber(), quint16(0));
    QCOMPARE(port.Baud(), 9600);
    QCOMPARE(port.DataBits(), quint16(8));
    QCOMPARE(port.StopBits(), quint16(1));
    QCOMPARE(port.Parity(), ParityKind::None);
    QCOMPARE(port.AutoOpen(), false);
    QCOMPARE(port.InSize(), 4096);
    QCOMPARE(port.OutSize(), 4096);
    QVERIFY(!port.IsOpen());
    QCOMPARE(port.DevicePath(), QString());
    QCOMPARE(port.ReadChar(), char(0));
    port.SetOpen(false); // closing a closed port does nothing
    QVERIFY(!port.IsOpen());
}

void TestSerialPort::opensByNumberWritesAndReceives()
{
    MAKE_TERMINAL(terminal);
    QVERIFY(!Register(3, terminal->SlavePath()).isEmpty());

    TApdComPort port;
    port.SetComNumber(3);
    QCOMPARE(port.DevicePath(), terminal->SlavePath());
    port.SetOpen(true);
    QVERIFY(port.IsOpen());
    QCOMPARE(port.DevicePath(), terminal->SlavePath());

    auto *serial = port.findChild<QSerialPort *>();
    QCOMPARE(serial->baudRate(), 9600);
    QCOMPARE(serial->dataBits(), QSerialPort::Data8);
    QCOMPARE(serial->parity(), QSerialPort::NoParity);
    QCOMPARE(serial->stopBits(), QSerialPort::OneStop);
    QCOMPARE(serial->flowControl(), QSerialPort::NoFlowControl);

    port.SetOpen(true); // already open: nothing happens
    QVERIFY(port.IsOpen());
    port.SetComNumber(9); // ignored while open
    QCOMPARE(port.ComNumber(), quint16(3));

    // Bytes go out in order, all 8 bits of them.
    const QByteArray command = QByteArray("$01M\r") + char(0xB0) + "#0A\r";
    port.WriteText(command);
    QTRY_COMPARE_WITH_TIMEOUT(terminal->Received(), command, 2000);

    // However the terminal delivers the reply, reading what each notification announces yields all of it.
    QByteArray got;
    connect(&port, &BusPort::TriggerAvail, this, [&](quint16 count) { got += ReadAnnounced(port, count); });
    const QByteArray reply = QByteArray("!014050") + char(0xB0) + "\r";
    QVERIFY(terminal->Write(reply));
    QTRY_COMPARE_WITH_TIMEOUT(got, reply, 2000);
    QCOMPARE(port.ReadChar(), char(0));

    port.SetOpen(false);
    QVERIFY(!port.IsOpen());
    port.SetComNumber(9);
    QCOMPARE(port.ComNumber(), quint16(9));
}

void TestSerialPort::unreadCharactersStayAndCloseDiscardsThem()
{
    MAKE_TERMINAL(terminal);
    TApdComPort port;
    port.SetDeviceResolver([&](int) { return terminal->SlavePath(); });
    port.SetComNumber(1);
    port.SetOpen(true);

    QList<int> counts;
    connect(&port, &BusPort::TriggerAvail, this, [&](quint16 count) { counts.append(count); });

    // A handler that reads nothing leaves the characters waiting; the next notification announces them with
    // the new ones.
    QVERIFY(terminal->Write("ABC"));
    QTRY_VERIFY_WITH_TIMEOUT(!counts.isEmpty() && counts.last() == 3, 2000);
    QVERIFY(terminal->Write("DE"));
    QTRY_VERIFY_WITH_TIMEOUT(counts.last() == 5, 2000);
    QCOMPARE(ReadAnnounced(port, 5), QByteArray("ABCDE"));

    // Closing purges what nobody read; after reopening only new characters are announced.
    QVERIFY(terminal->Write("XYZ"));
    QTRY_VERIFY_WITH_TIMEOUT(counts.last() == 3, 2000);
    port.SetOpen(false);
    QCOMPARE(port.ReadChar(), char(0));
    port.SetOpen(true);
    counts.clear();
    QVERIFY(terminal->Write("1"));
    QTRY_VERIFY_WITH_TIMEOUT(!counts.isEmpty(), 2000);
    QCOMPARE(counts, QList<int>{1});
    QCOMPARE(ReadAnnounced(port, 1), QByteArray("1"));
}

void TestSerialPort::takesInWhatArrivedWhileTheProgramWasHeldUp()
{
    MAKE_TERMINAL(terminal);
    TApdComPort port;
    port.SetDeviceResolver([&](int) { return terminal->SlavePath(); });
    port.SetComNumber(1);
    port.SetOpen(true);
    int errors = 0;
    CountErrors(port, errors);
    QList<int> counts;
    connect(&port, &BusPort::TriggerAvail, this, [&](quint16 count) { counts.append(count); });

    QCOMPARE(port.TakeInArrived(), 0); // nothing came: nothing to take in
    // The reply reaches the device while no event is handled; asking again and again without the event loop,
    // the port takes it in as soon as the system holds it.
    const QByteArray reply = "!014050\r";
    QVERIFY(terminal->Write(reply));
    QDeadlineTimer bound(2000);
    int waiting = 0;
    while ((waiting = port.TakeInArrived()) < reply.size() && !bound.hasExpired()) {
    }
    QCOMPARE(waiting, int(reply.size()));
    QCOMPARE(ReadAnnounced(port, waiting), reply);
    QVERIFY(counts.isEmpty());

    // The notification that was due has nothing left to announce; later characters are announced alone.
    QVERIFY(terminal->Write("X"));
    QTRY_VERIFY_WITH_TIMEOUT(!counts.isEmpty(), 2000);
    QCOMPARE(counts, QList<int>{1});
    QCOMPARE(ReadAnnounced(port, 1), QByteArray("X"));
    QCOMPARE(errors, 0);
}

void TestSerialPort::charactersArrivingDuringANotificationGetALaterOne()
{
    MAKE_TERMINAL(terminal);
    TApdComPort port;
    port.SetDeviceResolver([&](int) { return terminal->SlavePath(); });
    port.SetComNumber(1);
    port.SetOpen(true);
    auto *serial = port.findChild<QSerialPort *>();

    QByteArray got;
    int depth = 0;
    int deepest = 0;
    int notifications = 0;
    bool nestedLoopDone = false;
    connect(&port, &BusPort::TriggerAvail, this, [&](quint16 count) {
        ++notifications;
        ++depth;
        deepest = std::max(deepest, depth);
        got += ReadAnnounced(port, count);
        if (notifications == 1) {
            // Like a modal message box in a reply handler: the event loop runs on while the handler waits,
            // and more characters come in meanwhile (QSerialPort reads them, and tells nobody yet).
            QVERIFY(terminal->Write("second"));
            QTRY_VERIFY_WITH_TIMEOUT(serial->bytesAvailable() > 0, 2000);
            QCoreApplication::processEvents();
            // An exchange that times out meanwhile still finds them.
            QCOMPARE(port.TakeInArrived(), 6);
            nestedLoopDone = true;
        }
        --depth;
    });

    QVERIFY(terminal->Write("first"));
    QTRY_VERIFY_WITH_TIMEOUT(nestedLoopDone, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(got, QByteArray("firstsecond"), 2000);
    QCOMPARE(deepest, 1);
}

void TestSerialPort::receiveBufferKeepsTheNewestCharacters()
{
    MAKE_TERMINAL(terminal);
    TApdComPort port;
    port.SetDeviceResolver([&](int) { return terminal->SlavePath(); });
    port.SetComNumber(1);
    port.SetOpen(true);

    QByteArray stream;
    for (int i = 0; i < 3 * TApdComPort::BufferSize; ++i)
        stream.append(char('a' + i % 23));
    stream.append('Z');

    int largest = 0;
    bool reading = false;
    QByteArray got;
    connect(&port, &BusPort::TriggerAvail, this, [&](quint16 count) {
        largest = std::max<int>(largest, count);
        if (reading)
            got += ReadAnnounced(port, count);
    });

    // Nobody reads while three buffers' worth comes in.
    QByteArray pending = stream;
    QTRY_VERIFY_WITH_TIMEOUT(terminal->WriteSome(pending), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(largest, TApdComPort::BufferSize, 5000);

    // A reader takes over; the last character marks the end of everything written.
    reading = true;
    QVERIFY(terminal->Write("Y"));
    stream.append('Y');
    QTRY_VERIFY_WITH_TIMEOUT(got.endsWith("ZY"), 5000);
    QCOMPARE(largest, TApdComPort::BufferSize);
    // What the reader gets is the unbroken end of the stream, at least a full buffer of it.
    QVERIFY(got.size() >= TApdComPort::BufferSize);
    QCOMPARE(got, stream.right(got.size()));
}

void TestSerialPort::baudChangeWhileOpenAppliesAtOnce()
{
    MAKE_TERMINAL(terminal);
    TApdComPort port;
    port.SetDeviceResolver([&](int) { return terminal->SlavePath(); });
    port.SetComNumber(1);
    port.SetBaud(4800); // while closed: used when the port opens
    port.SetOpen(true);

    termios line{};
    QCOMPARE(::tcgetattr(terminal->Master(), &line), 0);
    QCOMPARE(::cfgetospeed(&line), speed_t(B4800));

    port.SetBaud(19200);
    QVERIFY(port.IsOpen());
    QCOMPARE(port.Baud(), 19200);
    QCOMPARE(::tcgetattr(terminal->Master(), &line), 0);
    QCOMPARE(::cfgetospeed(&line), speed_t(B19200));
    QCOMPARE(::cfgetispeed(&line), speed_t(B19200));

    // The next command goes out on the open port.
    port.WriteText("$01F\r");
    QTRY_COMPARE_WITH_TIMEOUT(terminal->Received(), QByteArray("$01F\r"), 2000);
}

void TestSerialPort::openingErrors()
{
    MAKE_TERMINAL(terminal);

    TApdComPort port;
    QVERIFY_THROWS_EXCEPTION(ENoPortSelected, port.SetOpen(true));
    QVERIFY(!port.IsOpen());

    port.SetComNumber(42); // nothing registered, and no system device has that many ports here
    QVERIFY_THROWS_EXCEPTION(EBadId, port.SetOpen(true));
    QVERIFY(!port.IsOpen());

    QVERIFY(!Register(42, runtimeDir.path() + "/gone").isEmpty());
    QVERIFY_THROWS_EXCEPTION(EBadId, port.SetOpen(true));
    QVERIFY(!port.IsOpen());

    // A device that exists but is no serial line is some other failure.
    QFile plain(runtimeDir.path() + "/plain");
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(!Register(43, plain.fileName()).isEmpty());
    port.SetComNumber(43);
    QVERIFY_THROWS_EXCEPTION(EOpenFailed, port.SetOpen(true));
    QVERIFY(!port.IsOpen());

    // The same device twice, once by its registered number and once by its own name.
    QVERIFY(!Register(5, terminal->SlavePath()).isEmpty());
    TApdComPort first;
    first.SetComNumber(5);
    first.SetOpen(true);
    TApdComPort second;
    second.SetDeviceResolver([&](int) { return terminal->SlavePath(); });
    second.SetComNumber(6);
    QVERIFY_THROWS_EXCEPTION(EAlreadyOpen, second.SetOpen(true));
    QVERIFY(!second.IsOpen());
    QVERIFY(first.IsOpen());
    TApdComPort third;
    third.SetComNumber(5);
    QVERIFY_THROWS_EXCEPTION(EAlreadyOpen, third.SetOpen(true));

    // Once the first lets go, the device is free again.
    first.SetOpen(false);
    second.SetOpen(true);
    QVERIFY(second.IsOpen());
}

void TestSerialPort::farEndClosingClosesThePortOnce()
{
    MAKE_TERMINAL(terminal);
    int errors = 0;
    TApdComPort port;
    port.SetDeviceResolver([&](int) { return terminal->SlavePath(); });
    port.SetComNumber(1);
    port.SetOpen(true);
    CountErrors(port, errors);
    QSignalSpy lost(&port, &TApdComPort::DeviceLost);

    terminal->Close();
    QTRY_VERIFY_WITH_TIMEOUT(!port.IsOpen(), 2000);
    QCOMPARE(lost.size(), 1);
    QVERIFY(!lost.at(0).at(0).toString().isEmpty());
    // A port left open would report an error on every turn of the event loop.
    QVERIFY2(errors <= 2, qPrintable(QString::number(errors) + " errors"));
    const int errorsAtClose = errors;
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    QCOMPARE(errors, errorsAtClose);
    QCOMPARE(lost.size(), 1);

    // The engine writes only while the port is open; a write that comes anyway goes nowhere quietly.
    QTest::failOnWarning(QRegularExpression(".*"));
    port.WriteText("$01F\r");
    QCoreApplication::processEvents();
    QCOMPARE(errors, errorsAtClose);
    QCOMPARE(port.ReadChar(), char(0));
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
