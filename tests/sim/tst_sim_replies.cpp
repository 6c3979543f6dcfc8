// The simulated modules against the program's own transaction engine: every command of the command tables is
// sent with the receive mode, start character and length that the program uses for it, once to a module
// without and once to a module with checksums, and the delivered frame must have the layout the program
// reads.

#include "engine_harness.h"

#include "bus/text.h"

#include <QRegularExpression>

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

// The command tables of the module types, as the program sends them.
const Row Rows[] = {
    // Name, configuration and firmware of every type, and the configuration write.
    {"4013", "0A200600", "$0AM", 1, '!', CR, 8, "^!0A4013\\r$"},
    {"4013", "0A200600", "$0A2", 1, '!', CR, 10, "^!{config}\\r$"},
    {"4013", "0A200600", "$0AF", 1, '!', CR, 8, "^!0A.{4}\\r$"},
    {"4013", "0A200600", "%0A{config}", 1, '!', CR, 4, "^!0A\\r$"},
    {"4017", "0A080600", "$0AM", 1, '!', CR, 8, "^!0A4017\\r$"},
    {"4017", "0A0D0600", "$0A2", 1, '!', CR, 10, "^!{config}\\r$"},
    {"4021", "0A310600", "$0AM", 1, '!', CR, 8, "^!0A4021\\r$"},
    {"4021", "0A310605", "$0A2", 1, '!', CR, 10, "^!{config}\\r$"},
    {"4050", "0A400600", "$0AF", 1, '!', CR, 8, "^!0A.{4}\\r$"},
    {"4052", "0A400600", "$0AM", 1, '!', CR, 8, "^!0A4052\\r$"},
    {"4060", "0A400600", "%0A{config}", 1, '!', CR, 4, "^!0A\\r$"},
    {"4152", "0A400600", "$0AM", 1, '!', CR, 8, "^!0A4152\\r$"},
    {"4513", "0A200600", "$0AM", 1, '!', CR, 8, "^!0A4513\\r$"},
    // 4013 readings in the four data formats, calibrations.
    {"4013", "0A200600", "#0A", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"4013", "0A200601", "#0A", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"4013", "0A200602", "#0A", 1, '>', CR, 6, "^>[0-9A-F]{4}\\r$"},
    {"4013", "0A290683", "#0A", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"4013", "0A200600", "$0A0", 1, '!', CR, 4, "^!0A\\r$"},
    {"4013", "0A200600", "$0A1", 1, '!', CR, 4, "^!0A\\r$"},
    // 4x13 sensors.
    {"4113", "0A200600", "#0A", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"4213", "0A200601", "#0A", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"4313", "0A200602", "#0A", 1, '>', CR, 6, "^>[0-9A-F]{4}\\r$"},
    {"4413", "0A200603", "#0A", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"4613", "0A200600", "#0A", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"4313", "0A200600", "$0A0", 1, '!', CR, 4, "^!0A\\r$"},
    {"4613", "0A200600", "$0A1", 1, '!', CR, 4, "^!0A\\r$"},
    // 4017: mask, channels in every range, mask write, calibrations.
    {"4017", "0A080600", "$0A6", 1, '!', CR, 6, "^!0AFF\\r$"},
    {"4017", "0A080600", "#0A0", 1, '>', CR, 9, "^>[+-]\\d\\d\\.\\d{3}\\r$"},
    {"4017", "0A090600", "#0A1", 1, '>', CR, 9, "^>[+-]\\d\\.\\d{4}\\r$"},
    {"4017", "0A0A0600", "#0A2", 1, '>', CR, 9, "^>[+-]\\d\\.\\d{4}\\r$"},
    {"4017", "0A0B0600", "#0A3", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"4017", "0A0C0600", "#0A5", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"4017", "0A0D0600", "#0A7", 1, '>', CR, 9, "^>[+-]\\d\\d\\.\\d{3}\\r$"},
    {"4017", "0A080600", "$0A5A5", 1, '!', CR, 6, "^!0AA5\\r$"},
    {"4017", "0A080600", "$0A1", 1, '!', CR, 4, "^!0A\\r$"},
    {"4017", "0A080600", "$0A0", 1, '!', CR, 4, "^!0A\\r$"},
    // 4021 read-backs in the three data formats, writes, calibrations and trim.
    {"4021", "0A310600", "$0A6", 1, '!', CR, 10, "^!0A\\d\\d\\.\\d{3}\\r$"},
    {"4021", "0A300600", "$0A8", 1, '!', CR, 10, "^!0A\\d\\d\\.\\d{3}\\r$"},
    {"4021", "0A310601", "$0A6", 1, '!', CR, 11, "^!0A\\+\\d{3}\\.\\d{2}\\r$"},
    {"4021", "0A320601", "$0A8", 1, '!', CR, 11, "^!0A\\+\\d{3}\\.\\d{2}\\r$"},
    {"4021", "0A310602", "$0A6", 1, '!', CR, 7, "^!0A[0-9A-F]{3}\\r$"},
    {"4021", "0A310606", "$0A8", 1, '!', CR, 7, "^!0A[0-9A-F]{3}\\r$"},
    {"4021", "0A310600", "#0A12.345", 1, '>', CR, 2, "^>\\r$"},
    {"4021", "0A320601", "#0A+050.00", 1, '>', CR, 2, "^>\\r$"},
    {"4021", "0A300602", "#0AFFF", 1, '>', CR, 2, "^>\\r$"},
    {"4021", "0A310600", "$0A0", 1, '!', CR, 4, "^!0A\\r$"},
    {"4021", "0A310600", "$0A1", 1, '!', CR, 4, "^!0A\\r$"},
    {"4021", "0A310600", "$0A3FF", 1, '!', CR, 4, "^!0A\\r$"},
    // Digital modules: state read, single and whole-value writes.
    {"4050", "0A400600", "$0A6", 1, '!', CR, 8, "^![0-9A-F]{6}\\r$"},
    {"4050", "0A400600", "#0A1301", 1, '>', CR, 2, "^>\\r$"},
    {"4050", "0A400600", "#0A00A5", 1, '>', CR, 2, "^>\\r$"},
    {"4060", "0A400600", "$0A6", 1, '!', CR, 8, "^!0[0-9A-F]0000\\r$"},
    {"4060", "0A400600", "#0A1301", 1, '>', CR, 2, "^>\\r$"},
    {"4060", "0A400600", "#0A0005", 1, '>', CR, 2, "^>\\r$"},
    {"4052", "0A400600", "$0A6", 1, '!', CR, 8, "^![0-9A-F]{2}0000\\r$"},
    {"4152", "0A400600", "$0A6", 1, '!', CR, 8, "^![0-9A-F]{2}0000\\r$"},
    // The Tvr 5x at 10 (unit), 11 (stack) and 12 (status word).
    {"20", "10200602", "@10G", 2, '>', Blank, 20, "^>\\d\\d/\\d\\d/\\d\\d \\d \\d\\d:\\d\\d:\\d\\d$"},
    {"20", "10200602", "#10", 1, '>', CR, 6, "^>[0-9A-F]{4}\\r$"},
    {"20", "10200600", "#11", 1, '>', CR, 9, "^>[+-]\\d{3}\\.\\d{2}\\r$"},
    {"20", "10200602", "$126", 2, '!', Blank, 3, "^![0-9A-F]{2}$"},
    {"20", "10200602", "@10R", 2, '>', Blank, 19, "^>[0-9A-F]{18}$"},
    {"20", "10200602", "@10C", 2, '>', CR, 3, "^>[0-9A-F]{2}$"},
    {"20", "10200602", "@10I", 2, '>', CR, 3, "^>[0-9A-F]{2}$"},
    {"20", "10200602", "@10P07122401123005", 2, '!', Blank, 3, "^!10$"},
    {"20", "10200602", "@10K01", 2, '!', Blank, 3, "^!10$"},
    {"20", "10200602", "@10N0A", 2, '!', Blank, 3, "^!10$"},
    {"20", "10200602", "@10T144", 2, '!', Blank, 3, "^!10$"},
    {"20", "10200602", "@10T9FF", 2, '!', Blank, 3, "^!10$"},
    {"20", "10200602", "$100", 1, '!', CR, 4, "^!10\\r$"},
    {"20", "10200602", "$111", 1, '!', CR, 4, "^!11\\r$"},
    {"20", "10200602", "@10E", 2, '>', Blank, 5, "^>[0-9A-F]{4}$"},
    {"20", "10200602", "@10S01F8", 2, '!', Blank, 3, "^!10$"},
    {"20", "10200602", "@10D0000", 2, '>', Blank, 17, "^>[0-9A-F]{16}$"},
    {"20", "10200602", "%10{config}", 1, '!', CR, 4, "^!10\\r$"},
};
} // namespace

class TestSimReplies : public QObject
{
    Q_OBJECT
private slots:
    void replyLayouts_data();
    void replyLayouts();
    void initProbeOfTheSearch_data();
    void initProbeOfTheSearch();
    void tvrWithChecksums();
};

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
