// The simulated modules against the program's own exchanges: every editor turn polls its module on the
// in-process bus, without and with checksums, and runs what its user can ask for (configuration write,
// calibrations, writes); the search scans each kind of module, the one at 00 in and out of INIT; the memory
// window polls, sets and reads a Tvr 5x. Every reply the module sent must reach the program whole as the frame
// the engine was told to read, ended by CR and, where the module uses them, carrying the right checksum.

#include "engine_harness.h"
#include "editors/turn_bench.h"

#include "editors/digital_turns.h"
#include "editors/turn_4013.h"
#include "editors/turn_4017.h"
#include "editors/turn_4021.h"
#include "search/module_scan.h"
#include "support/find_control.h"
#include "tools/memory_window.h"

#include "bus/text.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <functional>

using namespace navix;

namespace {
// Sits between the engine and the router: every reply the engine hands on is held against what the module
// sent for the command that went out last, then passed on to the turns or the tool that holds the bus.
class CheckingSink : public ReplySink
{
public:
    CheckingSink(TestWorkspace &workspace, const SimBus &bus, bool moduleChecksum)
        : workspace(workspace), bus(bus), moduleChecksum(moduleChecksum)
    {
        workspace.engine.SetReplySink(this);
    }
    ~CheckingSink() override { workspace.engine.SetReplySink(&workspace.router); }
    CheckingSink(const CheckingSink &) = delete;
    CheckingSink &operator=(const CheckingSink &) = delete;

    void DeliverReply(const QByteArray &reply) override
    {
        Check(reply);
        workspace.router.DeliverReply(reply);
    }

    // What went wrong, and whether the program and the module kept to the line: every command heard as
    // written, nothing of a reply left behind to be dropped, no wrong checksum but those the module sent.
    QStringList Faults() const
    {
        QStringList found = faults;
        if (bus.Commands() != workspace.port.written)
            found.append("the module heard other commands than the program wrote");
        const CommandLogModel &log = workspace.engine.CommandLog();
        int wrongChecksums = 0;
        for (int n = 0; n < log.Count(); ++n) {
            if (log.Row(n).contains(TransactionEngine::DroppedRowText))
                found.append(log.Row(n).join(' '));
            wrongChecksums += log.Row(n).contains("Wrong checksum !") ? 1 : 0;
        }
        if (wrongChecksums != badChecksums)
            found.append(QString("%1 wrong checksums logged, %2 sent").arg(wrongChecksums).arg(badChecksums));
        return found;
    }

    int answered = 0;
    int badChecksums = 0;

private:
    void Check(const QByteArray &reply)
    {
        const TransactionEngine &engine = workspace.engine;
        const SimExchange heard = bus.Transcript().last();
        const ReplyStatus status = engine.LastReplyStatus();
        if (heard.reply.isEmpty()) {
            // A module that keeps silent (the clock probe of a plain 4013) leaves a time-out.
            if (status != ReplyStatus::TimedOut || !reply.isEmpty())
                faults.append(FromWire(heard.command) + " unanswered, yet read as " + FromWire(reply));
            return;
        }
        if (!heard.reply.endsWith(CR)) {
            faults.append(FromWire(heard.command) + " answered without CR: " + FromWire(heard.reply));
            return;
        }
        QByteArray body = heard.reply.chopped(1);
        if (moduleChecksum) {
            const QByteArray sum = body.right(2);
            body.chop(2);
            if (sum != ComputeChecksum(body)) {
                // A wrong checksum is read as no reply at all.
                ++badChecksums;
                if (status != ReplyStatus::WrongChecksum || !reply.isEmpty())
                    faults.append(FromWire(heard.command) + " got a wrong checksum, yet read as " +
                                  FromWire(reply));
                return;
            }
        }
        if (body.startsWith('?')) {
            // A refusal (the INIT probe of a module outside INIT) is no reply the program waits for.
            if (status != ReplyStatus::TimedOut || !reply.isEmpty())
                faults.append(FromWire(heard.command) + " refused, yet read as " + FromWire(reply));
            return;
        }
        ++answered;
        QByteArray read = reply;
        if (read.endsWith(CR))
            read.chop(1);
        // The engine counts the checksum in the length it waits for and hands the frame on without it.
        const int length = engine.ExpectedLength() - (engine.ChecksumInUse() ? 2 : 0);
        const bool frame = engine.CurrentReceiveMode() == ReceiveMode::CheckedFrame ||
                           engine.CurrentReceiveMode() == ReceiveMode::UncheckedFrame;
        if (status != ReplyStatus::Answered || read != body || (frame && reply.size() != length))
            faults.append(FromWire(heard.command) + " answered " + FromWire(heard.reply) + ", read as " +
                          FromWire(reply) + " of " + QString::number(length));
    }

    TestWorkspace &workspace;
    const SimBus &bus;
    bool moduleChecksum;
    QStringList faults;
};

QByteArray WithChecksumBit(const QByteArray &config, bool checksum)
{
    return checksum ? config.left(6) + HexByte(HexToInt(config.mid(6)) | 0x40) : config;
}

// Hands the search's replies to its step machine while it holds the bus, as the search window does.
struct ScanTool : ToolReplyHandler
{
    explicit ScanTool(ModuleScan &scan) : scan(scan) {}
    void HandleToolReply(const QByteArray &reply) override { scan.ReplyStep(reply); }
    ModuleScan &scan;
};

// What a user asks of an editor, and the start of the command that must go out for it.
struct Action
{
    std::function<void(EditorTurn &)> ask;
    QByteArray command;
};

Action Calibrate(CalibrationCode code, const QByteArray &command)
{
    return {[code](EditorTurn &turn) { turn.RequestCalibration(code); }, command};
}
Action Update(const QByteArray &address)
{
    return {[](EditorTurn &turn) { turn.RequestUpdate(); }, "%" + address};
}
template <typename Turn> Action Ask(std::function<void(Turn &)> ask, const QByteArray &command)
{
    return {[ask](EditorTurn &turn) { ask(dynamic_cast<Turn &>(turn)); }, command};
}

struct TurnRow
{
    const char *name;
    const char *type; // "20": a Tvr 5x at 10..12
    const char *config;
    QList<Action> actions;
};

QList<TurnRow> TurnRows()
{
    const auto limits = [](Turn4013 &turn) {
        turn.BeginLimitsEdit();
        turn.SetTimeText("12:30:05");
        turn.SetDateText("24.12.07 (1)");
        turn.SetConstantText("01");
        turn.SetIntervalText("0A");
        for (int n = 0; n < Turn4013::LimitCount; ++n)
            turn.SetLimit(n, 20 * n);
        turn.RequestLimitsUpdate();
    };
    const QList<Action> analog = {Calibrate(CalibrationCode::Span, "$0A0"),
                                  Calibrate(CalibrationCode::Offset, "$0A1"), Update("0A")};
    const QList<Action> outputs = {
        Ask<OutputTurn>([](OutputTurn &turn) { turn.ClickChannel(1); }, "#0A1"),
        Ask<OutputTurn>([](OutputTurn &turn) { turn.TakeDataText("5", true); }, "#0A00"), Update("0A")};
    return {
        {"4013 engineering units", "4013", "0A200600", analog},
        {"4013 percent", "4013", "0A200601", {}},
        {"4013 hexadecimal", "4013", "0A200602", {}},
        {"4013 ohms", "4013", "0A290683", {}},
        {"4113", "4113", "0A200600", {Update("0A")}},
        {"4213 percent", "4213", "0A200601", {}},
        {"4313 hexadecimal", "4313", "0A200602", analog},
        {"4413 ohms", "4413", "0A200603", {}},
        {"4613", "4613", "0A200600", analog},
        {"4017 +/- 10 V", "4017", "0A080600",
         {Ask<Turn4017>([](Turn4017 &turn) { turn.ClickChannel(2, false); }, "$0A5"),
          Calibrate(CalibrationCode::Span, "$0A0"), Calibrate(CalibrationCode::Zero, "$0A1"), Update("0A")}},
        {"4017 +/- 5 V", "4017", "0A090600", {}},
        {"4017 +/- 1 V", "4017", "0A0A0600", {}},
        {"4017 +/- 500 mV", "4017", "0A0B0600", {}},
        {"4017 +/- 150 mV", "4017", "0A0C0600", {}},
        {"4017 +/- 20 mA", "4017", "0A0D0600", {}},
        {"4021 4..20 mA", "4021", "0A310600",
         {Ask<Turn4021>([](Turn4021 &turn) { turn.MovePosition(12000); }, "#0A"),
          Calibrate(CalibrationCode::FourMilliamps, "$0A0"), Calibrate(CalibrationCode::TwentyMilliamps, "$0A1"),
          Ask<Turn4021>([](Turn4021 &turn) { turn.RequestTrim(0xFF); }, "$0A3FF"), Update("0A")}},
        {"4021 0..20 mA", "4021", "0A300600", {}},
        {"4021 percent", "4021", "0A320601",
         {Ask<Turn4021>([](Turn4021 &turn) { turn.MovePosition(5000); }, "#0A")}},
        {"4021 hexadecimal", "4021", "0A310602",
         {Ask<Turn4021>([](Turn4021 &turn) { turn.MovePosition(4095); }, "#0A")}},
        {"4050", "4050", "0A400600", outputs},
        {"4060", "4060", "0A400600", outputs},
        {"4052", "4052", "0A400600", {Update("0A")}},
        {"4152", "4152", "0A400600", {}},
        {"Tvr 5x, degree codes", "20", "10200602",
         {Ask<Turn4013>(limits, "@10T9"), Calibrate(CalibrationCode::Span, "$100"),
          Calibrate(CalibrationCode::StackSpan, "$110"), Update("10")}},
        {"Tvr 5x, engineering units", "20", "10200600", {}},
    };
}

// Waits (bounded) until a command that starts with start has gone out at or after from, and the one after it:
// its reply has then been delivered.
bool WentOutAndAnswered(const TurnBench &bench, qsizetype from, const QByteArray &start)
{
    return QTest::qWaitFor(
        [&] {
            const QList<QByteArray> commands = bench.Commands();
            for (qsizetype i = from; i + 1 < commands.size(); ++i)
                if (commands[i].startsWith(start))
                    return true;
            return false;
        },
        TurnBench::WaitMs);
}
} // namespace

class TestSimReplies : public QObject
{
    Q_OBJECT
private slots:
    void turnsReadEveryReplyWhole_data();
    void turnsReadEveryReplyWhole();
    void searchReadsEveryReplyWhole_data();
    void searchReadsEveryReplyWhole();
    void memoryWindowReadsEveryReplyWhole_data();
    void memoryWindowReadsEveryReplyWhole();
};

void TestSimReplies::turnsReadEveryReplyWhole_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("checksum");
    const QList<TurnRow> rows = TurnRows();
    for (int row = 0; row < rows.size(); ++row)
        for (const bool checksum : {false, true})
            QTest::addRow("%s%s", rows[row].name, checksum ? ", checksum" : "") << row << checksum;
}

void TestSimReplies::turnsReadEveryReplyWhole()
{
    QFETCH(int, row);
    QFETCH(bool, checksum);
    const TurnRow turnRow = TurnRows().at(row);
    const QByteArray config = WithChecksumBit(turnRow.config, checksum);
    const bool tvr = QByteArray(turnRow.type) == "20";

    TurnBench bench;
    CheckingSink sink(bench.workspace, bench.bus, checksum);
    const ModuleRecordPtr record = bench.AddModule(tvr ? "4013" : turnRow.type, config);
    bench.Module(record).tvr = tvr;
    EditorTurn &turn = bench.OpenTurn<EditorTurn>(record);
    // Two full turns of polling, then each request in turn.
    QVERIFY(QTest::qWaitFor([&] { return bench.Commands().size() >= 12; }, TurnBench::WaitMs));
    for (const Action &action : turnRow.actions) {
        const qsizetype from = bench.Commands().size();
        action.ask(turn);
        QVERIFY2(WentOutAndAnswered(bench, from, action.command), action.command.constData());
    }

    QVERIFY2(sink.Faults().isEmpty(), qPrintable(sink.Faults().join('\n')));
    QVERIFY(sink.answered >= 10);
}

void TestSimReplies::searchReadsEveryReplyWhole_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("initMode");
    QTest::addColumn<int>("exchanges"); // answered ones: name, configuration, clock, INIT probe and restore
    const struct
    {
        const char *name;
        const char *type;
        const char *config;
        bool initMode;
        int exchanges;
    } rows[] = {
        {"4013", "4013", "0A200600", false, 2},
        {"Tvr 5x", "20", "10200602", false, 3},
        {"4017", "4017", "0A0D0600", false, 2},
        {"4021", "4021", "0A310605", false, 2},
        {"4052", "4052", "0A400600", false, 2},
        {"4152", "4152", "0A400600", false, 2},
        {"4513", "4513", "0A200600", false, 2},
        {"4113 at 00 in INIT", "4113", "00200682", true, 4},
        {"4113 at 00", "4113", "00200682", false, 2},
        {"Tvr 5x at 00 in INIT", "20", "00200602", true, 5},
    };
    for (const auto &row : rows)
        for (const bool checksum : {false, true})
            QTest::addRow("%s%s", row.name, checksum ? ", checksum" : "")
                << QByteArray(row.type) << WithChecksumBit(row.config, checksum) << row.initMode
                << row.exchanges;
}

void TestSimReplies::searchReadsEveryReplyWhole()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, config);
    QFETCH(bool, initMode);
    QFETCH(int, exchanges);

    TurnBench bench;
    SimModule &module = bench.bus.AddModule(type, config);
    module.initMode = initMode;
    CheckingSink sink(bench.workspace, bench.bus, module.UsesChecksum());
    // The module's configuration as each command reaches it.
    QList<QByteArray> held;
    const auto answer = bench.workspace.port.onWrite;
    bench.workspace.port.onWrite = [&, answer](const QByteArray &command) {
        held.append(module.Config());
        answer(command);
    };
    ModuleScan scan(bench.workspace);
    ScanTool tool(scan);
    bench.workspace.router.RegisterTool(ToolKind::Search, &tool);
    QVERIFY(bench.workspace.router.RequestBus(ToolKind::Search));
    const int address = HexToInt(config.left(2));
    scan.Start(address, address);
    QVERIFY(QTest::qWaitFor([&] { return !scan.Scanning(); }, TurnBench::WaitMs));

    QVERIFY2(sink.Faults().isEmpty(), qPrintable(sink.Faults().join('\n')));
    QCOMPARE(sink.answered, exchanges);
    QVERIFY(bench.workspace.engine.RxBuffer().isEmpty());
    // A module in INIT took the probe's inverted checksum setting, and the restore, the last command, found
    // it so; one outside INIT refused it.
    const QByteArray probed = config.left(6) + HexByte(HexToInt(config.mid(6)) ^ 0x40);
    if (HexToInt(config.left(2)) == 0)
        QCOMPARE(held.last(), initMode ? probed : config);
    // What the module answered made its record, and a module in INIT was left as it was found.
    const ModuleRecordPtr record = bench.workspace.modules.FindForOpen(config.left(2));
    QVERIFY(record);
    QCOMPARE(record->typeId, type);
    QCOMPARE(record->config, config);
    QCOMPARE(record->initFlag, initMode);
    QCOMPARE(module.Config(), config);
}

void TestSimReplies::memoryWindowReadsEveryReplyWhole_data()
{
    QTest::addColumn<bool>("checksum");
    QTest::newRow("without checksum") << false;
    QTest::newRow("checksum") << true;
}

void TestSimReplies::memoryWindowReadsEveryReplyWhole()
{
    QFETCH(bool, checksum);
    TurnBench bench;
    SimModule &tvr = bench.bus.AddModule("20", WithChecksumBit("10200602", checksum));
    tvr.frozen = true;
    tvr.pointer = 0x01F8;
    CheckingSink sink(bench.workspace, bench.bus, checksum);
    // The record at 01F8 comes with a wrong checksum where the module uses checksums.
    const auto answer = bench.workspace.port.onWrite;
    bench.workspace.port.onWrite = [&, answer](const QByteArray &command) {
        tvr.badChecksum = command.startsWith("@10D01F8");
        answer(command);
    };
    TForm6 window(bench.workspace);
    const auto sent = [&](const QByteArray &start) { return WentOutAndAnswered(bench, 0, start); };

    // Polled, the pointer set, and three records read, each answered before the next command goes out.
    window.HandOver("10", checksum);
    QVERIFY(sent("@10E"));
    QLineEdit &pointer = *Find<QLineEdit>(window, "NextAdresEdit");
    QTest::mouseClick(&pointer, Qt::LeftButton);
    pointer.setText("0200");
    QTest::mouseClick(Find<QPushButton>(window, "UpdateSetingButton"), Qt::LeftButton);
    QVERIFY(sent("@10S0200"));
    Find<QLineEdit>(window, "FirstAdresEdit")->setText("01F0");
    Find<QSpinBox>(window, "LastSpinEdit")->setValue(3);
    QTest::mouseClick(Find<QPushButton>(window, "ReadButton"), Qt::LeftButton);
    QVERIFY(sent("@10D0200"));
    QVERIFY(QTest::qWaitFor([&] { return !window.Reading(); }, TurnBench::WaitMs));
    window.hide();
    QVERIFY(QTest::qWaitFor([&] { return !bench.workspace.router.OwnsBus(ToolKind::Memory); },
                            TurnBench::WaitMs));

    QVERIFY2(sink.Faults().isEmpty(), qPrintable(sink.Faults().join('\n')));
    QCOMPARE(sink.badChecksums, checksum ? 1 : 0);
    QVERIFY(bench.workspace.engine.RxBuffer().isEmpty());
    QCOMPARE(tvr.pointer, quint16(0x0200));
    // The record whose checksum was wrong is left out; the one after it is read whole.
    QCOMPARE(window.Records().Count(), checksum ? 2 : 3);
    QCOMPARE(window.Records().Row(window.Records().Count() - 1).value(0), QString("0200"));
}

QTEST_MAIN(TestSimReplies)
#include "tst_sim_replies.moc"
