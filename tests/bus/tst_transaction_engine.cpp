#include "bus/text.h"
#include "bus/transaction_engine.h"
#include "sim/memory_port.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {
// An editor that takes one exchange per turn: it asks "$AA6" and ends its turn with the answer.
class FakeEditor : public QObject, public ModuleEditor
{
public:
    FakeEditor(TransactionEngine &engine, QByteArray address) : engine(engine), address(std::move(address)) {}

    bool HandleReply(const QByteArray &reply) override
    {
        if (!asked) {
            asked = true;
            engine.SendCommand("$" + address + "6\r", false, CheckedFrame, '!', CR, 8);
            return false;
        }
        asked = false;
        replies.append(reply);
        ++turns;
        return true;
    }
    void CloseAtTurnEnd() override
    {
        closedAtTurnEnd = true;
        deleteLater();
    }
    QStringList Captions() const override { return {"name"}; }

    TransactionEngine &engine;
    QByteArray address;
    bool asked = false;
    int turns = 0;
    bool closedAtTurnEnd = false;
    QList<QByteArray> replies;
};

class FakeTool : public ToolReplyHandler
{
public:
    void HandleToolReply(const QByteArray &reply) override
    {
        replies.append(reply);
        if (onReply)
            onReply(reply);
    }
    QList<QByteArray> replies;
    std::function<void(const QByteArray &)> onReply;
};

struct Bench
{
    Bench()
    {
        engine.SetPort(&port);
        engine.SetTimeOutMs(20);
        engine.SetPacingTag(VeryFast);
        engine.RegisterTool(ToolKind::Search, &search);
        engine.RegisterTool(ToolKind::Terminal, &terminal);
        engine.RegisterTool(ToolKind::Memory, &memory);
    }
    // Every command is answered with the given reply (or not at all when empty).
    void AnswerAlways(const QByteArray &reply)
    {
        port.onWrite = [this, reply](const QByteArray &) {
            if (!reply.isEmpty())
                port.Receive(reply);
        };
    }
    FakeEditor *OpenEditor(EditorKind kind, const QByteArray &address)
    {
        const char *typeIds[] = {"4013", "4113", "4050", "4060", "4017", "4021", "4152", "4052"};
        ModuleRecordPtr record =
            modules.AddModule(typeIds[static_cast<int>(kind)], address + "400600", false);
        auto *editor = new FakeEditor(engine, address);
        record->SetEditor(editor, editor);
        record->editorState = 1;
        return editor;
    }

    ModuleRegistry modules;
    TransactionEngine engine{modules};
    MemoryPort port;
    FakeTool search, terminal, memory;
};
} // namespace

class TestTransactionEngine : public QObject
{
    Q_OBJECT
private slots:
    void checksumIsInsertedAndVerified();
    void wrongChecksumDeliversEmptyAndLogsRow();
    void frameLoopCornerCases();
    void checkedFrameWithWrongEndCharTimesOut();
    void rawAndLineModes();
    void timeOutLogsAndDeliversEmpty();
    void commandLogKeepsAtMost500Rows();
    void pacing();
    void heldCommandUnderStopSending();
    void reentrantSendFromDelivery();
    void receiveBufferStaysBounded();
    void toolOwnershipAndRequests();
    void editorCycleOrderAndHandOver();
    void editorClosedAtEndOfTurn();
    void replyNeverReachesFreedEditor();
    void clearingRecordsSuspendsRouting();
};

void TestTransactionEngine::checksumIsInsertedAndVerified()
{
    Bench b;
    b.engine.RequestBus(ToolKind::Terminal);
    b.AnswerAlways("!0182\r");
    b.engine.SendCommand("$012\r", true, CheckedFrame, '!', CR, 4);
    QCOMPARE(b.port.written, QList<QByteArray>{"$012B7\r"});
    QCOMPARE(b.engine.ExpectedLength(), 6);
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 1, 1000);
    QCOMPARE(b.terminal.replies.first(), QByteArray("!01\r"));
    const QStringList row = b.engine.CommandLog().Row(0);
    QCOMPARE(row.value(0), QString("$012B7"));
    QCOMPARE(row.value(1), QString("!0182"));

    // Announced length 8 with checksum: a 10-character frame, checksum at positions 8 and 9.
    const QByteArray body = "!0A4013";
    b.AnswerAlways(body + ComputeChecksum(body) + "\r");
    b.engine.SendCommand("$0AM\r", true, CheckedFrame, '!', CR, 8);
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 2, 1000);
    QCOMPARE(b.terminal.replies.last(), QByteArray("!0A4013\r"));

    // An empty command stays empty; the checksum of nothing is nothing.
    b.engine.SendCommand("\r", true, CheckedFrame, '!', CR, 4);
    QCOMPARE(b.port.written.last(), QByteArray("\r"));
}

void TestTransactionEngine::wrongChecksumDeliversEmptyAndLogsRow()
{
    Bench b;
    b.engine.RequestBus(ToolKind::Terminal);
    b.AnswerAlways("!0183\r!0182\r");
    b.engine.SendCommand("$012\r", true, CheckedFrame, '!', CR, 4);
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 2, 1000);
    // The bad frame is consumed and reported as an empty reply; the good one behind it is still delivered.
    QCOMPARE(b.terminal.replies.at(0), QByteArray());
    QCOMPARE(b.terminal.replies.at(1), QByteArray("!01\r"));
    QCOMPARE(b.engine.CommandLog().Row(0).value(0), QString("Wrong checksum !"));
    QCOMPARE(b.engine.CommandLog().Row(1).value(1), QString("!0183"));
}

void TestTransactionEngine::frameLoopCornerCases()
{
    Bench b;
    b.engine.RequestBus(ToolKind::Search);
    // Noise in front of the start character is dropped; two frames in one notification both arrive in order.
    b.engine.SendCommand("$01M\r", false, CheckedFrame, '!', CR, 4);
    b.port.Receive("xx\x01!01\r!02\r");
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 2, 1000);
    QCOMPARE(b.search.replies, (QList<QByteArray>{"!01\r", "!02\r"}));

    // A second start character inside the frame window drops the broken frame and waits for more.
    b.search.replies.clear();
    b.engine.SendCommand("$01M\r", false, CheckedFrame, '!', CR, 8);
    b.port.Receive("!0A!0B40");
    QTRY_COMPARE_WITH_TIMEOUT(b.engine.RxBuffer(), QByteArray("!0B40"), 1000);
    QVERIFY(b.search.replies.isEmpty());
    b.port.Receive("17\r");
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
    QCOMPARE(b.search.replies.first(), QByteArray("!0B4017\r"));

    // A reply split into pieces is put together.
    b.search.replies.clear();
    b.engine.SendCommand("$0A2\r", false, CheckedFrame, '!', CR, 10);
    b.port.ReceivePieces({"!0A", "4006", "00\r"});
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
    QCOMPARE(b.search.replies.first(), QByteArray("!0A400600\r"));

    // Mode 2 does not look at the last character.
    b.search.replies.clear();
    b.engine.SendCommand("@0AG\r", false, UncheckedFrame, '>', ' ', 5);
    b.port.Receive(">1234X");
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
    QCOMPARE(b.search.replies.first(), QByteArray(">1234"));
}

void TestTransactionEngine::checkedFrameWithWrongEndCharTimesOut()
{
    Bench b;
    b.engine.RequestBus(ToolKind::Search);
    b.engine.SendCommand("$01M\r", false, CheckedFrame, '!', CR, 4);
    b.port.Receive("!01X");
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
    QCOMPARE(b.search.replies.first(), QByteArray());
    QCOMPARE(b.engine.CommandLog().Row(0).value(1), QString("Time out !"));
    QVERIFY(b.engine.RxBuffer().isEmpty());
}

void TestTransactionEngine::rawAndLineModes()
{
    Bench b;
    b.engine.RequestBus(ToolKind::Terminal);
    const int rowsBefore = b.engine.CommandLog().Count();
    b.engine.SendCommand("$01M\r", false, RawMode, ' ', ' ', 0);
    b.port.Receive("?01\rjunk");
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 1, 1000);
    QCOMPARE(b.terminal.replies.first(), QByteArray("?01\rjunk"));
    // Raw and line exchanges are not logged.
    QCOMPARE(b.engine.CommandLog().Count(), rowsBefore);

    // Line mode: 'ABC' CR is delivered at once; the rest comes with the time-out, without a "Time out !" row.
    b.terminal.replies.clear();
    b.engine.SendCommand("$01M\r", false, LineMode, ' ', ' ', 0);
    b.port.Receive("ABC\rDE");
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 1, 1000);
    QCOMPARE(b.terminal.replies.first(), QByteArray("ABC\r"));
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 2, 1000);
    QCOMPARE(b.terminal.replies.at(1), QByteArray("DE"));
    QCOMPARE(b.engine.CommandLog().Count(), rowsBefore);
}

void TestTransactionEngine::timeOutLogsAndDeliversEmpty()
{
    Bench b;
    b.engine.RequestBus(ToolKind::Search);
    b.engine.SendCommand("$05M\r", false, CheckedFrame, '!', CR, 8);
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
    QCOMPARE(b.search.replies.first(), QByteArray());
    const QStringList row = b.engine.CommandLog().Row(0);
    QCOMPARE(row.value(0), QString("$05M"));
    QCOMPARE(row.value(1), QString("Time out !"));
    // The time stamp reads H:M:S.ms without leading zeros.
    QVERIFY(QRegularExpression("^\\d{1,2}:\\d{1,2}:\\d{1,2}\\.\\d{1,3}$").match(row.value(2)).hasMatch());
    QCOMPARE(LogTimeStamp(QTime(9, 5, 7, 45)), QString("9:5:7.45"));

    // A port that is closed still logs the command, writes nothing and times out.
    b.search.replies.clear();
    b.port.SetOpen(false);
    const int writes = b.port.written.size();
    b.engine.SendCommand("$06M\r", false, CheckedFrame, '!', CR, 8);
    QCOMPARE(b.port.written.size(), writes);
    QCOMPARE(b.engine.CommandLog().Row(0).value(0), QString("$06M"));
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
}

void TestTransactionEngine::commandLogKeepsAtMost500Rows()
{
    Bench b;
    b.engine.SetRoutingSuspended(true);
    for (int i = 1; i <= 501; ++i)
        b.engine.SendCommand("#" + QByteArray::number(i) + "\r", false, CheckedFrame, '>', CR, 2);
    QCOMPARE(b.engine.CommandLog().Count(), 500);
    QCOMPARE(b.engine.CommandLog().Row(0).value(0), QString("#501"));
    QCOMPARE(b.engine.CommandLog().Row(499).value(0), QString("#2"));
}

void TestTransactionEngine::pacing()
{
    Bench b;
    b.engine.SetRoutingSuspended(true);
    // "Fast": nothing goes out inside SendCommand; a second command during the delay replaces the first.
    b.engine.SetPacingTag(Fast);
    b.engine.SendCommand("$01M\r", false, CheckedFrame, '!', CR, 8);
    QVERIFY(b.port.written.isEmpty());
    QCOMPARE(b.engine.SpeedTimer().interval(), 50);
    b.engine.SendCommand("$02M\r", false, CheckedFrame, '!', CR, 8);
    QTRY_COMPARE_WITH_TIMEOUT(b.port.written.size(), 1, 1000);
    QCOMPARE(b.port.written.first(), QByteArray("$02M\r"));
    QCOMPARE(b.engine.CommandLog().Count(), 1);

    const int intervals[] = {1000, 300, 150};
    for (int tag = VerySlow; tag <= Average; ++tag) {
        b.engine.SetPacingTag(tag);
        b.engine.SendCommand("$03M\r", false, CheckedFrame, '!', CR, 8);
        QCOMPARE(b.engine.SpeedTimer().interval(), intervals[tag - 1]);
    }
    b.engine.SpeedTimer().stop();

    // "Very fast" writes and logs inside SendCommand.
    b.engine.SetPacingTag(VeryFast);
    b.engine.SendCommand("$04M\r", false, CheckedFrame, '!', CR, 8);
    QCOMPARE(b.port.written.last(), QByteArray("$04M\r"));
    QCOMPARE(b.engine.CommandLog().Row(0).value(0), QString("$04M"));
}

void TestTransactionEngine::heldCommandUnderStopSending()
{
    Bench b;
    b.engine.SetRoutingSuspended(true);
    b.engine.SetPacingTag(SendingStopped);
    b.engine.SendCommand("$01M\r", false, CheckedFrame, '!', CR, 8);
    QCOMPARE(b.engine.SpeedTimer().interval(), TransactionEngine::HeldCommandMs);
    QVERIFY(b.engine.SpeedTimer().isActive());
    QCoreApplication::processEvents();
    QVERIFY(b.port.written.isEmpty());
    // Releasing the hold as the pacing dialog does: the held command goes out shortly after.
    b.engine.SpeedTimer().setInterval(10);
    QTRY_COMPARE_WITH_TIMEOUT(b.port.written.size(), 1, 1000);
}

void TestTransactionEngine::reentrantSendFromDelivery()
{
    Bench b;
    b.engine.RequestBus(ToolKind::Terminal);
    int sent = 0;
    b.port.onWrite = [&](const QByteArray &command) { b.port.Receive("!" + Copy(command, 2, 2) + "\r"); };
    b.terminal.onReply = [&](const QByteArray &) {
        if (++sent < 5)
            b.engine.SendCommand("$" + HexByte(sent) + "M\r", false, CheckedFrame, '!', CR, 4);
    };
    b.engine.SendCommand("$00M\r", false, CheckedFrame, '!', CR, 4);
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 5, 1000);
    QCOMPARE(b.terminal.replies.last(), QByteArray("!04\r"));
    QCOMPARE(b.port.written.size(), 5);
    // Every row got its own response: no reply was lost or doubled by the nested sends.
    for (int row = 0; row < 5; ++row)
        QCOMPARE(b.engine.CommandLog().Row(row).size(), 3);
}

void TestTransactionEngine::receiveBufferStaysBounded()
{
    Bench b;
    // Before the first command nothing consumes what arrives.
    b.port.Receive(QByteArray(5000, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(b.engine.RxBuffer().size(), TransactionEngine::RxBufferLimit, 1000);
    // A stream without a start character during an exchange.
    b.engine.SetRoutingSuspended(true);
    b.engine.SendCommand("$01M\r", false, CheckedFrame, '!', CR, 4);
    for (int i = 0; i < 3; ++i)
        b.port.Receive(QByteArray(3000, 'y'));
    // All three pieces went through, and only the newest characters stayed.
    QTRY_COMPARE_WITH_TIMEOUT(b.engine.RxBuffer(), QByteArray(TransactionEngine::RxBufferLimit, 'y'), 1000);
}

void TestTransactionEngine::toolOwnershipAndRequests()
{
    Bench b;
    b.engine.SetRoutingSuspended(true);
    QVERIFY(b.engine.RequestBus(ToolKind::Search));
    QVERIFY(!b.engine.RoutingSuspended());
    QVERIFY(b.engine.RequestBus(ToolKind::Search));
    b.engine.DeliverReply("!x\r");
    QCOMPARE(b.search.replies.size(), 1);
    b.engine.ReleaseBus();
    QVERIFY(!b.engine.OwnsBus(ToolKind::Search));
    QCOMPARE(b.engine.Phase(), TransactionEngine::IdlePhase);

    // The memory window is granted only on its next request, and leaves routing as it is.
    b.engine.SetRoutingSuspended(true);
    QVERIFY(!b.engine.RequestBus(ToolKind::Memory));
    QVERIFY(b.engine.RoutingSuspended());
    QVERIFY(b.engine.RequestBus(ToolKind::Memory));
    b.engine.ReleaseBus();

    // With routing suspended every reply is dropped.
    b.engine.SetRoutingSuspended(true);
    b.engine.RequestBus(ToolKind::Memory);
    b.engine.DeliverReply("!y\r");
    QVERIFY(b.memory.replies.isEmpty());
}

void TestTransactionEngine::editorCycleOrderAndHandOver()
{
    Bench b;
    b.AnswerAlways("!0A0000\r");
    // Opened in an order unlike the cycle: the cycle still runs 4013, 4050, 4052.
    FakeEditor *last = b.OpenEditor(EditorKind::Type4052, "03");
    FakeEditor *first = b.OpenEditor(EditorKind::Type4013, "01");
    FakeEditor *middle = b.OpenEditor(EditorKind::Type4050, "02");
    b.engine.ReleaseBus();
    QTRY_VERIFY_WITH_TIMEOUT(b.port.written.size() >= 7, 1000);
    QCOMPARE(b.port.written.mid(0, 4), (QList<QByteArray>{"$016\r", "$026\r", "$036\r", "$016\r"}));
    QVERIFY(first->turns >= 1 && middle->turns >= 1 && last->turns >= 1);

    // A tool asking in the middle of an editor's exchange gets the bus at the end of that turn only.
    QTRY_VERIFY_WITH_TIMEOUT(b.engine.EditorTurnActive(), 1000);
    QVERIFY(!b.engine.RequestBus(ToolKind::Search));
    QVERIFY(b.engine.BusAsked(ToolKind::Search));
    QTRY_VERIFY_WITH_TIMEOUT(b.engine.OwnsBus(ToolKind::Search), 1000);
    QCOMPARE(b.engine.Phase(), TransactionEngine::ToolPhase);
    QVERIFY(b.engine.RequestBus(ToolKind::Search));
    QVERIFY(!first->asked && !middle->asked && !last->asked);
    // The editors rest while the tool holds the bus: no command is held for sending and no reply awaited.
    const int written = b.port.written.size();
    QVERIFY(!b.engine.SpeedTimer().isActive() && !b.engine.TimeOutTimer().isActive());

    // Giving the bus back restarts the cycle at the first open editor.
    b.engine.ReleaseBus();
    QCOMPARE(b.port.written.value(written), QByteArray("$016\r"));

    // A request noted during a turn and then granted directly is not granted a second time at a later turn's
    // end.
    QTRY_VERIFY_WITH_TIMEOUT(b.engine.EditorTurnActive(), 1000);
    QVERIFY(!b.engine.RequestBus(ToolKind::Terminal));
    b.engine.SetEditorTurnActive(false); // as choosing the "PC" item does
    QVERIFY(b.engine.RequestBus(ToolKind::Terminal));
    QVERIFY(!b.engine.BusAsked(ToolKind::Terminal));
    b.engine.ReleaseBus();
    const int turns = first->turns;
    QTRY_VERIFY_WITH_TIMEOUT(first->turns > turns + 2, 1000);
    QVERIFY(!b.engine.OwnsBus(ToolKind::Terminal));
}

void TestTransactionEngine::editorClosedAtEndOfTurn()
{
    Bench b;
    b.AnswerAlways("!0A0000\r");
    QPointer<FakeEditor> editor = b.OpenEditor(EditorKind::Type4060, "0A");
    FakeEditor *other = b.OpenEditor(EditorKind::Type4017, "0B");
    b.engine.ReleaseBus();
    QTRY_VERIFY_WITH_TIMEOUT(editor && editor->asked, 1000);
    ModuleRecordPtr record = b.modules.FindForOpen("0A");
    record->editorState = 2; // the user closed it during its exchange
    QTRY_VERIFY_WITH_TIMEOUT(!editor, 1000);
    QCOMPARE(record->editorState, 0);
    QVERIFY(!record->Editor());
    const int turns = other->turns;
    QTRY_VERIFY_WITH_TIMEOUT(other->turns > turns + 2, 1000); // the cycle goes on without it
}

void TestTransactionEngine::replyNeverReachesFreedEditor()
{
    Bench b;
    QPointer<FakeEditor> editor = b.OpenEditor(EditorKind::Type4050, "0A");
    b.engine.ReleaseBus();
    QVERIFY(editor->asked);
    delete editor.data(); // the window went away without its record being told
    b.port.Receive("!0A0000\r");
    QTRY_COMPARE_WITH_TIMEOUT(b.engine.Phase(), TransactionEngine::IdlePhase, 1000);
    QCOMPARE(b.modules.FindForOpen("0A")->editorState, 0);
}

void TestTransactionEngine::clearingRecordsSuspendsRouting()
{
    Bench b;
    b.AnswerAlways("!0A0000\r");
    QPointer<FakeEditor> editor = b.OpenEditor(EditorKind::Type4050, "0A");
    b.engine.ReleaseBus();
    QVERIFY(b.engine.EditorTurnActive());
    b.engine.ClearModuleRecords(false);
    QVERIFY(b.engine.RoutingSuspended());
    QVERIFY(!b.engine.EditorTurnActive());
    QCOMPARE(b.modules.Count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!editor, 1000); // freed from the event loop, never under a running handler

    b.engine.ClearModuleRecords(true);
    QVERIFY(!b.engine.RoutingSuspended());
}

QTEST_GUILESS_MAIN(TestTransactionEngine)
#include "tst_transaction_engine.moc"
