// A bus behind a real serial device server: Debian's ser2net, started by the test on the loopback address,
// bridges a TCP port to the pseudo-terminal of a navix-sim process. The program adds it as a network port,
// searches the demo bus through it, polls a module with an editor, survives the server being stopped in the
// middle of the exchanges and carries on once it is back and the port is chosen again.

#include "app/tree_items.h"
#include "support/find_control.h"
#include "support/program_driver.h"
#include "support/recording_prompt.h"
#include "support/ser2net_process.h"
#include "support/sim_process.h"
#include "workspace/prompt.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

using namespace navix;

using namespace ProgramDriver;

class TestSer2Net : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { InstallPrompt(nullptr); }
    void DemoBusThroughADeviceServer();

private:
    QTemporaryDir runtimeFolder;
    RecordingPrompt prompt;
    QString ser2net;
};

void TestSer2Net::initTestCase()
{
    ser2net = Ser2Net::FindProgram();
    if (ser2net.isEmpty())
        QSKIP(
            "ser2net is not installed (Debian package ser2net; scripts/install-deps installs it): no device "
            "server to test network ports against");
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
    QVERIFY(UsePrivateRuntimeFolder(runtimeFolder));
    InstallPrompt(&prompt);
}

void TestSer2Net::DemoBusThroughADeviceServer()
{
    SimProcess sim;
    // The server opens the line only while a client is connected; the simulator must outlast the gaps.
    QVERIFY2(sim.Start(runtimeFolder.path(), {"--frozen", "--close-grace", "-1"}),
             sim.process.readAllStandardError().constData());
    Ser2Net server(ser2net, runtimeFolder.path());
    const quint16 tcpPort = FreeTcpPort();
    QVERIFY2(server.Start(sim.device, tcpPort), qPrintable(server.Output()));
    const QString address = "127.0.0.1:" + QString::number(tcpPort);

    NavixProgram program;
    TForm1 &main = program.Form1;
    program.Show();
    QList<int> listed;
    for (int index = 0; index < Find<QTreeWidget>(main, "MainTreeView")->topLevelItem(0)->childCount();
         ++index)
        listed.append(
            PortNumber(Find<QTreeWidget>(main, "MainTreeView")->topLevelItem(0)->child(index)->text(0)));

    // Added from the menu: the next free number, the address as its tooltip.
    prompt.addressAnswers = {{" 127.0.0.1 ", tcpPort}};
    Find<QAction>(main, "AddNetworkPort1")->trigger();
    QCOMPARE(prompt.dialogTitles, QStringList({"Add network port"}));
    const int number = main.Ports().NetworkPorts().value(0).number;
    QVERIFY(number > 0 && !listed.contains(number));
    for (int lower = 1; lower < number; ++lower)
        QVERIFY2(listed.contains(lower), qPrintable(QString::number(lower)));
    QTreeWidgetItem *item = main.FindPortItem(number);
    QVERIFY(item);
    QCOMPARE(item->toolTip(0), address);

    QVERIFY(ChoosePort(main, number));
    QCOMPARE(Find<QLineEdit>(main, "DevicePathEdit")->text(), address);
    QCOMPARE(Find<QLabel>(main, "HintPanel")->text(),
             "Hint: Com " + QString::number(number) + "  9600 bps" + TForm1::NetworkBaudNote);
    UseQuickExchanges(main, 300);

    // The device server runs its line at 9600 baud: the 4060 at 06 (19200) and the 4513 at 0B (4800) stay
    // silent.
    const QStringList expected = {"*(00) N755",   " (01) N710", " (02) N770",  " (03) N780", " (04) N730",
                                  " (05) N76x",   " (07) N755", " (08) N756",  " (09) N742", " (0A) N743",
                                  " (0C) PKR-01", " (0D) N790", " (10) TVR5x", " (14) N770"};
    QCOMPARE(SearchBus(program, 0, 0x14), expected);
    QCOMPARE(main.Modules().FindForOpen("14")->config, QByteArray("14080640"));

    QWidget *editor = OpenEditor(main, " (01) N710");
    QVERIFY(editor);
    QSignalSpy received(&main.ComPort(), &BusPort::TriggerAvail);
    QTRY_COMPARE_WITH_TIMEOUT(EditorStatus(editor), QString(" Communication..."), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(received.size() > 3, 5000);

    // The server stops in the middle of the polling: handled like an unplugged adapter.
    server.Stop();
    QTRY_VERIFY_WITH_TIMEOUT(
        Find<QLabel>(main, "HintPanel")->text().startsWith("Hint: Com " + QString::number(number) + " lost"),
        5000);
    QVERIFY(!main.ComPort().IsOpen());
    QTRY_COMPARE_WITH_TIMEOUT(EditorStatus(editor), QString(" Communication Error..."), 5000);
    QVERIFY(main.FindPortItem(number));
    QVERIFY2(prompt.messages.isEmpty(), qPrintable(prompt.Texts().join(" | ")));

    // Back again: choosing the port reconnects, and the editor polls on without being reopened.
    QVERIFY2(server.Start(sim.device, tcpPort), qPrintable(server.Output()));
    QVERIFY(ChoosePort(main, number));
    received.clear();
    QTRY_VERIFY_WITH_TIMEOUT(received.size() > 3, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(EditorStatus(editor), QString(" Communication..."), 5000);
    QCOMPARE(main.ModuleCaptions(main.FindPortItem(number)), expected);
    QVERIFY2(prompt.messages.isEmpty(), qPrintable(prompt.Texts().join(" | ")));
}

QTEST_MAIN(TestSer2Net)
#include "tst_ser2net.moc"
