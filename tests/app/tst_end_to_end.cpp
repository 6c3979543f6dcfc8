// End to end: the program as a technician uses it, against a running navix-sim on a pseudo-terminal. The main
// window lists the simulator's port, opens it through the real serial layer, and the search finds every
// module of the demo bus. The simulator may also vanish in the middle of an exchange, as an adapter that is
// pulled out, and come back on the same port: the program stays calm and carries on where it was.

#include "app/program.h"
#include "editors/editor_4013.h"
#include "editors/turn_4013.h"
#include "support/program_driver.h"
#include "support/recording_prompt.h"
#include "support/sim_process.h"
#include "workspace/prompt.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>
#include <functional>

using namespace navix;
using namespace navix::ProgramDriver;

namespace {
// Replies over a pseudo-terminal from another process, which may be slowed down by the sanitizers or wait for
// a busy machine, need more than the shortest time-out.
constexpr int ReplyTimeOutMs = 300;
// The simulator answers this late while it is to be stopped, so that the exchange is surely in flight.
const QString LateMs = QStringLiteral("40");
// Exchanges over which the program's CPU share is measured once the port is gone.
constexpr int CalmExchanges = 8;
// A program that only waits for its time-outs uses one to three per cent of a core; one that spins takes all
// it can get, which is more than this even on a busy machine.
constexpr double CalmCpuShare = 0.15;

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

QString LostHint(int comNumber)
{
    return QStringLiteral("Hint: Com %1 lost (the device went away), choose the port to open it again...")
        .arg(comNumber);
}
} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void searchTheDemoBusOverAPseudoTerminal();
    void editorsOutliveTheSimulatorAndPollItAgainOnItsReturn();
    void terminalOutlivesTheSimulator();
    void memoryReadOutKeepsWhatItReadWhenTheSimulatorGoes();
    void cleanupTestCase() { InstallPrompt(nullptr); }

private:
    bool StartOnSimulator(NavixProgram &program, SimProcess &sim, int first, int last);
    bool KillDuringExchange(SimProcess &sim, TransactionEngine &engine,
                            const std::function<bool(const QByteArray &)> &wanted);
    double CpuShareOverExchanges(TransactionEngine &engine, int exchanges);
    void KillAndSeeThePortLostCalmly(TForm1 &main, SimProcess &sim,
                                     const std::function<bool(const QByteArray &)> &wanted);
    void StartAgainAndChooseThePort(TForm1 &main, SimProcess &again, int comNumber);

    QTemporaryDir runtimeFolder;
    RecordingPrompt prompt;
};

// The program shown, the simulator's port chosen, short time-outs and no pacing, and first..last searched:
// where a technician stands before the line goes away. The simulator answers late, so that the line can be
// cut while an exchange is surely in flight.
bool TestEndToEnd::StartOnSimulator(NavixProgram &program, SimProcess &sim, int first, int last)
{
    if (!sim.Start(runtimeFolder.path(), {"--frozen", "--late", LateMs}))
        return false;
    TForm1 &main = program.Form1;
    program.Show();
    if (!ChoosePort(main, sim.comNumber))
        return false;
    UseQuickExchanges(main, ReplyTimeOutMs);
    const QStringList found = SearchBus(program, first, last);
    return !found.isEmpty() && !found.first().startsWith('(');
}

// Kills the simulator right after the program wrote a command that wanted accepts. The simulator answers
// late, so that exchange is still waiting for its reply.
bool TestEndToEnd::KillDuringExchange(SimProcess &sim, TransactionEngine &engine,
                                      const std::function<bool(const QByteArray &)> &wanted)
{
    QObject context;
    bool killed = false;
    QObject::connect(&engine, &TransactionEngine::CommandWritten, &context, [&](const QByteArray &command) {
        if (killed || !wanted(command))
            return;
        sim.process.kill();
        killed = true;
    });
    return QTest::qWaitFor([&] { return killed; }, 5000) && sim.process.waitForFinished(5000);
}

// The CPU time the program takes per second of wall time while the next exchanges run (into a closed port,
// each ending by its time-out). The wait runs a plain event loop, as the program's own: QTest's waits pause
// between their rounds and would hide a loop that keeps the event loop busy.
double TestEndToEnd::CpuShareOverExchanges(TransactionEngine &engine, int exchanges)
{
    QEventLoop loop;
    int written = 0;
    QObject::connect(&engine, &TransactionEngine::CommandWritten, &loop, [&] {
        if (++written >= exchanges)
            loop.quit();
    });
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    bound.start(exchanges * ReplyTimeOutMs * 10);
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = ProcessCpuSeconds();
    loop.exec();
    if (written < exchanges)
        return 1.0; // the exchanges stopped: as bad as spinning
    return (ProcessCpuSeconds() - cpuBefore) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
}

// Kills the simulator while a command that wanted accepts waits for its reply; the port closes, the status
// bar says why, and the program stays calm while its exchanges run into the closed port.
void TestEndToEnd::KillAndSeeThePortLostCalmly(TForm1 &main, SimProcess &sim,
                                               const std::function<bool(const QByteArray &)> &wanted)
{
    QVERIFY(KillDuringExchange(sim, main.Engine(), wanted));
    QTRY_VERIFY_WITH_TIMEOUT(!main.ComPort().IsOpen(), 5000);
    QCOMPARE(Find<QLabel>(main, "HintPanel")->text(), LostHint(sim.comNumber));
    const double cpuShare = CpuShareOverExchanges(main.Engine(), CalmExchanges);
    QVERIFY2(cpuShare < CalmCpuShare, qPrintable(QString::number(cpuShare)));
}

// A new simulator on the number of the one that was killed, as a technician plugs the adapter back in, and
// the port chosen again in the tree.
void TestEndToEnd::StartAgainAndChooseThePort(TForm1 &main, SimProcess &again, int comNumber)
{
    QVERIFY2(again.Start(runtimeFolder.path(), {"--frozen", "--com", QString::number(comNumber)}),
             again.process.readAllStandardError().constData());
    QCOMPARE(again.comNumber, comNumber);
    QVERIFY(ChoosePort(main, comNumber));
}

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
    QVERIFY2(main.FindPortItem(sim.comNumber), "the simulator's port is not listed");
    // A click on the port item opens it in stages and shows the port panel.
    QVERIFY(ChoosePort(main, sim.comNumber));
    QVERIFY(prompt.messages.isEmpty());
    UseQuickExchanges(main, ReplyTimeOutMs);
    QCOMPARE(main.Engine().TimeOutMs(), ReplyTimeOutMs);

    // At 9600 baud: every module but the 4060 at 06 (19200 baud) and the 4513 at 0B (4800 baud).
    const QStringList expected = {"*(00) N755",   " (01) N710", " (02) N770",  " (03) N780", " (04) N730",
                                  " (05) N76x",   " (07) N755", " (08) N756",  " (09) N742", " (0A) N743",
                                  " (0C) PKR-01", " (0D) N790", " (10) TVR5x", " (14) N770"};
    QCOMPARE(SearchBus(program, 0, 0x14), expected);
    QCOMPARE(main.Modules().Count(), expected.size());
    // The module that uses checksums was found on the second try, and its record says so.
    QCOMPARE(main.Modules().FindForOpen("14")->config, QByteArray("14080640"));
    QVERIFY(main.Modules().FindForOpen("00")->initFlag);
    QVERIFY(prompt.messages.isEmpty());

    // At every rate the two other modules are found too, each caption with its rate; the port panel is left
    // at the rate of the last module found, and the hint says so.
    QVERIFY(RunScan(program, 5, 0x0B, true));
    QCOMPARE(main.ComPort().Baud(), 19200);
    QCOMPARE(Find<QComboBox>(main, "BaudRateComboBox")->currentText(), QString("19200"));
    QCOMPARE(Find<QLabel>(main, "HintPanel")->text(),
             QString("Hint: the port stays at 19200 bps, the rate of the last module found"));
    const QStringList everyRate = {" (0B) PKR-02 @4800", " (05) N76x @9600", " (07) N755 @9600",
                                   " (08) N756 @9600",   " (09) N742 @9600", " (0A) N743 @9600",
                                   " (06) N720 @19200"};
    QCOMPARE(CloseSearch(program), everyRate);

    // The module found at another rate opens its editor from the caption with its rate, and the editor polls
    // it at the rate the port was left at.
    QWidget *editor = OpenEditor(main, " (06) N720 @19200");
    QVERIFY(editor);
    QTRY_COMPARE_WITH_TIMEOUT(EditorStatus(editor), EditorTurn::CommunicationText, 5000);
    QCOMPARE(main.Modules().FindForOpen("06")->editorState, EditorState::Open);
}

void TestEndToEnd::editorsOutliveTheSimulatorAndPollItAgainOnItsReturn()
{
    SimProcess sim;
    NavixProgram program;
    QVERIFY2(StartOnSimulator(program, sim, 0x02, 0x04), sim.process.readAllStandardError().constData());
    TForm1 &main = program.Form1;
    QList<QWidget *> editors;
    for (const QString caption : {" (02) N770", " (04) N730"}) {
        editors.append(OpenEditor(main, caption));
        QVERIFY(editors.last());
    }
    for (const QWidget *editor : editors)
        QTRY_COMPARE_WITH_TIMEOUT(EditorStatus(editor), EditorTurn::CommunicationText, 5000);

    // Gone while the 4017's data query waits for its reply.
    KillAndSeeThePortLostCalmly(main, sim, [](const QByteArray &command) { return command == "$026\r"; });
    if (QTest::currentTestFailed())
        return;
    for (const QWidget *editor : editors)
        QTRY_COMPARE_WITH_TIMEOUT(EditorStatus(editor), EditorTurn::CommunicationErrorText, 5000);

    // Back on the same number; choosing the port is all it takes.
    SimProcess again;
    StartAgainAndChooseThePort(main, again, sim.comNumber);
    if (QTest::currentTestFailed())
        return;
    for (const QWidget *editor : editors)
        QTRY_COMPARE_WITH_TIMEOUT(EditorStatus(editor), EditorTurn::CommunicationText, 5000);
    QCOMPARE(main.Modules().FindForOpen("02")->editorState, EditorState::Open);
    QVERIFY(prompt.messages.isEmpty());
}

void TestEndToEnd::terminalOutlivesTheSimulator()
{
    SimProcess sim;
    NavixProgram program;
    QVERIFY2(StartOnSimulator(program, sim, 0x02, 0x02), sim.process.readAllStandardError().constData());
    TForm1 &main = program.Form1;
    TForm4 &terminal = program.Form4;
    const auto openTerminal = [&] {
        Find<QToolButton>(main, "TerminalButton")->click();
        return QTest::qWaitFor([&] { return terminal.Phase() == ScanPhase::Ready; }, 3000);
    };
    QVERIFY(openTerminal());
    Find<QLineEdit>(terminal, "ComandEdit")->setText("$02M");
    Find<QCheckBox>(terminal, "EnterBox")->setChecked(true);
    Find<QPushButton>(terminal, "ContinueSendButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(terminal, "ResponeEdit")->text(), QString("!024017"), 5000);

    KillAndSeeThePortLostCalmly(main, sim, [](const QByteArray &command) { return command == "$02M\r"; });
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(Find<QLineEdit>(terminal, "ResponeEdit")->text(), QString("Time out !"));
    QVERIFY(terminal.Repeating());
    Find<QPushButton>(terminal, "StopButton")->click();
    Find<QPushButton>(terminal, "ExitButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(main.isEnabled(), 3000);

    SimProcess again;
    StartAgainAndChooseThePort(main, again, sim.comNumber);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(openTerminal());
    Find<QPushButton>(terminal, "SendButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(terminal, "ResponeEdit")->text(), QString("!024017"), 5000);
    QVERIFY(prompt.messages.isEmpty());
}

void TestEndToEnd::memoryReadOutKeepsWhatItReadWhenTheSimulatorGoes()
{
    SimProcess sim;
    NavixProgram program;
    QVERIFY2(StartOnSimulator(program, sim, 0x10, 0x10), sim.process.readAllStandardError().constData());
    TForm1 &main = program.Form1;
    auto *tvr = qobject_cast<TForm10 *>(OpenEditor(main, " (10) TVR5x"));
    QVERIFY(tvr);
    // The memory button shows among the settings once the editor knows the module for a Tvr 5x.
    auto *turn = qobject_cast<Turn4013 *>(&tvr->Turn());
    QVERIFY(turn);
    QTRY_VERIFY_WITH_TIMEOUT(turn->IsVariant(), 5000);
    tvr->findChild<QCheckBox *>("ShowSetingsCheckBox")->setChecked(true);
    TForm6 &memory = program.Form6;
    const QString answered = " Commucation...";
    const QString silent = " Error...";
    const auto openMemory = [&] {
        tvr->findChild<QPushButton *>("MemoryButton")->click();
        return QTest::qWaitFor([&] { return memory.Phase() == ScanPhase::Ready; }, 5000);
    };
    QVERIFY(openMemory());
    Find<QLineEdit>(memory, "FirstAdresEdit")->setText("0000");
    Find<QSpinBox>(memory, "LastSpinEdit")->setValue(TForm6::MaximumCount);
    Find<QPushButton>(memory, "ReadButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(memory.Records().Count() >= 3, 10000);

    int rowsRead = 0;
    KillAndSeeThePortLostCalmly(main, sim, [&](const QByteArray &command) {
        rowsRead = memory.Records().Count();
        return command.startsWith("@10D");
    });
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(Find<QGroupBox>(memory, "MemorySetings")->title(), silent);

    // The records read before stay in the list, and they can be saved.
    QCOMPARE(memory.Records().Count(), rowsRead);
    QVERIFY(memory.Reading());
    Find<QPushButton>(memory, "ReadButton")->click();
    QVERIFY(!memory.Reading());
    const QString fileName = runtimeFolder.filePath("extract.dat");
    prompt.fileAnswers = {fileName};
    Find<QPushButton>(memory, "SaveButton")->click();
    QCOMPARE(prompt.Texts(), QStringList{"Saving successful !"});
    prompt.Clear();
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), rowsRead + 1); // every line ends in CR LF
    QVERIFY(lines.first().startsWith("0000 "));
    Find<QPushButton>(memory, "ExitButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(main.isEnabled(), 3000);

    // Back again: the editor and the memory window poll the new simulator.
    SimProcess again;
    StartAgainAndChooseThePort(main, again, sim.comNumber);
    if (QTest::currentTestFailed())
        return;
    QTRY_COMPARE_WITH_TIMEOUT(EditorStatus(tvr), EditorTurn::CommunicationText, 5000);
    QCOMPARE(Find<QGroupBox>(memory, "MemorySetings")->title(), silent);
    QVERIFY(openMemory());
    QTRY_COMPARE_WITH_TIMEOUT(Find<QGroupBox>(memory, "MemorySetings")->title(), answered, 5000);
    QCOMPARE(memory.Records().Count(), rowsRead);
    QVERIFY(prompt.messages.isEmpty());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
