// The simulated modules against the program's own exchanges: every editor turn polls its module on the
// in-process bus, without and with checksums, and runs what its user can ask for (configuration write,
// calibrations, writes), and every reply the module sent must reach the turn whole as the frame the engine
// was told to read. The commands no turn sends (the search's name and configuration reads, the memory
// read-out of the Tvr 5x) are sent with the layouts those parts use.

#include "engine_harness.h"
#include "editors/turn_bench.h"

#include "editors/digital_turns.h"
#include "editors/turn_4013.h"
#include "editors/turn_4017.h"
#include "editors/turn_4021.h"

#include "bus/text.h"

#include <QRegularExpression>

#include <functional>

using namespace navix;

namespace {
struct Row
{
    const char *type;
    const char *config;  // AATTCCFF without the checksum bit
    const char *command; // without CR; "{config}" stands for the module's configuration text
    int mode;
    char start;
    char end;
    int length;
    const char *pattern; // of the delivered text, checksum removed; "{config}" as in the command
};

constexpr char Blank = ' ';

// The commands of the search and the memory read-out, as those parts send them.
const Row Rows[] = {
    {"4013", "0A200600", "$0AM", 1, '!', CR, 8, "^!0A4013\\r$"},
    {"4013", "0A200600", "$0A2", 1, '!', CR, 10, "^!{config}\\r$"},
    {"4017", "0A080600", "$0AM", 1, '!', CR, 8, "^!0A4017\\r$"},
    {"4017", "0A0D0600", "$0A2", 1, '!', CR, 10, "^!{config}\\r$"},
    {"4021", "0A310600", "$0AM", 1, '!', CR, 8, "^!0A4021\\r$"},
    {"4021", "0A310605", "$0A2", 1, '!', CR, 10, "^!{config}\\r$"},
    {"4052", "0A400600", "$0AM", 1, '!', CR, 8, "^!0A4052\\r$"},
    {"4152", "0A400600", "$0AM", 1, '!', CR, 8, "^!0A4152\\r$"},
    {"4513", "0A200600", "$0AM", 1, '!', CR, 8, "^!0A4513\\r$"},
    {"20", "10200602", "@10E", 2, '>', Blank, 5, "^>[0-9A-F]{4}$"},
    {"20", "10200602", "@10S01F8", 2, '!', Blank, 3, "^!10$"},
    {"20", "10200602", "@10D0000", 2, '>', Blank, 17, "^>[0-9A-F]{16}$"},
};

// Sits between the engine and the router: every reply the engine hands on is held against what the module
// sent for the command that went out last, then passed on to the turns.
class CheckingSink : public ReplySink
{
public:
    CheckingSink(TurnBench &bench, bool moduleChecksum) : bench(bench), moduleChecksum(moduleChecksum)
    {
        bench.workspace.engine.SetReplySink(this);
    }
    ~CheckingSink() override { bench.workspace.engine.SetReplySink(&bench.workspace.router); }
    CheckingSink(const CheckingSink &) = delete;
    CheckingSink &operator=(const CheckingSink &) = delete;

    void DeliverReply(const QByteArray &reply) override
    {
        Check(reply);
        bench.workspace.router.DeliverReply(reply);
    }

    QStringList faults;
    int answered = 0;

private:
    void Check(const QByteArray &reply)
    {
        const TransactionEngine &engine = bench.workspace.engine;
        const SimExchange heard = bench.bus.Transcript().last();
        const ReplyStatus status = engine.LastReplyStatus();
        if (heard.reply.isEmpty()) {
            // A module that keeps silent (the clock probe of a plain 4013) leaves a time-out.
            if (status != ReplyStatus::TimedOut || !reply.isEmpty())
                faults.append(FromWire(heard.command) + " unanswered, yet read as " + FromWire(reply));
            return;
        }
        ++answered;
        QByteArray body = heard.reply;
        if (body.endsWith(CR))
            body.chop(1);
        if (moduleChecksum)
            body.chop(2);
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

    TurnBench &bench;
    bool moduleChecksum;
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
    void replyLayouts_data();
    void replyLayouts();
    void initProbeOfTheSearch_data();
    void initProbeOfTheSearch();
    void tvrWithChecksums();
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
    QByteArray config = turnRow.config;
    if (checksum)
        config = config.left(6) + HexByte(HexToInt(config.mid(6)) | 0x40);
    const bool tvr = QByteArray(turnRow.type) == "20";

    TurnBench bench;
    CheckingSink sink(bench, checksum);
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

    QVERIFY2(sink.faults.isEmpty(), qPrintable(sink.faults.join('\n')));
    QVERIFY(sink.answered >= 10);
    // Nothing of a reply stayed behind to be dropped before the next command.
    const CommandLogModel &log = bench.workspace.engine.CommandLog();
    for (int n = 0; n < log.Count(); ++n) {
        QVERIFY2(!log.Row(n).contains("Dropped !"), qPrintable(log.Row(n).join(' ')));
        QVERIFY2(!log.Row(n).contains("Wrong checksum !"), qPrintable(log.Row(n).join(' ')));
    }
}

void TestSimReplies::replyLayouts_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("checksum");
    QTest::addColumn<int>("mode");
    QTest::addColumn<char>("start");
    QTest::addColumn<char>("end");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("pattern");
    for (const Row &row : Rows) {
        for (const bool checksum : {false, true}) {
            QByteArray config = row.config;
            if (checksum)
                config = config.left(6) + HexByte(HexToInt(config.mid(6)) | 0x40);
            QByteArray command = row.command;
            command.replace("{config}", config);
            QByteArray pattern = row.pattern;
            pattern.replace("{config}", config);
            const QByteArray name =
                QByteArray(row.type) + " " + command + " " + config + (checksum ? " with checksum" : "");
            QTest::newRow(name.constData())
                << QByteArray(row.type) << config << command + CR << checksum << row.mode << row.start
                << row.end << row.length << QString::fromLatin1(pattern);
        }
    }
}

void TestSimReplies::replyLayouts()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, command);
    QFETCH(bool, checksum);
    QFETCH(int, mode);
    QFETCH(char, start);
    QFETCH(char, end);
    QFETCH(int, length);
    QFETCH(QString, pattern);

    EngineHarness harness;
    harness.bus.AddModule(type, config);
    const QByteArray reply =
        harness.Exchange(command, checksum, static_cast<ReceiveMode>(mode), start, end, length);

    const QRegularExpression layout(pattern);
    QVERIFY2(layout.match(FromWire(reply)).hasMatch(), reply.toStdString().c_str());
    QCOMPARE(reply.size(), qsizetype(length));
    QVERIFY(!harness.LogTexts().contains("Wrong checksum !"));
    QVERIFY(!harness.LogTexts().contains("Time out !"));
    // Nothing of the reply stays behind, not even the CR of a reply read short of it.
    QVERIFY2(harness.engine.RxBuffer().isEmpty(), harness.engine.RxBuffer().toStdString().c_str());
    // The module heard the command exactly as the program wrote it.
    QCOMPARE(harness.bus.Commands().size(), 1);
    QCOMPARE(harness.bus.Commands().first(), harness.port.written.last());
}

void TestSimReplies::initProbeOfTheSearch_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("initMode");
    QTest::addColumn<bool>("acknowledged");
    QTest::newRow("module in INIT") << QByteArray("00200600") << true << true;
    QTest::newRow("module in INIT that uses checksums") << QByteArray("00200640") << true << true;
    QTest::newRow("module at 00 outside INIT") << QByteArray("00200600") << false << false;
}

void TestSimReplies::initProbeOfTheSearch()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, initMode);
    QFETCH(bool, acknowledged);

    // The search asks name and configuration at 00 and then probes with the checksum bit inverted; a module
    // in INIT takes the change, and the restore puts the old setting back.
    EngineHarness harness;
    SimModule &module = harness.bus.AddModule("4113", config);
    module.initMode = initMode;
    QCOMPARE(harness.Exchange("$00M\r", false, ReceiveMode::CheckedFrame, '!', CR, 8),
             QByteArray("!004113\r"));
    const QByteArray configReply = harness.Exchange("$002\r", false, ReceiveMode::CheckedFrame, '!', CR, 10);
    QCOMPARE(configReply, "!" + config + CR);
    const int inverted = HexToInt(config.mid(6)) ^ 0x40;
    const QByteArray probe = "%00" + config.left(6) + HexByte(inverted) + CR;
    const QByteArray answer = harness.Exchange(probe, false, ReceiveMode::UncheckedFrame, '!', CR, 4);
    QCOMPARE(answer, acknowledged ? QByteArray("!00\r") : QByteArray());
    QCOMPARE(module.format, acknowledged ? inverted : HexToInt(config.mid(6)));
    if (acknowledged) {
        QCOMPARE(harness.Exchange("%00" + config + CR, false, ReceiveMode::UncheckedFrame, '!', CR, 4),
                 QByteArray("!00\r"));
        QCOMPARE(module.Config(), config);
    }
}

void TestSimReplies::tvrWithChecksums()
{
    // A Tvr 5x that uses checksums, through the editor's clock, limits and status reads and a memory
    // read-out: on the line every reply is body, checksum, CR, also where the program reads it by length
    // without the CR.
    EngineHarness harness;
    SimModule &tvr = harness.bus.AddModule("20", "10200642");
    tvr.frozen = true;
    tvr.status = 0x21;
    tvr.pointer = 0x01F8;
    const QByteArray record = "0530122403305001";
    for (int i = 0; i < 8; ++i)
        tvr.memory[0x01F0 + i] = static_cast<char>(HexToInt(record.mid(2 * i, 2)));
    struct Step
    {
        QByteArray command;
        char start;
        int length;
        QByteArray body;
    };
    const Step steps[] = {
        {"@10G", '>', 20, ">07/12/24 1 12:30:05"},
        {"@10R", '>', 19, ">02445A6E9C71C84A58"},
        {"$126", '!', 3, "!21"},
        {"@10E", '>', 5, ">01F8"},
        {"@10D01F0", '>', 17, ">" + record},
        {"@10E", '>', 5, ">01F8"},
    };
    for (const Step &step : steps) {
        const QByteArray delivered = harness.Exchange(step.command + CR, true, ReceiveMode::UncheckedFrame,
                                                      step.start, Blank, step.length);
        QCOMPARE(delivered, step.body);
        const SimExchange exchange = harness.bus.Transcript().last();
        QCOMPARE(exchange.command, step.command + ComputeChecksum(step.command) + CR);
        QCOMPARE(exchange.reply, step.body + ComputeChecksum(step.body) + CR);
        QVERIFY(harness.engine.RxBuffer().isEmpty());
    }
    QVERIFY(!harness.LogTexts().contains("Wrong checksum !"));

    // A record whose checksum came wrong: an empty reply and the row that says so; the next read is good.
    tvr.badChecksum = true;
    QCOMPARE(harness.Exchange("@10D01F0\r", true, ReceiveMode::UncheckedFrame, '>', Blank, 17), QByteArray());
    QCOMPARE(harness.engine.CommandLog().Row(0).value(0), QString("Wrong checksum !"));
    QCOMPARE(harness.engine.CommandLog().Row(1).value(1),
             FromWire(harness.bus.Transcript().last().reply.chopped(1)));
    tvr.badChecksum = false;
    QCOMPARE(harness.Exchange("@10D01F0\r", true, ReceiveMode::UncheckedFrame, '>', Blank, 17), ">" + record);
    QVERIFY(harness.engine.RxBuffer().isEmpty());
}

QTEST_GUILESS_MAIN(TestSimReplies)
#include "tst_sim_replies.moc"
