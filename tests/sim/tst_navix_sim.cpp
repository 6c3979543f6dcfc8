// End to end: the program's serial port and transaction engine against a running navix-sim process, over a
// real pseudo-terminal found through the virtual port folder.

#include "bus/serial_port.h"
#include "bus/text.h"
#include "support/recording_tool.h"
#include "support/sim_process.h"
#include "workspace/bus_session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace navix;

namespace {
// Replies over a pseudo-terminal from another process: short, but not as short as in-process.
constexpr int ReplyTimeOutMs = 300;

} // namespace

class TestNavixSim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void exchangesInEveryReceiveMode();
    void endsWhenThePortStaysClosed();
    void takesOverTheNumberOfAKilledSimulator();

private:
    QByteArray Exchange(const QByteArray &command, bool checksum, ReceiveMode mode, char start, char end,
                        int length);

    QTemporaryDir runtimeFolder;
    std::unique_ptr<BusSession> session;
    RecordingTool tool;
};

void TestNavixSim::initTestCase()
{
    QVERIFY(runtimeFolder.isValid());
    // The runtime folder must belong to the user alone, or Qt does not take it.
    QFile::setPermissions(runtimeFolder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder.path()));
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
}

QByteArray TestNavixSim::Exchange(const QByteArray &command, bool checksum, ReceiveMode mode, char start,
                                  char end, int length)
{
    const qsizetype before = tool.replies.size();
    session->Engine().SendCommand({.command = command,
                                   .checksum = checksum,
                                   .receiveMode = mode,
                                   .startChar = start,
                                   .endChar = end,
                                   .expectedLength = length});
    if (!QTest::qWaitFor([&] { return tool.replies.size() > before; }, 5000))
        return "(nothing delivered)";
    return tool.replies.last();
}

void TestNavixSim::exchangesInEveryReceiveMode()
{
    const QString busFile = runtimeFolder.filePath("bus.txt");
    QFile file(busFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# modules for the end-to-end test\n"
               "4013 01200600 firmware=B2.0\n"
               "4013 02200640            # uses checksums\n"
               "20   10200602            # Tvr 5x\n"
               "4050 05400600 lose=all   # never answers\n"
               "4060 06400640 bad-checksum\n");
    file.close();

    SimProcess sim;
    QVERIFY2(sim.Start(runtimeFolder.path(), {"--bus", busFile, "--frozen"}),
             sim.process.readAllStandardError().constData());
    QVERIFY(sim.comNumber >= 20);
    const QString link = runtimeFolder.filePath(QStringLiteral("navix/ports/COM%1").arg(sim.comNumber));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.device);

    session = std::make_unique<BusSession>();
    TApdComPort &port = *session->ComPort();
    port.SetComNumber(static_cast<quint16>(sim.comNumber));
    port.SetOpen(true);
    QVERIFY(port.IsOpen());
    session->Engine().SetPacingTag(VeryFast);
    session->SetTimeOutField(ReplyTimeOutMs);
    session->Router().RegisterTool(ToolKind::Terminal, &tool);
    QVERIFY(session->Router().RequestBus(ToolKind::Terminal));

    // Checked frames, with and without checksum.
    QCOMPARE(Exchange("$01M\r", false, ReceiveMode::CheckedFrame, '!', CR, 8), QByteArray("!014013\r"));
    QCOMPARE(Exchange("$012\r", false, ReceiveMode::CheckedFrame, '!', CR, 10), QByteArray("!01200600\r"));
    QCOMPARE(Exchange("$02M\r", true, ReceiveMode::CheckedFrame, '!', CR, 8), QByteArray("!024013\r"));
    // Unchecked frames of the Tvr 5x, read short of the CR.
    QVERIFY(QRegularExpression("^>\\d\\d/\\d\\d/\\d\\d \\d \\d\\d:\\d\\d:\\d\\d$")
                .match(FromWire(Exchange("@10G\r", false, ReceiveMode::UncheckedFrame, '>', ' ', 20)))
                .hasMatch());
    QVERIFY(QRegularExpression("^![0-9A-F]{2}$")
                .match(FromWire(Exchange("$126\r", false, ReceiveMode::UncheckedFrame, '!', ' ', 3)))
                .hasMatch());
    QCOMPARE(Exchange("@10K2F\r", false, ReceiveMode::UncheckedFrame, '!', ' ', 3), QByteArray("!10"));
    // Lines, as the terminal reads them: the CR behind the frame read short before is no line of its own.
    qsizetype before = tool.replies.size();
    session->Engine().SendCommand({.command = "@10C\r",
                                   .checksum = false,
                                   .receiveMode = ReceiveMode::LineMode,
                                   .startChar = ' ',
                                   .endChar = ' ',
                                   .expectedLength = 0});
    QTRY_COMPARE_WITH_TIMEOUT(tool.replies.mid(before), (QList<QByteArray>{">2F\r"}), 5000);
    // Raw: whatever has come at each notification, until the reply is complete.
    before = tool.replies.size();
    session->Engine().SendCommand({.command = "$01F\r",
                                   .checksum = false,
                                   .receiveMode = ReceiveMode::RawMode,
                                   .startChar = ' ',
                                   .endChar = ' ',
                                   .expectedLength = 0});
    QTRY_COMPARE_WITH_TIMEOUT(tool.replies.mid(before).join(), QByteArray("!01B2.0\r"), 5000);

    // A module that loses its reply, and one whose checksum is wrong.
    QCOMPARE(Exchange("$05M\r", false, ReceiveMode::CheckedFrame, '!', CR, 8), QByteArray());
    QCOMPARE(session->Engine().CommandLog().Row(0).mid(0, 2), (QStringList{"$05M", "Time out !"}));
    QCOMPARE(Exchange("$06M\r", true, ReceiveMode::CheckedFrame, '!', CR, 8), QByteArray());
    QCOMPARE(session->Engine().CommandLog().Row(0).value(0), QStringLiteral("Wrong checksum !"));

    port.SetOpen(false);
    sim.process.terminate();
    QVERIFY(sim.process.waitForFinished(5000));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink()); // the simulator took its port away
}

void TestNavixSim::endsWhenThePortStaysClosed()
{
    SimProcess sim;
    QVERIFY(sim.Start(runtimeFolder.path(), {"--close-grace", "1500", "--com", "33"}));
    QCOMPARE(sim.comNumber, 33);
    TApdComPort port;
    port.SetComNumber(33);
    QSignalSpy received(&port, &BusPort::TriggerAvail);
    // Closed and opened again within the grace time (the utility changing ports), the bus goes on serving ...
    for (int opening = 0; opening < 2; ++opening) {
        port.SetOpen(true);
        QVERIFY(port.IsOpen());
        received.clear();
        port.WriteText("$04M\r");
        QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty(), 5000);
        port.SetOpen(false);
    }
    QCOMPARE(sim.process.state(), QProcess::Running);
    // ... and ends, removing its link, once the port stays closed.
    QVERIFY(sim.process.waitForFinished(10000));
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo(runtimeFolder.filePath("navix/ports/COM33")).isSymLink());
}

void TestNavixSim::takesOverTheNumberOfAKilledSimulator()
{
    const QString link = runtimeFolder.filePath("navix/ports/COM34");
    SimProcess first;
    QVERIFY(first.Start(runtimeFolder.path(), {"--com", "34"}));
    // While it serves, the number is its own: asked for it, another simulator refuses to start; left to
    // choose, it takes another number.
    SimProcess rival;
    QVERIFY(!rival.Start(runtimeFolder.path(), {"--com", "34"}));
    QTRY_COMPARE_WITH_TIMEOUT(rival.process.state(), QProcess::NotRunning, 5000);
    QCOMPARE(rival.process.exitCode(), 1);
    QVERIFY(rival.process.readAllStandardError().contains("COM34 is in use"));
    SimProcess neighbour;
    QVERIFY(neighbour.Start(runtimeFolder.path(), {}));
    QVERIFY(neighbour.comNumber != 34);

    // Killed, it leaves its link behind, often to the very device name the next pseudo-terminal gets.
    first.process.kill();
    QVERIFY(first.process.waitForFinished(5000));
    QVERIFY(QFileInfo(link).isSymLink());
    SimProcess again;
    QVERIFY2(again.Start(runtimeFolder.path(), {"--com", "34"}),
             again.process.readAllStandardError().constData());
    QCOMPARE(again.comNumber, 34);
    QCOMPARE(QFileInfo(link).symLinkTarget(), again.device);

    // The program finds the new simulator behind the number and gets its replies.
    TApdComPort port;
    port.SetComNumber(34);
    port.SetOpen(true);
    QVERIFY(port.IsOpen());
    QSignalSpy received(&port, &BusPort::TriggerAvail);
    port.WriteText("$04M\r");
    QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty(), 5000);
}

QTEST_GUILESS_MAIN(TestNavixSim)
#include "tst_navix_sim.moc"
