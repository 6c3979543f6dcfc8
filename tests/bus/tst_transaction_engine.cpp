#include "bus/text.h"
#include "bus/transaction_engine.h"
#include "sim/memory_port.h"
#include "sim/sim_bus.h"
#include "support/recording_tool.h"
#include "workspace/bus_session.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using namespace navix;

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
            engine.SendCommand({.command = "$" + address + "6\r",
                                .checksum = false,
                                .receiveMode = ReceiveMode::CheckedFrame,
                                .startChar = '!',
                                .endChar = CR,
                                .expectedLength = 8});
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

struct Bench
{
    Bench()
    {
        for (RecordingTool *tool : {&search, &terminal, &memory})
            tool->engine = &engine;
        engine.SetTimeOutMs(20);
        engine.SetPacingTag(VeryFast);
        router.RegisterTool(ToolKind::Search, &search);
        router.RegisterTool(ToolKind::Terminal, &terminal);
        router.RegisterTool(ToolKind::Memory, &memory);
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
        editor->setParent(&editors); // freed with the bench unless a test frees it first
        record->SetEditor(editor, editor);
        record->editorState = EditorState::Open;
        return editor;
    }
    // The rows of the command log, newest first, each as its visible cells.
    QList<QStringList> LogRows()
    {
        QList<QStringList> rows;
        for (int row = 0; row < engine.CommandLog().Count(); ++row)
            rows.append(engine.CommandLog().Row(row).mid(0, 2));
        return rows;
    }

    BusSession session{std::make_unique<MemoryPort>()};
    ModuleRegistry &modules = session.Modules();
    TransactionEngine &engine = session.Engine();
    BusRouter &router = session.Router();
    MemoryPort &port = static_cast<MemoryPort &>(session.Port());
    RecordingTool search, terminal, memory;
    QObject editors;
};

// The checksum of a reply as a module puts it on the line, directly in front of its CR.
QByteArray ModuleLine(const QByteArray &body)
{
    return body + ComputeChecksum(body) + CR;
}
} // namespace

class TestTransactionEngine : public QObject
{
    Q_OBJECT
private slots:
    void checksumIsInsertedAndVerified();
    void wrongChecksumDeliversEmptyAndLogsRow();
    void framesAsRead_data();
    void framesAsRead();
    void timeOutLogsAndDeliversEmpty();
    void commandLogKeepsAtMost500Rows();
    void commandLogCsvHoldsRoundTrips();
    void pacing();
    void heldCommandUnderStopSending();
    void reentrantSendFromDelivery();
    void receiveBufferStaysBounded();
    void toolOwnershipAndRequests();
    void editorCycleOrderAndHandOver();
    void editorClosedAtEndOfTurn();
    void replyNeverReachesFreedEditor();
    void clearingRecordsSuspendsRouting();
    void checksumOfFramesReadByLength_data();
    void checksumOfFramesReadByLength();
    void crBehindFrameReadByLengthIsNoLine_data();
    void crBehindFrameReadByLengthIsNoLine();
    void inputBeforeTheWriteIsDropped();
    void replyStandingInThePortIsNoTimeOut();
    void editorCycleStaysInStep_data();
    void editorCycleStaysInStep();
};

void TestTransactionEngine::checksumIsInsertedAndVerified()
{
    Bench b;
    b.router.RequestBus(ToolKind::Terminal);
    b.AnswerAlways("!0182\r");
    b.engine.SendCommand({.command = "$012\r",
                          .checksum = true,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 4});
    QCOMPARE(b.port.written, QList<QByteArray>{"$012B7\r"});
    QCOMPARE(b.engine.ExpectedLength(), 6);
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 1, 1000);
    QCOMPARE(b.terminal.replies.first(), QByteArray("!01\r"));
    QCOMPARE(b.terminal.statuses, QList<ReplyStatus>{ReplyStatus::Answered});
    const QStringList row = b.engine.CommandLog().Row(0);
    QCOMPARE(row.value(0), QString("$012B7"));
    QCOMPARE(row.value(1), QString("!0182"));

    // Announced length 8 with checksum: a 10-character frame, checksum at positions 8 and 9.
    const QByteArray body = "!0A4013";
    b.AnswerAlways(body + ComputeChecksum(body) + "\r");
    b.engine.SendCommand({.command = "$0AM\r",
                          .checksum = true,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 2, 1000);
    QCOMPARE(b.terminal.replies.last(), QByteArray("!0A4013\r"));

    // An empty command stays empty; the checksum of nothing is nothing.
    b.engine.SendCommand({.command = "\r",
                          .checksum = true,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 4});
    QCOMPARE(b.port.written.last(), QByteArray("\r"));
}

void TestTransactionEngine::wrongChecksumDeliversEmptyAndLogsRow()
{
    Bench b;
    b.router.RequestBus(ToolKind::Terminal);
    b.AnswerAlways("!0183\r!0182\r");
    b.engine.SendCommand({.command = "$012\r",
                          .checksum = true,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 4});
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 2, 1000);
    // The bad frame is consumed and reported as an empty reply; the good one behind it is still delivered.
    QCOMPARE(b.terminal.replies.at(0), QByteArray());
    QCOMPARE(b.terminal.replies.at(1), QByteArray("!01\r"));
    QCOMPARE(b.terminal.statuses, (QList<ReplyStatus>{ReplyStatus::WrongChecksum, ReplyStatus::Answered}));
    QCOMPARE(b.engine.CommandLog().Row(0).value(0), QString("Wrong checksum !"));
    QCOMPARE(b.engine.CommandLog().Row(1).value(1), QString("!0183"));
}

void TestTransactionEngine::framesAsRead_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<char>("start");
    QTest::addColumn<char>("end");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArrayList>("pieces"); // each arrives with a notification of its own
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QString>("logged");  // the reply cell of the newest row of the log; empty: no row
    QTest::addColumn<QByteArray>("left"); // in the receive buffer after the reply
    const int checked = static_cast<int>(ReceiveMode::CheckedFrame);
    QTest::newRow("noise before the start, two frames at once")
        << checked << '!' << CR << 4 << QByteArrayList{"xx\x01!01\r!02\r"} << QByteArrayList{"!01\r", "!02\r"}
        << "!01" << QByteArray();
    // A second start character inside the frame window drops the broken frame and waits for more.
    QTest::newRow("second start inside the frame")
        << checked << '!' << CR << 8 << QByteArrayList{"!0A!0B40", "17\r"} << QByteArrayList{"!0B4017\r"}
        << "!0B4017" << QByteArray();
    QTest::newRow("reply in pieces") << checked << '!' << CR << 10 << QByteArrayList{"!0A", "4006", "00\r"}
                                     << QByteArrayList{"!0A400600\r"} << "!0A400600" << QByteArray();
    QTest::newRow("checked frame with a wrong end")
        << checked << '!' << CR << 4 << QByteArrayList{"!01X"} << QByteArrayList{QByteArray()} << "Time out !"
        << QByteArray();
    QTest::newRow("unchecked frame ignores its last character")
        << static_cast<int>(ReceiveMode::UncheckedFrame) << '>' << ' ' << 5 << QByteArrayList{">1234X"}
        << QByteArrayList{">1234"} << ">1234" << QByteArray("X");
    // Raw and line exchanges are not logged.
    QTest::newRow("raw text as it comes")
        << static_cast<int>(ReceiveMode::RawMode) << ' ' << ' ' << 0 << QByteArrayList{"?01\rjunk"}
        << QByteArrayList{"?01\rjunk"} << "" << QByteArray();
    // A line at once; the rest with the time-out, without a "Time out !" row.
    QTest::newRow("lines") << static_cast<int>(ReceiveMode::LineMode) << ' ' << ' ' << 0
                           << QByteArrayList{"ABC\rDE"} << QByteArrayList{"ABC\r", "DE"} << ""
                           << QByteArray();
}

void TestTransactionEngine::framesAsRead()
{
    QFETCH(int, mode);
    QFETCH(char, start);
    QFETCH(char, end);
    QFETCH(int, length);
    QFETCH(QByteArrayList, pieces);
    QFETCH(QByteArrayList, replies);
    QFETCH(QString, logged);
    QFETCH(QByteArray, left);
    Bench b;
    b.router.RequestBus(ToolKind::Search);
    b.engine.SendCommand({.command = "$01M\r",
                          .checksum = false,
                          .receiveMode = static_cast<ReceiveMode>(mode),
                          .startChar = start,
                          .endChar = end,
                          .expectedLength = length});
    b.port.ReceivePieces(pieces);
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), replies.size(), 1000);
    QCOMPARE(b.search.replies, replies);
    QCOMPARE(b.engine.RxBuffer(), left);
    if (logged.isEmpty())
        QCOMPARE(b.engine.CommandLog().Count(), 0);
    else
        QCOMPARE(b.engine.CommandLog().Row(0).value(1), logged);
}

void TestTransactionEngine::commandLogCsvHoldsRoundTrips()
{
    constexpr int ReplyDelayMs = 5;
    Bench b;
    b.router.RequestBus(ToolKind::Search);
    // The first command is answered a while after it was written, the second never.
    b.port.onWrite = [&b](const QByteArray &command) {
        if (command == "$01M\r")
            QTimer::singleShot(ReplyDelayMs, Qt::PreciseTimer, &b.port, [&b] { b.port.Receive("!01,2\r"); });
    };
    for (const QByteArray command : {"$01M\r", "$05M\r"}) {
        const qsizetype before = b.search.replies.size();
        b.engine.SendCommand({.command = command, .expectedLength = 6});
        QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), before + 1, 1000);
    }

    const QList<QByteArray> lines = b.engine.CommandLog().Csv().split('\n');
    QCOMPARE(lines.size(), 4); // titles, two rows, nothing after the last line end
    QCOMPARE(lines[0], QByteArray("Command,Response,Time,Round trip (ms)\r"));
    // Fields split at every comma (the quoted reply of the second row falls in two).
    const auto fields = [&lines](int line) { return lines[line].chopped(1).split(','); };
    // Newest first; the reply's comma is quoted.
    QCOMPARE(fields(1).mid(0, 2), (QList<QByteArray>{"$05M", "Time out !"}));
    QVERIFY(lines[2].startsWith("$01M,\"!01,2\","));
    bool number = false;
    const double timedOutMs = fields(1).value(3).toDouble(&number);
    QVERIFY2(number && timedOutMs >= b.engine.TimeOutMs(), lines[1]);
    const double answeredMs = fields(2).value(4).toDouble(&number);
    QVERIFY2(number && answeredMs >= ReplyDelayMs, lines[2]);
    QCOMPARE(QByteArray::number(b.engine.LastRoundTripMs(), 'f', 1), fields(1).value(3));

    // The row's tooltip tells the same round trip.
    CommandLogModel &log = b.engine.CommandLog();
    log.Publish();
    QCOMPARE(log.index(0, 1).data(Qt::ToolTipRole).toString(), "Round trip: " + fields(1).value(3) + " ms");
}

void TestTransactionEngine::timeOutLogsAndDeliversEmpty()
{
    Bench b;
    b.router.RequestBus(ToolKind::Search);
    b.engine.SendCommand({.command = "$05M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QCOMPARE(b.engine.State(), EngineState::AwaitingReply);
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
    QCOMPARE(b.search.replies.first(), QByteArray());
    QCOMPARE(b.search.statuses, QList<ReplyStatus>{ReplyStatus::TimedOut});
    QCOMPARE(b.engine.State(), EngineState::Idle);
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
    b.engine.SendCommand({.command = "$06M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QCOMPARE(b.port.written.size(), writes);
    QCOMPARE(b.engine.CommandLog().Row(0).value(0), QString("$06M"));
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
    QCOMPARE(b.search.statuses.last(), ReplyStatus::PortClosed);
}

void TestTransactionEngine::commandLogKeepsAtMost500Rows()
{
    Bench b;
    b.router.SuspendRouting();
    for (int i = 1; i <= 501; ++i)
        b.engine.SendCommand({.command = "#" + QByteArray::number(i) + "\r",
                              .checksum = false,
                              .receiveMode = ReceiveMode::CheckedFrame,
                              .startChar = '>',
                              .endChar = CR,
                              .expectedLength = 2});
    QCOMPARE(b.engine.CommandLog().Count(), 500);
    QCOMPARE(b.engine.CommandLog().Row(0).value(0), QString("#501"));
    QCOMPARE(b.engine.CommandLog().Row(499).value(0), QString("#2"));
}

void TestTransactionEngine::pacing()
{
    Bench b;
    b.router.SuspendRouting();
    // "Fast": nothing goes out inside SendCommand; a second command during the delay replaces the first.
    b.engine.SetPacingTag(Fast);
    b.engine.SendCommand({.command = "$01M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QVERIFY(b.port.written.isEmpty());
    QCOMPARE(b.engine.PacingDelayMs(), 50);
    QCOMPARE(b.engine.State(), EngineState::Holding);
    b.engine.SendCommand({.command = "$02M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QTRY_COMPARE_WITH_TIMEOUT(b.port.written.size(), 1, 1000);
    QCOMPARE(b.port.written.first(), QByteArray("$02M\r"));
    QCOMPARE(b.engine.CommandLog().Count(), 1);

    const int intervals[] = {1000, 300, 150};
    for (int tag = VerySlow; tag <= Average; ++tag) {
        b.engine.SetPacingTag(tag);
        b.engine.SendCommand({.command = "$03M\r",
                              .checksum = false,
                              .receiveMode = ReceiveMode::CheckedFrame,
                              .startChar = '!',
                              .endChar = CR,
                              .expectedLength = 8});
        QCOMPARE(b.engine.PacingDelayMs(), intervals[tag - 1]);
    }

    // "Very fast" writes and logs inside SendCommand.
    b.engine.SetPacingTag(VeryFast);
    b.engine.SendCommand({.command = "$04M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QCOMPARE(b.port.written.last(), QByteArray("$04M\r"));
    QCOMPARE(b.engine.CommandLog().Row(0).value(0), QString("$04M"));
}

void TestTransactionEngine::heldCommandUnderStopSending()
{
    Bench b;
    b.router.SuspendRouting();
    b.engine.SetPacingTag(SendingStopped);
    b.engine.SendCommand({.command = "$01M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QCOMPARE(b.engine.PacingDelayMs(), TransactionEngine::HeldCommandMs);
    QVERIFY(b.engine.CommandWaiting());
    QCoreApplication::processEvents();
    QVERIFY(b.port.written.isEmpty());
    // Releasing the hold as the pacing dialog does: the held command goes out shortly after.
    b.engine.ReleaseHeldCommand();
    QTRY_COMPARE_WITH_TIMEOUT(b.port.written.size(), 1, 1000);
}

void TestTransactionEngine::reentrantSendFromDelivery()
{
    Bench b;
    b.router.RequestBus(ToolKind::Terminal);
    int sent = 0;
    b.port.onWrite = [&](const QByteArray &command) { b.port.Receive("!" + Copy(command, 2, 2) + "\r"); };
    b.terminal.onReply = [&](const QByteArray &) {
        if (++sent < 5)
            b.engine.SendCommand({.command = "$" + HexByte(sent) + "M\r",
                                  .checksum = false,
                                  .receiveMode = ReceiveMode::CheckedFrame,
                                  .startChar = '!',
                                  .endChar = CR,
                                  .expectedLength = 4});
    };
    b.engine.SendCommand({.command = "$00M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 4});
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 5, 1000);
    QCOMPARE(b.terminal.replies.last(), QByteArray("!04\r"));
    QCOMPARE(b.port.written.size(), 5);
    // Every row got its own response: no reply was lost or doubled by the nested sends.
    for (int row = 0; row < 5; ++row)
        QCOMPARE(b.engine.CommandLog().Row(row).size(), 4); // command, response, time, round trip
}

void TestTransactionEngine::receiveBufferStaysBounded()
{
    Bench b;
    // Before the first command nothing consumes what arrives.
    b.port.Receive(QByteArray(5000, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(b.engine.RxBuffer().size(), TransactionEngine::RxBufferLimit, 1000);
    // A stream without a start character during an exchange.
    b.router.SuspendRouting();
    b.engine.SendCommand({.command = "$01M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 4});
    for (int i = 0; i < 3; ++i)
        b.port.Receive(QByteArray(3000, 'y'));
    // All three pieces went through, and only the newest characters stayed.
    QTRY_COMPARE_WITH_TIMEOUT(b.engine.RxBuffer(), QByteArray(TransactionEngine::RxBufferLimit, 'y'), 1000);
}

void TestTransactionEngine::toolOwnershipAndRequests()
{
    Bench b;
    b.router.SuspendRouting();
    QVERIFY(b.router.RequestBus(ToolKind::Search));
    QVERIFY(!b.router.RoutingSuspended());
    QVERIFY(b.router.RequestBus(ToolKind::Search));
    b.router.DeliverReply("!x\r");
    QCOMPARE(b.search.replies.size(), 1);
    b.router.ReleaseBus();
    QVERIFY(!b.router.OwnsBus(ToolKind::Search));
    QCOMPARE(b.router.State(), RouterState::Idle);

    // The memory window is granted only on its next request, and leaves routing as it is.
    b.router.SuspendRouting();
    QVERIFY(!b.router.RequestBus(ToolKind::Memory));
    QVERIFY(b.router.RoutingSuspended());
    QVERIFY(b.router.RequestBus(ToolKind::Memory));
    b.router.ReleaseBus();

    // With routing suspended every reply is dropped.
    b.router.SuspendRouting();
    b.router.RequestBus(ToolKind::Memory);
    b.router.DeliverReply("!y\r");
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
    b.router.ReleaseBus();
    QTRY_VERIFY_WITH_TIMEOUT(b.port.written.size() >= 7, 1000);
    QCOMPARE(b.port.written.mid(0, 4), (QList<QByteArray>{"$016\r", "$026\r", "$036\r", "$016\r"}));
    QVERIFY(first->turns >= 1 && middle->turns >= 1 && last->turns >= 1);

    // A tool asking in the middle of an editor's exchange gets the bus at the end of that turn only.
    QTRY_VERIFY_WITH_TIMEOUT(b.router.EditorTurnActive(), 1000);
    QVERIFY(!b.router.RequestBus(ToolKind::Search));
    QVERIFY(b.router.BusAsked(ToolKind::Search));
    QTRY_VERIFY_WITH_TIMEOUT(b.router.OwnsBus(ToolKind::Search), 1000);
    QCOMPARE(b.router.State(), RouterState::ToolHolds);
    QVERIFY(b.router.RequestBus(ToolKind::Search));
    QVERIFY(!first->asked && !middle->asked && !last->asked);
    // The editors rest while the tool holds the bus: no command is held for sending and no reply awaited.
    const int written = b.port.written.size();
    QVERIFY(!b.engine.CommandWaiting() && !b.engine.AwaitingReply());

    // Giving the bus back restarts the cycle at the first open editor.
    b.router.ReleaseBus();
    QCOMPARE(b.port.written.value(written), QByteArray("$016\r"));

    // A request noted during a turn and then granted directly is not granted a second time at a later turn's
    // end.
    QTRY_VERIFY_WITH_TIMEOUT(b.router.EditorTurnActive(), 1000);
    QVERIFY(!b.router.RequestBus(ToolKind::Terminal));
    b.router.EndEditorTurn(); // as choosing the "PC" item does
    QVERIFY(b.router.RequestBus(ToolKind::Terminal));
    QVERIFY(!b.router.BusAsked(ToolKind::Terminal));
    b.router.ReleaseBus();
    const int turns = first->turns;
    QTRY_VERIFY_WITH_TIMEOUT(first->turns > turns + 2, 1000);
    QVERIFY(!b.router.OwnsBus(ToolKind::Terminal));
}

void TestTransactionEngine::editorClosedAtEndOfTurn()
{
    Bench b;
    b.AnswerAlways("!0A0000\r");
    QPointer<FakeEditor> editor = b.OpenEditor(EditorKind::Type4060, "0A");
    FakeEditor *other = b.OpenEditor(EditorKind::Type4017, "0B");
    b.router.ReleaseBus();
    QTRY_VERIFY_WITH_TIMEOUT(editor && editor->asked, 1000);
    ModuleRecordPtr record = b.modules.FindForOpen("0A");
    record->editorState = EditorState::CloseAtTurnEnd; // the user closed it during its exchange
    QTRY_VERIFY_WITH_TIMEOUT(!editor, 1000);
    QCOMPARE(record->editorState, EditorState::Closed);
    QVERIFY(!record->Editor());
    const int turns = other->turns;
    QTRY_VERIFY_WITH_TIMEOUT(other->turns > turns + 2, 1000); // the cycle goes on without it
}

void TestTransactionEngine::replyNeverReachesFreedEditor()
{
    Bench b;
    QPointer<FakeEditor> editor = b.OpenEditor(EditorKind::Type4050, "0A");
    b.router.ReleaseBus();
    QVERIFY(editor->asked);
    delete editor.data(); // the window went away without its record being told
    b.port.Receive("!0A0000\r");
    QTRY_COMPARE_WITH_TIMEOUT(b.router.State(), RouterState::Idle, 1000);
    QCOMPARE(b.modules.FindForOpen("0A")->editorState, EditorState::Closed);
}

void TestTransactionEngine::clearingRecordsSuspendsRouting()
{
    Bench b;
    b.AnswerAlways("!0A0000\r");
    QPointer<FakeEditor> editor = b.OpenEditor(EditorKind::Type4050, "0A");
    b.router.ReleaseBus();
    QVERIFY(b.router.EditorTurnActive());
    b.router.ClearModuleRecords(false);
    QVERIFY(b.router.RoutingSuspended());
    QVERIFY(!b.router.EditorTurnActive());
    QCOMPARE(b.modules.Count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!editor, 1000); // freed from the event loop, never under a running handler

    b.router.ClearModuleRecords(true);
    QVERIFY(!b.router.RoutingSuspended());
}

void TestTransactionEngine::checksumOfFramesReadByLength_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<char>("start");
    QTest::addColumn<char>("end");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("line");      // as the module sends it
    QTest::addColumn<QByteArray>("delivered"); // empty for a wrong checksum
    // Read up to the CR: the checksum stands in front of the last character of the frame.
    QTest::newRow("name, checked frame") << int(ReceiveMode::CheckedFrame) << '!' << CR << 8
                                         << ModuleLine("!104013") << QByteArray("!104013\r");
    QTest::newRow("acknowledgement of the search's probe")
        << int(ReceiveMode::UncheckedFrame) << '!' << CR << 4 << ModuleLine("!00") << QByteArray("!00\r");
    // Read by length without the CR: the checksum is the frame's last two characters.
    QTest::newRow("Tvr clock") << int(ReceiveMode::UncheckedFrame) << '>' << ' ' << 20
                               << ModuleLine(">07/12/24 1 12:30:05") << QByteArray(">07/12/24 1 12:30:05");
    QTest::newRow("Tvr limits") << int(ReceiveMode::UncheckedFrame) << '>' << ' ' << 19
                                << ModuleLine(">02445A6E9C71C84A58") << QByteArray(">02445A6E9C71C84A58");
    QTest::newRow("Tvr status word") << int(ReceiveMode::UncheckedFrame) << '!' << ' ' << 3
                                     << ModuleLine("!21") << QByteArray("!21");
    QTest::newRow("Tvr constant, end character CR")
        << int(ReceiveMode::UncheckedFrame) << '>' << CR << 3 << ModuleLine(">10") << QByteArray(">10");
    QTest::newRow("Tvr pointer") << int(ReceiveMode::UncheckedFrame) << '>' << ' ' << 5 << ModuleLine(">01F8")
                                 << QByteArray(">01F8");
    QTest::newRow("Tvr memory record") << int(ReceiveMode::UncheckedFrame) << '>' << ' ' << 17
                                       << ModuleLine(">0530122403305001") << QByteArray(">0530122403305001");
    QTest::newRow("Tvr acknowledgement")
        << int(ReceiveMode::UncheckedFrame) << '!' << ' ' << 3 << ModuleLine("!10") << QByteArray("!10");
    QByteArray wrong = ModuleLine(">0530122403305001");
    wrong[wrong.size() - 2] = wrong[wrong.size() - 2] == '0' ? '1' : '0';
    QTest::newRow("Tvr memory record, wrong checksum")
        << int(ReceiveMode::UncheckedFrame) << '>' << ' ' << 17 << wrong << QByteArray();
    // A checksum standing in front of the last body character, as no module sends it, is wrong.
    QTest::newRow("Tvr clock, checksum misplaced")
        << int(ReceiveMode::UncheckedFrame) << '>' << ' ' << 20
        << QByteArray(">07/12/24 1 12:30:0" + ComputeChecksum(">07/12/24 1 12:30:0") + "5\r") << QByteArray();
}

void TestTransactionEngine::checksumOfFramesReadByLength()
{
    QFETCH(int, mode);
    QFETCH(char, start);
    QFETCH(char, end);
    QFETCH(int, length);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, delivered);
    Bench b;
    b.router.RequestBus(ToolKind::Terminal);
    b.AnswerAlways(line);
    b.engine.SendCommand({.command = "@10X\r",
                          .checksum = true,
                          .receiveMode = static_cast<ReceiveMode>(mode),
                          .startChar = start,
                          .endChar = end,
                          .expectedLength = length});
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 1, 1000);
    QCOMPARE(b.terminal.replies.first(), delivered);
    const QList<QStringList> rows = b.LogRows();
    if (delivered.isEmpty())
        QCOMPARE(rows.first(), QStringList{"Wrong checksum !"});
    else
        QCOMPARE(rows.size(), 1);
    // The frame as received, CR left out, stands in the response column either way.
    QCOMPARE(rows.last().value(1), FromWire(QByteArray(line).replace(CR, QByteArray())));
    // Nothing of the reply is left over, not even the CR behind a frame read short of it.
    QVERIFY(b.engine.RxBuffer().isEmpty());
}

void TestTransactionEngine::crBehindFrameReadByLengthIsNoLine_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<bool>("checksum");
    QTest::newRow("CR in the frame's notification") << QList<QByteArray>{">01F8\r"} << false;
    QTest::newRow("CR after the next command went out") << QList<QByteArray>{">01F8", "\r"} << false;
    QTest::newRow("with checksum, CR after the next command went out")
        << QList<QByteArray>{">01F8" + ComputeChecksum(">01F8"), "\r"} << true;
}

void TestTransactionEngine::crBehindFrameReadByLengthIsNoLine()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(bool, checksum);
    Bench b;
    b.router.RequestBus(ToolKind::Terminal);
    // The memory window's pointer poll, read by length short of its CR; the terminal's line command follows
    // at once.
    b.terminal.onReply = [&](const QByteArray &reply) {
        if (reply.startsWith('>'))
            b.engine.SendCommand({.command = "$01M\r",
                                  .checksum = false,
                                  .receiveMode = ReceiveMode::LineMode,
                                  .startChar = ' ',
                                  .endChar = ' ',
                                  .expectedLength = 0});
    };
    b.engine.SendCommand({.command = "@10E\r",
                          .checksum = checksum,
                          .receiveMode = ReceiveMode::UncheckedFrame,
                          .startChar = '>',
                          .endChar = ' ',
                          .expectedLength = 5});
    for (const QByteArray &piece : pieces) {
        b.port.Receive(piece);
        QTRY_VERIFY_WITH_TIMEOUT(b.engine.RxBuffer().isEmpty() && b.terminal.replies.size() == 1, 1000);
    }
    QCOMPARE(b.port.written.last(), QByteArray("$01M\r"));
    b.port.Receive("!014050\r");
    QTRY_COMPARE_WITH_TIMEOUT(b.terminal.replies.size(), 2, 1000);
    QCOMPARE(b.terminal.replies, (QList<QByteArray>{">01F8", "!014050\r"}));
}

void TestTransactionEngine::inputBeforeTheWriteIsDropped()
{
    Bench b;
    b.router.RequestBus(ToolKind::Search);
    // The module at 05 answers after the time-out, while the next command is held for its pacing delay.
    b.search.onReply = [&](const QByteArray &reply) {
        if (reply.isEmpty() && b.port.written.size() == 1) {
            b.engine.SetPacingTag(SendingStopped);
            b.engine.SendCommand({.command = "$06M\r",
                                  .checksum = false,
                                  .receiveMode = ReceiveMode::CheckedFrame,
                                  .startChar = '!',
                                  .endChar = CR,
                                  .expectedLength = 8});
        }
    };
    b.engine.SendCommand({.command = "$05M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
    QVERIFY(b.engine.CommandWaiting());
    b.port.Receive("!054013\r");
    QTRY_COMPARE_WITH_TIMEOUT(b.engine.RxBuffer(), QByteArray("!054013\r"), 1000);
    QCOMPARE(b.search.replies.size(), 1); // the late reply answered nothing
    b.AnswerAlways("!064017\r");
    b.engine.ReleaseHeldCommand(); // the hold released, as the pacing dialog does
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 2, 1000);
    QCOMPARE(b.search.replies.last(), QByteArray("!064017\r"));
    QCOMPARE(b.port.written.size(), 2);
    QCOMPARE(b.LogRows(), (QList<QStringList>{{"$06M", "!064017"},
                                              {TransactionEngine::DroppedRowText, "!054013"},
                                              {"$05M", "Time out !"}}));

    // Whatever stands in the buffer before the first command, also without a start character, is dropped
    // the same way; several lines show on one row.
    Bench fresh;
    fresh.router.SuspendRouting();
    fresh.port.Receive("!01\r~!02\r");
    QTRY_COMPARE_WITH_TIMEOUT(fresh.engine.RxBuffer().size(), 9, 1000);
    fresh.engine.SendCommand({.command = "$03M\r",
                              .checksum = false,
                              .receiveMode = ReceiveMode::CheckedFrame,
                              .startChar = '!',
                              .endChar = CR,
                              .expectedLength = 8});
    QVERIFY(fresh.engine.RxBuffer().isEmpty());
    QCOMPARE(fresh.LogRows(),
             (QList<QStringList>{{"$03M"}, {TransactionEngine::DroppedRowText, "!01 ~!02"}}));
}

void TestTransactionEngine::replyStandingInThePortIsNoTimeOut()
{
    Bench b;
    b.router.RequestBus(ToolKind::Search);
    b.engine.SetPacingTag(Fast);
    // The program is held up: replies reach the port, but their notification comes only after the time-out
    // timer has fired.
    b.port.HoldNotifications(true);
    b.AnswerAlways("!054013\r");
    b.engine.SendCommand({.command = "$05M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 1, 1000);
    QCOMPARE(b.search.replies.first(), QByteArray("!054013\r"));
    QCOMPARE(b.LogRows(), (QList<QStringList>{{"$05M", "!054013"}}));

    // A reply that reaches the port after its time-out, while the program is held up, is dropped when the
    // next command goes out; released, the port announces nothing that could answer that command.
    b.AnswerAlways(QByteArray());
    b.engine.SendCommand({.command = "$06M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 2, 1000);
    QCOMPARE(b.search.replies.last(), QByteArray());
    b.port.Receive("!064017\r");
    b.engine.SendCommand({.command = "$07M\r",
                          .checksum = false,
                          .receiveMode = ReceiveMode::CheckedFrame,
                          .startChar = '!',
                          .endChar = CR,
                          .expectedLength = 8});
    QTRY_COMPARE_WITH_TIMEOUT(b.port.written.size(), 3, 1000);
    b.port.HoldNotifications(false);
    QTRY_COMPARE_WITH_TIMEOUT(b.search.replies.size(), 3, 1000);
    QCOMPARE(b.search.replies.last(), QByteArray());
    QCOMPARE(b.LogRows().mid(0, 3), (QList<QStringList>{{"$07M", "Time out !"},
                                                        {TransactionEngine::DroppedRowText, "!064017"},
                                                        {"$06M", "Time out !"}}));
}

void TestTransactionEngine::editorCycleStaysInStep_data()
{
    QTest::addColumn<bool>("heldUp");
    QTest::newRow("a module answers once 20 ms after the time-out") << false;
    QTest::newRow("the program is held up while replies stand in the port") << true;
}

void TestTransactionEngine::editorCycleStaysInStep()
{
    QFETCH(bool, heldUp);
    constexpr int TimeOutMs = 20;
    Bench b;
    b.engine.SetPacingTag(Fast);
    b.engine.SetTimeOutMs(TimeOutMs);
    SimBus bus;
    bus.SetFrozen(true);
    // Three relay modules, each telling itself apart by the relays it has on.
    for (int address = 1; address <= 3; ++address)
        bus.AddModule("4060", HexByte(address) + "400600").outputs = static_cast<quint8>(address);
    SimModule &slow = *bus.Module(1);
    if (heldUp) {
        b.port.HoldNotifications(true);
    } else {
        slow.lateReplyMs = TimeOutMs + 20;
        QObject::connect(&bus, &SimBus::Exchanged, &bus, [&slow](const SimExchange &exchange) {
            if (exchange.command == "$016\r")
                slow.lateReplyMs = 0;
        });
    }
    bus.Attach(b.port);
    QList<FakeEditor *> editors;
    for (const QByteArray address : {"01", "02", "03"})
        editors.append(b.OpenEditor(EditorKind::Type4060, address));
    b.router.ReleaseBus();
    QTRY_VERIFY_WITH_TIMEOUT(editors.last()->turns >= 4, 5000);

    // Every reply an editor got is its own module's; only the late one's first turn may have ended empty.
    for (int index = 0; index < editors.size(); ++index) {
        const QByteArray own = "!0" + QByteArray::number(index + 1) + "0000\r";
        QList<QByteArray> replies = editors[index]->replies;
        if (index == 0 && !heldUp && replies.value(0).isEmpty())
            replies.removeFirst();
        QVERIFY2(std::all_of(replies.begin(), replies.end(),
                             [&](const QByteArray &reply) { return reply == own; }),
                 qPrintable(QString("editor %1: %2").arg(index + 1).arg(FromWire(replies.join('|')))));
    }
}

QTEST_GUILESS_MAIN(TestTransactionEngine)
#include "tst_transaction_engine.moc"
