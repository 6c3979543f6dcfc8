// The port list follows the machine while the program works: a port registered while an editor polls the
// bus through another port appears under "PC" within the bound and goes again when it is removed, and
// neither the open port, its panel nor the editor notices. Runs the program against a navix-sim process.

#include "support/find_control.h"
#include "support/pseudo_terminal.h"

#include "app/tree_items.h"
#include "support/program_driver.h"
#include "support/recording_prompt.h"
#include "support/sim_process.h"
#include "workspace/prompt.h"

#include <QSignalSpy>
#include <QTemporaryDir>

using namespace navix;

using namespace ProgramDriver;

namespace {
// A port plugged in shows under "PC" within about two seconds.
constexpr int ListBoundMs = 2000;
} // namespace

class TestPortWatch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { InstallPrompt(nullptr); }
    void PortsComeAndGoWhileAnotherIsPolled();

private:
    QTemporaryDir runtimeFolder;
    RecordingPrompt prompt;
};

void TestPortWatch::initTestCase()
{
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
    QVERIFY(UsePrivateRuntimeFolder(runtimeFolder));
    InstallPrompt(&prompt);
}

void TestPortWatch::PortsComeAndGoWhileAnotherIsPolled()
{
    SimProcess sim;
    QVERIFY2(sim.Start(runtimeFolder.path(), {"--frozen"}), sim.process.readAllStandardError().constData());
    NavixProgram program;
    TForm1 &main = program.Form1;
    program.Show();
    QVERIFY(ChoosePort(main, sim.comNumber));
    UseQuickExchanges(main, 300);
    QCOMPARE(SearchBus(program, 1, 2), QStringList({" (01) N710", " (02) N770"}));
    QWidget *editor = OpenEditor(main, " (01) N710");
    QVERIFY(editor);
    QSignalSpy received(&main.ComPort(), &BusPort::TriggerAvail);
    QTRY_COMPARE_WITH_TIMEOUT(EditorStatus(editor), QString(" Communication..."), 3000);

    // What must stay as it is while the list changes.
    const QString device = Find<QLineEdit>(main, "DevicePathEdit")->text();
    auto undisturbed = [&] {
        return main.ComPort().IsOpen() && Find<QGroupBox>(main, "ComProperties")->isVisible() &&
               Find<QLineEdit>(main, "ComEdit")->text() == QString::number(sim.comNumber) &&
               Find<QLineEdit>(main, "DevicePathEdit")->text() == device &&
               main.ModuleCaptions(main.FindPortItem(sim.comNumber)) ==
                   QStringList({" (01) N710", " (02) N770"}) &&
               editor->isVisible() && EditorStatus(editor) == " Communication...";
    };
    // The editor keeps polling: new replies come in after the given moment.
    auto stillPolled = [&] {
        const qsizetype seen = received.size();
        return QTest::qWaitFor([&] { return received.size() > seen + 2; }, 3000);
    };

    auto plugged = std::make_unique<PseudoTerminal>();
    QVERIFY(plugged->IsValid());
    QVERIFY(!main.FindPortItem(45));
    QVERIFY(plugged->Register(45));
    QTRY_VERIFY_WITH_TIMEOUT(main.FindPortItem(45), ListBoundMs);
    QCOMPARE(main.FindPortItem(45)->toolTip(0),
             VirtualPortFolder() + "/COM45 -> " + QFileInfo(plugged->SlavePath()).canonicalFilePath());
    // In number order among the others.
    QTreeWidgetItem *pc = Find<QTreeWidget>(main, "MainTreeView")->topLevelItem(0);
    for (int index = 1; index < pc->childCount(); ++index)
        QVERIFY(PortNumber(pc->child(index - 1)->text(0)) < PortNumber(pc->child(index)->text(0)));
    QVERIFY(undisturbed());
    QVERIFY(stillPolled());

    plugged.reset(); // unplugged: the link goes
    QTRY_VERIFY_WITH_TIMEOUT(!main.FindPortItem(45), ListBoundMs);
    QVERIFY(undisturbed());
    QVERIFY(stillPolled());
    QVERIFY2(prompt.messages.isEmpty(), qPrintable(prompt.Texts().join(" | ")));

    // The open port's own device goes away: the port is lost, but its item and modules stay for its return.
    QSignalSpy looks(&main.PortWatcher(), &PortWatch::Changed);
    sim.process.terminate();
    QVERIFY(sim.process.waitForFinished(5000));
    QTRY_VERIFY_WITH_TIMEOUT(Find<QLabel>(main, "HintPanel")
                                 ->text()
                                 .startsWith("Hint: Com " + QString::number(sim.comNumber) + " lost"),
                             3000);
    QTRY_VERIFY_WITH_TIMEOUT(!looks.isEmpty(), ListBoundMs);
    QVERIFY(main.FindPortItem(sim.comNumber));
    QCOMPARE(main.ModuleCaptions(main.FindPortItem(sim.comNumber)),
             QStringList({" (01) N710", " (02) N770"}));
}

QTEST_MAIN(TestPortWatch)
#include "tst_port_watch.moc"
