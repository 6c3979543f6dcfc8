// The terminal window against the real engine and the simulated bus: the bytes it puts on the wire, the rows
// it logs, the lock-out and repeated sending, and how it takes the bus from the editors and gives it back.

#include "app/fake_editor.h"
#include "app/program.h"
#include "bus/text.h"
#include "sim/sim_bus.h"
#include "support/find_control.h"
#include "support/test_workspace.h"
#include "tools/terminal_window.h"

#include <QAction>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace navix;

namespace {
// Long enough for an in-process reply also when the sanitizers slow every turn of the event loop down: a
// reply that came after its time-out would land in the next command's row.
constexpr int ReplyTimeOutMs = 150;
constexpr int BoundMs = 1000;

QString Shown(QByteArray wire)
{
    return FromWire(wire.replace(CR, QByteArray()));
}

// An editor that keeps its turn while holding, one exchange with a silent address after another.
class TurnHoldingEditor : public FakeEditor
{
public:
    explicit TurnHoldingEditor(TransactionEngine &engine) : FakeEditor(&engine, "$7FM\r") {}
    bool HandleReply(const QByteArray &reply) override
    {
        if (!holding || !waiting)
            return FakeEditor::HandleReply(reply);
        replies.append(reply);
        engine->SendCommand({.command = command,
                             .checksum = false,
                             .receiveMode = ReceiveMode::CheckedFrame,
                             .startChar = '!',
                             .endChar = CR,
                             .expectedLength = 4});
        return false;
    }
    bool holding = false;
};
} // namespace

// The window on a simulated bus with a module at 01 (no checksum) and at 02 (checksum on).
struct TerminalBench
{
    TerminalBench()
    {
        workspace.engine.SetTimeOutMs(ReplyTimeOutMs);
        workspace.engine.SetPacingTag(VeryFast);
        bus.AddModule("4050", "01400600");
        bus.AddModule("4050", "02400640");
        bus.Attach(workspace.port);
    }
    bool ShowAndTakeBus()
    {
        window.show();
        return QTest::qWaitFor([this] { return window.Phase() == ScanPhase::Ready; }, BoundMs);
    }
    // Sends one command with "Add  CR" ticked and waits for its response and the end of the lock-out.
    bool SendAnswered(const QString &command)
    {
        EnterBox().setChecked(true);
        ComandEdit().setText(command);
        SendButton().click();
        return QTest::qWaitFor([this] { return Row(0).size() == 3 && !SendButtonTimer().isActive(); },
                               BoundMs);
    }
    // The window's controls and timers, found by name as UI automation finds them.
    QGroupBox &ComandGroupBox() const { return *Find<QGroupBox>(window, "ComandGroupBox"); }
    QLineEdit &ComandEdit() const { return *Find<QLineEdit>(window, "ComandEdit"); }
    QLineEdit &ResponeEdit() const { return *Find<QLineEdit>(window, "ResponeEdit"); }
    QCheckBox &CheckSumBox() const { return *Find<QCheckBox>(window, "CheckSumBox"); }
    QCheckBox &EnterBox() const { return *Find<QCheckBox>(window, "EnterBox"); }
    QPushButton &SendButton() const { return *Find<QPushButton>(window, "SendButton"); }
    QPushButton &ContinueSendButton() const { return *Find<QPushButton>(window, "ContinueSendButton"); }
    QPushButton &StopButton() const { return *Find<QPushButton>(window, "StopButton"); }
    QPushButton &ExitButton() const { return *Find<QPushButton>(window, "ExitButton"); }
    QTreeView &ListView10() const { return *Find<QTreeView>(window, "ListView10"); }
    QTimer &CloseTimer() const { return *Find<QTimer>(window, "CloseTimer"); }
    QTimer &SendButtonTimer() const { return *Find<QTimer>(window, "SendButtonTimer"); }
    bool Closed() const { return workspace.mainEnabled && !workspace.router.OwnsBus(ToolKind::Terminal); }
    QStringList Row(int row) { return window.Log().Row(row); }
    TurnHoldingEditor &OpenEditor()
    {
        editor = std::make_unique<TurnHoldingEditor>(workspace.engine);
        editor->Attach(*workspace.modules.AddModule("4017", "7F080600", false), EditorState::Open);
        workspace.router.ReleaseBus();
        return *editor;
    }

    TestWorkspace workspace;
    SimBus bus;
    std::unique_ptr<TurnHoldingEditor> editor;
    TForm4 window{workspace};
};

class TerminalTest : public QObject
{
    Q_OBJECT
private slots:
    void showingTakesOverTheWorkspace();
    void singleSend_data();
    void singleSend();
    void enterSendsRawOnceWithinTheLockOut();
    void continueSendRepeatsUntilStop();
    void closeByReplyOrByCloseTimer();
    void busWaitsForTheEditorTurn();
    void closeWaitsForANotedRequest();
    void mainWindowEntriesShowTheTerminal();
    void firstCommandAfterAReplyReadShort_data();
    void firstCommandAfterAReplyReadShort();
};

void TerminalTest::showingTakesOverTheWorkspace()
{
    TerminalBench bench;
    TForm4 &window = bench.window;
    QCOMPARE(window.windowTitle() + bench.ComandGroupBox().title() + bench.EnterBox().text(),
             QString("Com Terminal  Single Command Add  CR"));
    const QAbstractItemModel &log = *bench.ListView10().model();
    QCOMPARE(log.headerData(0, Qt::Horizontal).toString() + log.headerData(1, Qt::Horizontal).toString(),
             QString("Command:Response:"));
    QVERIFY(bench.ShowAndTakeBus());
    const QRect main = bench.workspace.geometry;
    QCOMPARE(window.pos(), QPoint(main.left() + main.width() / 2 - window.width() / 2,
                                  main.top() + main.height() / 2 - window.height() / 2));
    QVERIFY(!bench.workspace.mainEnabled);
    QCOMPARE(bench.workspace.hint, QString("Hint: Terminal !"));
    bench.window.HandleToolReply("!01\r"); // a response with the list empty only shows
    QCOMPARE(bench.ResponeEdit().text(), QString("!01"));
    QCOMPARE(bench.window.Log().Count(), 0);
    window.resize(300, 200);
    QVERIFY(window.width() >= TForm4::MinimumWidth && window.height() >= TForm4::MinimumHeight);
}

void TerminalTest::singleSend_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("addCr");
    QTest::addColumn<bool>("checksum");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("caption");
    const QByteArray sum = ComputeChecksum("$02M");
    QTest::newRow("Add  CR") << "$01M" << true << false << QByteArray("$01M\r") << "$01M";
    QTest::newRow("Add  CR and Check sum")
        << "$02M" << true << true << QByteArray("$02M" + sum + "\r") << QString("$02M" + sum);
    // Without a CR no module takes the text as a command; the checksum still goes before the last character.
    QTest::newRow("Check sum only") << "$02M" << false << true << QByteArray("$02" + sum + "M")
                                    << QString("$02M" + sum);
}

void TerminalTest::singleSend()
{
    QFETCH(QString, typed);
    QFETCH(bool, addCr);
    QFETCH(bool, checksum);
    QFETCH(QByteArray, wire);
    QFETCH(QString, caption);
    TerminalBench bench;
    QVERIFY(bench.ShowAndTakeBus());
    bench.ComandEdit().setText(typed);
    bench.EnterBox().setChecked(addCr);
    bench.CheckSumBox().setChecked(checksum);
    QTest::mouseClick(&bench.SendButton(), Qt::LeftButton);

    QCOMPARE(bench.workspace.port.written, QList<QByteArray>({wire}));
    QCOMPARE(bench.workspace.engine.CurrentReceiveMode(), ReceiveMode::LineMode);
    QCOMPARE(bench.Row(0).value(0), caption);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Row(0).size(), 3, BoundMs);
    const QString response = addCr ? Shown(bench.bus.Transcript().value(0).reply) : "Time out !";
    QVERIFY(!response.startsWith('?'));
    QCOMPARE(bench.Row(0).value(1), response);
    QCOMPARE(bench.ResponeEdit().text(), response);
    QCOMPARE(bench.Row(0).value(2).count(':'), 2);
}

void TerminalTest::enterSendsRawOnceWithinTheLockOut()
{
    TerminalBench bench;
    QVERIFY(bench.ShowAndTakeBus());
    bench.ComandEdit().setText("$01M");
    bench.EnterBox().setChecked(true);
    QTest::keyClick(&bench.ComandEdit(), Qt::Key_Return);
    QTest::keyClick(&bench.ComandEdit(), Qt::Key_Enter);
    QCOMPARE(bench.workspace.port.written, QList<QByteArray>({"$01M\r"}));
    QCOMPARE(bench.workspace.engine.CurrentReceiveMode(), ReceiveMode::RawMode);
    QVERIFY(bench.window.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!bench.SendButtonTimer().isActive(), BoundMs);
    QTest::keyClick(&bench.ComandEdit(), Qt::Key_Return);
    QCOMPARE(bench.workspace.port.written.size(), 2);
    QCOMPARE(bench.window.Log().Count(), 2);
}

void TerminalTest::continueSendRepeatsUntilStop()
{
    TerminalBench bench;
    TForm4 &window = bench.window;
    QVERIFY(bench.ShowAndTakeBus());
    bench.EnterBox().setChecked(true);
    bench.ComandEdit().setText("$01F");
    bench.SendButton().click();
    bench.ContinueSendButton().click(); // refused: the lock-out runs
    QVERIFY(!window.Repeating());
    QTRY_VERIFY_WITH_TIMEOUT(bench.Row(0).size() == 3 && !bench.SendButtonTimer().isActive(), BoundMs);

    bench.ComandEdit().setText("$01M");
    bench.ContinueSendButton().click();
    // The row before gets "Time out !" first, then the command goes out as a new row.
    QCOMPARE(bench.Row(1).value(0), QString("$01F"));
    QCOMPARE(bench.Row(1).value(3), QString("Time out !"));
    QCOMPARE(bench.Row(0), QStringList({"$01M"}));
    const int rows = window.Log().Count();
    bench.SendButton().click(); // refused while repeating
    QCOMPARE(window.Log().Count(), rows);

    // An edit while repeating goes out with the next send; the oldest rows go beyond 500.
    QTRY_VERIFY_WITH_TIMEOUT(bench.bus.Commands().size() > CommandLogModel::MaxRows, 10000);
    bench.ComandEdit().setText("$01F");
    QTRY_COMPARE_WITH_TIMEOUT(bench.Row(0).value(0), QString("$01F"), BoundMs);
    bench.StopButton().click();
    QTRY_COMPARE_WITH_TIMEOUT(bench.Row(0).size(), 3, BoundMs);
    QVERIFY(!bench.workspace.engine.AwaitingReply()); // nothing went out after the stop

    // The newest 500 commands on the wire each have their row and reply.
    const QList<SimExchange> exchanges = bench.bus.Transcript();
    QCOMPARE(window.Log().Count(), CommandLogModel::MaxRows);
    for (int row = 0; row < CommandLogModel::MaxRows; ++row) {
        const SimExchange &exchange = exchanges[exchanges.size() - 1 - row];
        QCOMPARE(bench.Row(row).mid(0, 2), QStringList({Shown(exchange.command), Shown(exchange.reply)}));
    }

    // Switched on before the bus is granted, repeating starts once it is.
    window.hide();
    QTRY_VERIFY_WITH_TIMEOUT(bench.Closed(), BoundMs);
    window.show();
    bench.ContinueSendButton().click();
    QCOMPARE(window.Phase(), ScanPhase::WaitingForBus);
    const qsizetype commands = bench.bus.Commands().size();
    QTRY_VERIFY_WITH_TIMEOUT(bench.bus.Commands().size() > commands + 2, BoundMs);
    bench.StopButton().click();
    QTRY_COMPARE_WITH_TIMEOUT(bench.Row(0).size(), 3, BoundMs);
}

void TerminalTest::closeByReplyOrByCloseTimer()
{
    TerminalBench bench;
    bench.workspace.engine.SetTimeOutMs(200); // the close timer runs 400 ms, far longer than the late reply
    bench.bus.Module(1)->lateReplyMs = 10;
    QSignalSpy closeTimerFired(&bench.CloseTimer(), &QTimer::timeout);
    QVERIFY(bench.ShowAndTakeBus());
    bench.EnterBox().setChecked(true);
    bench.ComandEdit().setText("$01M");
    bench.SendButton().click();
    bench.ExitButton().click();
    QVERIFY(!bench.workspace.mainEnabled);
    QTRY_VERIFY_WITH_TIMEOUT(bench.Closed(), BoundMs);
    QCOMPARE(closeTimerFired.count(), 0);
    QCOMPARE(bench.Row(0), QStringList({"$01M"})); // the closing reply is not logged

    // Reopened with the list kept; with nothing outstanding the close timer closes.
    bench.workspace.engine.SetTimeOutMs(ReplyTimeOutMs);
    QVERIFY(bench.ShowAndTakeBus());
    QCOMPARE(bench.window.Log().Count(), 1);
    bench.window.hide();
    QTRY_VERIFY_WITH_TIMEOUT(bench.Closed(), BoundMs);
    QCOMPARE(closeTimerFired.count(), 1);

    // Shown again before the close came: that close is finished first and cannot strike later.
    QVERIFY(bench.ShowAndTakeBus());
    bench.window.hide();
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(!bench.CloseTimer().isActive() && !bench.workspace.mainEnabled);
    QVERIFY(bench.workspace.router.OwnsBus(ToolKind::Terminal));
}

void TerminalTest::busWaitsForTheEditorTurn()
{
    TerminalBench bench;
    TurnHoldingEditor &editor = bench.OpenEditor();
    QVERIFY(bench.ShowAndTakeBus());
    // The editor's turn ended before the hand-over, and it gets no reply while the terminal holds the bus.
    QVERIFY(!editor.waiting);
    const qsizetype editorReplies = editor.replies.size();
    QVERIFY(bench.SendAnswered("$01M"));
    QCOMPARE(bench.Row(0).value(1), Shown(bench.bus.Transcript().last().reply));
    QCOMPARE(editor.replies.size(), editorReplies);

    bench.ExitButton().click();
    QTRY_VERIFY_WITH_TIMEOUT(bench.Closed(), BoundMs);
    QTRY_VERIFY_WITH_TIMEOUT(editor.replies.size() > editorReplies + 2, BoundMs);
}

void TerminalTest::closeWaitsForANotedRequest()
{
    TerminalBench bench;
    TurnHoldingEditor &editor = bench.OpenEditor();
    editor.holding = true;
    bench.window.show();
    QTRY_VERIFY_WITH_TIMEOUT(bench.workspace.router.BusAsked(ToolKind::Terminal), BoundMs);
    QSignalSpy closeTimerFired(&bench.CloseTimer(), &QTimer::timeout);
    bench.window.hide();
    QTRY_VERIFY_WITH_TIMEOUT(closeTimerFired.count() >= 1, BoundMs);
    QVERIFY(!bench.workspace.mainEnabled);

    // The turn ends and the bus goes to the closed terminal, which must give it straight back.
    editor.holding = false;
    QTRY_VERIFY_WITH_TIMEOUT(bench.Closed(), BoundMs);
    const qsizetype editorReplies = editor.replies.size();
    QTRY_VERIFY_WITH_TIMEOUT(editor.replies.size() > editorReplies + 2, BoundMs);
}

void TerminalTest::mainWindowEntriesShowTheTerminal()
{
    NavixProgram program;
    TForm1 &main = program.Form1;
    main.Engine().SetTimeOutMs(ReplyTimeOutMs);
    main.EnableWorkspace(true); // as the opening of a port leaves it
    // The tool button, the "&Terminal ..." menu entry and the tree pop-up's "Terminal...".
    for (int entry = 0; entry < 3; ++entry) {
        if (entry == 0)
            Find<QToolButton>(main, "TerminalButton")->click();
        else
            (entry == 1 ? Find<QAction>(main, "Terminal1") : Find<QAction>(main, "TerminalPopupItem"))
                ->trigger();
        QVERIFY(program.Form4.isVisible() && !main.isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(program.Form4.Phase(), ScanPhase::Ready, BoundMs);
        Find<QPushButton>(program.Form4, "ExitButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(main.isEnabled(), BoundMs);
    }
}

void TerminalTest::firstCommandAfterAReplyReadShort_data()
{
    QTest::addColumn<bool>("search");
    QTest::newRow("after a search that found a Tvr 5x") << true;
    QTest::newRow("after the memory window") << false;
}

void TerminalTest::firstCommandAfterAReplyReadShort()
{
    QFETCH(bool, search);
    TerminalBench bench;
    bench.bus.AddModule("20", "10200600");
    // Both end on a reply that is read by length without its CR: the Tvr 5x's clock, its memory pointer.
    if (search) {
        TForm3 searchWindow(bench.workspace);
        searchWindow.show();
        QTRY_COMPARE_WITH_TIMEOUT(searchWindow.Phase(), ScanPhase::Ready, BoundMs);
        Find<QSpinBox>(searchWindow, "FirstAdresSpinEdit")->setValue(0x10);
        Find<QSpinBox>(searchWindow, "SecondAdresSpinEdit")->setValue(0x10);
        QTest::mouseClick(Find<QPushButton>(searchWindow, "StartScanButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!searchWindow.Scan().Scanning(), BoundMs);
        QCOMPARE(bench.bus.Commands().last(), QByteArray("@10G\r"));
        QTest::mouseClick(Find<QPushButton>(searchWindow, "CancelButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            bench.workspace.mainEnabled && !bench.workspace.router.OwnsBus(ToolKind::Search), BoundMs);
    } else {
        TForm6 memoryWindow(bench.workspace);
        memoryWindow.HandOver("10", false);
        QTRY_VERIFY_WITH_TIMEOUT(bench.bus.Commands().count("@10E\r") >= 2, BoundMs);
        QTest::mouseClick(Find<QPushButton>(memoryWindow, "ExitButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            bench.workspace.mainEnabled && !bench.workspace.router.OwnsBus(ToolKind::Memory), BoundMs);
        QCOMPARE(bench.bus.Commands().last(), QByteArray("@10E\r"));
    }
    // The terminal's first command shows its module's reply.
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(bench.SendAnswered("$01M"));
    QCOMPARE(bench.Row(0).mid(0, 2), QStringList({"$01M", "!014050"}));
    QCOMPARE(bench.ResponeEdit().text(), QString("!014050"));
}

QTEST_MAIN(TerminalTest)
#include "tst_terminal.moc"
