// End to end: the program as a technician uses it, against a running navix-sim on a pseudo-terminal. The main
// window lists the simulator's port, opens it through the real serial layer, and the search finds every
// module of the demo bus.

#include "app/program.h"
#include "support/recording_prompt.h"
#include "support/sim_process.h"
#include "workspace/prompt.h"

#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void searchTheDemoBusOverAPseudoTerminal();
    void cleanupTestCase() { InstallPrompt(nullptr); }

private:
    QTemporaryDir runtimeFolder;
    RecordingPrompt prompt;
};

void TestEndToEnd::initTestCase()
{
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
    QVERIFY(UsePrivateRuntimeFolder(runtimeFolder));
    InstallPrompt(&prompt);
}

void TestEndToEnd::searchTheDemoBusOverAPseudoTerminal()
{
    SimProcess sim;
    QVERIFY2(sim.Start(runtimeFolder.path(), {"--frozen"}), sim.process.readAllStandardError().constData());

    NavixProgram program;
    TForm1 &main = program.Form1;
    program.Show();
    QTreeWidgetItem *portItem = main.FindPortItem(sim.comNumber);
    QVERIFY2(portItem, "the simulator's port is not listed");

    // A click on the port item opens it in stages and shows the port panel.
    main.MainTreeView->scrollToItem(portItem);
    const QRect itemRect = main.MainTreeView->visualItemRect(portItem);
    QTest::mouseClick(main.MainTreeView->viewport(), Qt::LeftButton, {}, itemRect.center());
    QTRY_VERIFY_WITH_TIMEOUT(main.ComProperties->isVisible(), 3000);
    QVERIFY(main.ApdComPort1.IsOpen());
    QCOMPARE(main.ComEdit->text(), QString::number(sim.comNumber));
    QVERIFY(prompt.messages.isEmpty());

    // Replies over a pseudo-terminal from another process need a little more than the shortest time-out.
    main.SpinEdit1->setValue(150);
    QTest::keyClick(main.SpinEdit1, Qt::Key_Return);
    QCOMPARE(main.Engine().TimeOutMs(), 150);
    main.Engine().SetPacingTag(VeryFast);

    main.SearchButton->click();
    TForm3 &search = program.Form3;
    QTRY_COMPARE_WITH_TIMEOUT(search.Phase(), ScanPhase::Ready, 2000);
    search.FirstAdresSpinEdit.setValue(0);
    search.SecondAdresSpinEdit.setValue(0x14);
    search.StartScanButton.click();
    QTRY_VERIFY_WITH_TIMEOUT(search.StartScanButton.isEnabled(), 30000);
    search.CancelButton.click();

    const QStringList expected = {"*(00) N755",   " (01) N710", " (02) N770",  " (03) N780",
                                  " (04) N730",   " (05) N76x", " (06) N720",  " (07) N755",
                                  " (08) N756",   " (09) N742", " (0A) N743",  " (0B) PKR-02",
                                  " (0C) PKR-01", " (0D) N790", " (10) TVR5x", " (14) N770"};
    QTRY_COMPARE_WITH_TIMEOUT(main.ModuleCaptions(portItem), expected, 3000);
    QVERIFY(main.isEnabled());
    QCOMPARE(main.Modules().Count(), expected.size());
    // The module that uses checksums was found on the second try, and its record says so.
    QCOMPARE(main.Modules().FindForOpen("14")->config, QByteArray("14080640"));
    QVERIFY(main.Modules().FindForOpen("00")->initFlag);
    QVERIFY(prompt.messages.isEmpty());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
