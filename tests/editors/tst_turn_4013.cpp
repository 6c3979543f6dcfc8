// The type 4013 turn on the simulated bus, without a window: the plain module and the Tvr 5x variant told
// apart by the clock read, the value reads and their lengths, the controller state, the limits write chain
// with its failures and the raised time-out, the calibrations, the configuration write and closing in the
// middle of a turn.

#include "turn_bench.h"

#include "editors/turn_4013.h"

#include <QSignalSpy>

using namespace navix;

namespace {
// What the turn last reported of the controller.
struct ControllerView
{
    explicit ControllerView(Turn4013 &turn)
    {
        QObject::connect(&turn, &AnalogInputTurn::ValueShown, &context,
                         [this](const QByteArray &v) { value = v; });
        QObject::connect(&turn, &Turn4013::StackValueShown, &context,
                         [this](const QByteArray &v) { stack = v; });
        QObject::connect(&turn, &Turn4013::StatusBitsShown, &context, [this](int bits) { status = bits; });
        QObject::connect(&turn, &Turn4013::VariantFound, &context, [this] { ++variantFound; });
        QObject::connect(&turn, &Turn4013::PlainLookShown, &context, [this] { ++plainShown; });
    }
    QObject context;
    QByteArray value;
    QByteArray stack;
    int status = -1;
    int variantFound = 0;
    int plainShown = 0;
};

// A Tvr 5x at 10..12 whose record and tree item say N710 until the turn finds out.
ModuleRecordPtr AddTvr(TurnBench &bench, const QByteArray &config = "10200602", bool init = false)
{
    ModuleRecordPtr record = bench.AddModule("4013", config, init);
    bench.Module(record).tvr = true;
    return record;
}

// A turn on the bench, through its first full turn.
Turn4013 *OpenAndSettle(TurnBench &bench, const ModuleRecordPtr &record, const QByteArray &address)
{
    Turn4013 &turn = bench.OpenTurn<Turn4013>(record);
    return bench.WaitForTurns("#" + address + "\r") ? &turn : nullptr;
}
} // namespace

class TestTurn4013 : public QObject
{
    Q_OBJECT
private slots:
    void clockDigits_data();
    void clockDigits();
    void byteTexts();
    void plainModule();
    void valueLengthByDataFormat_data();
    void valueLengthByDataFormat();
    void variantFirstTurnAndSteadyRound();
    void variantInInitModeKeepsStar();
    void configurationWrite();
    void tvrAddressesAreTaken_data();
    void tvrAddressesAreTaken();
    void garbledByteReadsAreNotTaken_data();
    void garbledByteReadsAreNotTaken();
    void tvrAtTheTopReadsOnlyItsAddressesOnTheBus_data();
    void tvrAtTheTopReadsOnlyItsAddressesOnTheBus();
    void calibrationCommands_data();
    void calibrationCommands();
    void editingStopsClockReads();
    void limitsWriteChain();
    void failedLimitWriteContinues();
    void closingDuringChainWaitsForTurnEnd();
};

void TestTurn4013::clockDigits_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QByteArray>("digits");
    QTest::newRow("as read") << "12:30:05"
                             << "24.12.07 (1)" << QByteArray("07122401123005");
    QTest::newRow("blanks") << "12 : 30 : 05 "
                            << " 24. 12. 07 ( 1 )" << QByteArray("07122401123005");
    QTest::newRow("empty") << ""
                           << "" << QByteArray("00000000000000");
    QTest::newRow("no digits") << "ab:cd:ef"
                               << "xx.12.07 (1)" << QByteArray("07120001000000");
    QTest::newRow("too long") << "12:30:0599"
                              << "24.12.07 (1)" << QByteArray("07122401123005");
}

void TestTurn4013::clockDigits()
{
    QFETCH(QString, time);
    QFETCH(QString, date);
    QFETCH(QByteArray, digits);
    QCOMPARE(ClockDigits(time, date), digits);
}

void TestTurn4013::byteTexts()
{
    QCOMPARE(NormalisedByteText(""), QString("01"));
    QCOMPARE(NormalisedByteText("5"), QString("05"));
    QCOMPARE(NormalisedByteText("AB"), QString("AB"));
    QVERIFY(IsHexByteText("0B"));
    QVERIFY(IsHexByteText("FF"));
    QVERIFY(!IsHexByteText("F"));
    QVERIFY(!IsHexByteText("1G"));
    QVERIFY(!IsHexByteText("100"));
}

void TestTurn4013::plainModule()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4013", "0A200600");
    Turn4013 &turn = bench.OpenTurn<Turn4013>(record);
    ControllerView view(turn);
    TurnView status(turn);
    QVERIFY(bench.WaitForTurns("#0A\r"));

    // The probe goes unanswered; then firmware and value, and from then on only the value.
    QCOMPARE(bench.Commands().mid(0, 4), (QList<QByteArray>{"@0AG\r", "$0AF\r", "#0A\r", "#0A\r"}));
    QVERIFY(bench.WaitForTurns("#0A\r", 2));
    for (const QByteArray &command : bench.Commands().mid(1))
        QVERIFY2(!command.startsWith('@'), command.constData());
    QVERIFY(!turn.IsVariant());
    QCOMPARE(view.plainShown, 1);
    QCOMPARE(view.variantFound, 0);
    QCOMPARE(turn.ModelLabel(), QString("N710"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0A) N710"});
    QCOMPARE(status.firmware, QString("A1.3"));
    QCOMPARE(view.value, Copy(bench.LastReplyTo("#0A\r"), 2, 7));
    QCOMPARE(status.status, EditorTurn::CommunicationText);

    // Closing: the record keeps the description and the stored configuration, at once between turns or at
    // the end of the turn that is running.
    turn.SetCaption(0, "Voda :");
    if (!turn.Close())
        QTRY_COMPARE_WITH_TIMEOUT(status.closeRequests, 1, TurnBench::WaitMs);
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(record->captions, QStringList{"Voda :"});
    QCOMPARE(record->config, QByteArray("0A200600"));
}

void TestTurn4013::valueLengthByDataFormat_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("replyLength");
    QTest::newRow("engineering units") << QByteArray("0A200600") << 9;
    QTest::newRow("% of FSR") << QByteArray("0A200601") << 9;
    QTest::newRow("2's complement") << QByteArray("0A200602") << 6;
    QTest::newRow("ohms, 60 ms") << QByteArray("0A200683") << 9;
}

void TestTurn4013::valueLengthByDataFormat()
{
    QFETCH(QByteArray, config);
    QFETCH(int, replyLength);

    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4013", config);
    WrittenCommands written(bench.workspace.engine);
    Turn4013 &turn = bench.OpenTurn<Turn4013>(record);
    ControllerView view(turn);
    QVERIFY(bench.WaitForTurns("#0A\r"));
    QCOMPARE(written.LengthOf("#0A\r"), replyLength);
    QCOMPARE(bench.LastReplyTo("#0A\r").size(), replyLength);
    QCOMPARE(view.value.size(), replyLength - 2);
}

void TestTurn4013::variantFirstTurnAndSteadyRound()
{
    TurnBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    SimModule &module = bench.Module(record);
    module.limits = {0, 2, 6, 58, 85, 89, 101, 196, 255};
    module.constant = 0x20;
    module.interval = 0x0B;
    module.status = 0x21;
    WrittenCommands written(bench.workspace.engine);
    Turn4013 &turn = bench.OpenTurn<Turn4013>(record);
    ControllerView view(turn);
    QVERIFY(bench.WaitForTurns("#10\r"));

    const QList<QByteArray> firstTurn = {"@10G\r", "$10F\r", "#10\r",  "@10R\r", "@10C\r",
                                         "@10I\r", "#11\r",  "$126\r", "@10G\r"};
    QCOMPARE(bench.Commands().mid(0, firstTurn.size()), firstTurn);
    QCOMPARE(written.LengthOf("@10R\r"), 19);
    QCOMPARE(written.LengthOf("$126\r"), 3);
    QCOMPARE(written.LengthOf("#11\r"), 6);

    QVERIFY(turn.IsVariant());
    QVERIFY(view.variantFound >= 1);
    QCOMPARE(view.plainShown, 0);
    QCOMPARE(turn.ModelLabel(), QString("TVR5x"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (10) TVR5x"});

    // Limit codes to whole degrees, ties to the even neighbour.
    const QList<int> degrees = {-50, -48, -42, 26, 62, 68, 84, 216, 299};
    QCOMPARE(turn.Entries().limits, degrees);
    QCOMPARE(turn.Entries().constant, QString("20"));
    QCOMPARE(turn.Entries().interval, QString("0B"));
    QCOMPARE(view.stack, Copy(bench.LastReplyTo("#11\r"), 2, 4));
    QCOMPARE(view.status, 0x21);
    const QByteArray clock = bench.LastReplyTo("@10G\r");
    QCOMPARE(turn.Entries().time, FromWire(Copy(clock, 13, 8)));
    QCOMPARE(turn.Entries().date, FromWire(Copy(clock, 8, 2) + "." + Copy(clock, 5, 2) + "." +
                                           Copy(clock, 2, 2) + " (" + Copy(clock, 11, 1) + ")"));
    QVERIFY(!turn.LimitsBeingEdited());

    // The steady round: unit, stack, status word, clock.
    module.status = 0x80;
    const qsizetype before = bench.Commands().size();
    QVERIFY(bench.WaitForTurns("#10\r", 2));
    const QList<QByteArray> later = bench.CommandsAfter(before);
    QCOMPARE(later.mid(later.indexOf("#10\r"), 5),
             (QList<QByteArray>{"#10\r", "#11\r", "$126\r", "@10G\r", "#10\r"}));
    QTRY_COMPARE_WITH_TIMEOUT(view.status, 0x80, TurnBench::WaitMs);
}

void TestTurn4013::variantInInitModeKeepsStar()
{
    TurnBench bench;
    ModuleRecordPtr record = AddTvr(bench, "10200602", true);
    // The search names a module in INIT by the address it answers at.
    bench.workspace.treeItems = QStringList{"*(00) N710"};
    QVERIFY(OpenAndSettle(bench, record, "00"));
    QCOMPARE(bench.Commands().mid(0, 3), (QList<QByteArray>{"@00G\r", "$00F\r", "#00\r"}));
    QCOMPARE(bench.workspace.treeItems, QStringList{"*(00) TVR5x"});
}

void TestTurn4013::configurationWrite()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4013", "0A200600");
    WrittenCommands written(bench.workspace.engine);
    Turn4013 *turn = OpenAndSettle(bench, record, "0A");
    QVERIFY(turn);

    turn->ChooseSetting(AnalogInputTurn::RangeSetting, 3);
    turn->ChooseSetting(AnalogInputTurn::DataFormatSetting, 2);
    turn->ChooseSetting(AnalogInputTurn::IntegrationSetting, 1);
    turn->ChooseAddress(0x0B);
    turn->RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              TurnBench::WaitMs);
    QCOMPARE(bench.CountOf("%0A0B230682\r"), 1);
    QCOMPARE(record->config, QByteArray("0B230682"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0B) N710"});
    // The new format reads four hex digits at the new address.
    QCOMPARE(turn->ValueLength(), 4);
    QVERIFY(bench.WaitForTurns("#0B\r"));
    QCOMPARE(written.LengthOf("#0B\r"), 6);
}

void TestTurn4013::tvrAddressesAreTaken_data()
{
    QTest::addColumn<bool>("moverIsTvr"); // else a plain 4013 at 0A moves
    QTest::addColumn<QByteArray>("otherConfig");
    QTest::addColumn<bool>("otherIsTvr");
    QTest::addColumn<int>("newAddress");
    QTest::addColumn<QByteArray>("command");
    // A plain module onto a Tvr 5x at 10, which answers at 10, 11 and 12.
    QTest::newRow("onto the stack") << false << QByteArray("10200602") << true << 0x11
                                    << QByteArray("%0A0A200600\r");
    QTest::newRow("onto the status word")
        << false << QByteArray("10200602") << true << 0x12 << QByteArray("%0A0A200600\r");
    QTest::newRow("past the Tvr 5x") << false << QByteArray("10200602") << true << 0x13
                                     << QByteArray("%0A13200600\r");
    QTest::newRow("next to a plain module")
        << false << QByteArray("10200600") << false << 0x11 << QByteArray("%0A11200600\r");
    // A Tvr 5x at 10 needs its new address and the two after it.
    QTest::newRow("Tvr stack on a module")
        << true << QByteArray("0F200600") << false << 0x0E << QByteArray("%1010200602\r");
    QTest::newRow("Tvr status word on a module")
        << true << QByteArray("0F200600") << false << 0x0D << QByteArray("%1010200602\r");
    QTest::newRow("Tvr over its own addresses")
        << true << QByteArray("0F200600") << false << 0x11 << QByteArray("%1011200602\r");
    QTest::newRow("Tvr stack on another's status word")
        << true << QByteArray("0C200602") << true << 0x0D << QByteArray("%1010200602\r");
    QTest::newRow("Tvr below another")
        << true << QByteArray("0C200602") << true << 0x09 << QByteArray("%1009200602\r");
    QTest::newRow("Tvr past the last address")
        << true << QByteArray("0F200600") << false << 0xFE << QByteArray("%1010200602\r");
}

void TestTurn4013::tvrAddressesAreTaken()
{
    QFETCH(bool, moverIsTvr);
    QFETCH(QByteArray, otherConfig);
    QFETCH(bool, otherIsTvr);
    QFETCH(int, newAddress);
    QFETCH(QByteArray, command);

    TurnBench bench;
    // The other module as a search records it: a Tvr 5x under its own type id.
    ModuleRecordPtr other = otherIsTvr ? AddTvr(bench, otherConfig) : bench.AddModule("4013", otherConfig);
    if (otherIsTvr)
        other->typeId = TvrTypeId;
    // The moving Tvr 5x is recorded as a 4013, as a loaded file names it: its turn finds it out.
    ModuleRecordPtr record = moverIsTvr ? AddTvr(bench) : bench.AddModule("4013", "0A200600");
    const QByteArray oldAddress = record->Address();
    Turn4013 *turn = OpenAndSettle(bench, record, oldAddress);
    QVERIFY(turn);
    QCOMPARE(turn->IsVariant(), moverIsTvr);
    QCOMPARE(record->typeId, QByteArray(moverIsTvr ? TvrTypeId : "4013"));

    turn->ChooseAddress(newAddress);
    turn->RequestUpdate();
    QTRY_VERIFY_WITH_TIMEOUT(bench.prompt.Texts().contains("Configuration successful !"), TurnBench::WaitMs);
    QCOMPARE(bench.CountOf(command), 1);
    const bool refused = Copy(command, 2, 2) == Copy(command, 4, 2);
    QCOMPARE(bench.prompt.Texts().contains("Invalid address !"), refused);
    QCOMPARE(record->Address(), refused ? oldAddress : HexByte(newAddress));
    QCOMPARE(turn->ChosenAddress(), HexToInt(record->Address()));
}

void TestTurn4013::garbledByteReadsAreNotTaken_data()
{
    QTest::addColumn<QByteArray>("constantReply");
    QTest::addColumn<QString>("constant");
    QTest::newRow("two hex digits") << QByteArray("!2B\r") << QString("2B");
    QTest::newRow("control characters") << QByteArray("!\x00\x12\r", 4) << QString();
    QTest::newRow("one digit") << QByteArray("!2") << QString();
}

void TestTurn4013::garbledByteReadsAreNotTaken()
{
    QFETCH(QByteArray, constantReply);
    QFETCH(QString, constant);
    // The turn alone, handed the replies a garbled line could bring: a constant taken from them would go back
    // to the controller with the next limits write.
    TestWorkspace workspace;
    RecordingPrompt prompt;
    Prompt *previous = InstallPrompt(&prompt);
    const ModuleRecordPtr record = workspace.modules.AddModule("4013", "10200600", false);
    Turn4013 turn(workspace);
    SetUpTurn(turn, *record);
    const QList<QByteArray> replies = {"",           ">07/12/24 1 12:30:05", "!10A1.0\r",
                                       ">+025.00\r", "!00000000000000000\r", constantReply};
    for (const QByteArray &reply : replies)
        QVERIFY(!turn.HandleReply(reply));
    QCOMPARE(workspace.port.written.last(), QByteArray("@10I\r"));
    QCOMPARE(turn.Entries().constant, constant);
    InstallPrompt(previous);
}

void TestTurn4013::tvrAtTheTopReadsOnlyItsAddressesOnTheBus_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QList<QByteArray>>("round");
    // Past FF the address would wrap to the module at 00: the reads that have no address on the bus are left
    // out, and so is the stack calibration.
    QTest::newRow("at FE: no status word")
        << QByteArray("FE200600") << QList<QByteArray>{"#FE\r", "#FF\r", "@FEG\r", "#FE\r"};
    QTest::newRow("at FF: no stack, no status word")
        << QByteArray("FF200600") << QList<QByteArray>{"#FF\r", "@FFG\r", "#FF\r"};
}

void TestTurn4013::tvrAtTheTopReadsOnlyItsAddressesOnTheBus()
{
    QFETCH(QByteArray, config);
    QFETCH(QList<QByteArray>, round);
    TurnBench bench;
    ModuleRecordPtr record = AddTvr(bench, config);
    Turn4013 &turn = bench.OpenTurn<Turn4013>(record);
    QVERIFY(bench.WaitForTurns(round.first(), 2));
    QVERIFY(turn.IsVariant());
    QVERIFY2(bench.Commands().join('|').contains(round.join('|')), bench.Commands().join('|').constData());
    turn.RequestCalibration(CalibrationCode::StackSpan);
    QVERIFY(bench.WaitForTurns(round.first()));
    const QByteArray own = config.left(2);
    for (const QByteArray &command : bench.Commands())
        QVERIFY2(command.mid(1, 2) == own || command.mid(1, 2) == "FF", command.constData());
}

void TestTurn4013::calibrationCommands_data()
{
    QTest::addColumn<QString>("kind"); // plain, tvr or init (a Tvr 5x in INIT, answering at 00..02)
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("answered");
    QTest::newRow("span") << "plain" << int(CalibrationCode::Span) << QByteArray("$100\r") << true;
    QTest::newRow("offset") << "plain" << int(CalibrationCode::Offset) << QByteArray("$101\r") << true;
    QTest::newRow("stack span") << "tvr" << int(CalibrationCode::StackSpan) << QByteArray("$110\r") << true;
    QTest::newRow("stack offset") << "tvr" << int(CalibrationCode::StackOffset) << QByteArray("$111\r")
                                  << true;
    QTest::newRow("stack in INIT") << "init" << int(CalibrationCode::StackSpan) << QByteArray("$010\r")
                                   << true;
    QTest::newRow("stack offset in INIT")
        << "init" << int(CalibrationCode::StackOffset) << QByteArray("$011\r") << true;
    QTest::newRow("unanswered") << "tvr" << int(CalibrationCode::Offset) << QByteArray("$101\r") << false;
}

void TestTurn4013::calibrationCommands()
{
    QFETCH(QString, kind);
    QFETCH(int, code);
    QFETCH(QByteArray, command);
    QFETCH(bool, answered);

    TurnBench bench;
    ModuleRecordPtr record =
        kind == "plain" ? bench.AddModule("4013", "10200600") : AddTvr(bench, "10200602", kind == "init");
    SimModule &module = bench.Module(record);
    Turn4013 *turn = OpenAndSettle(bench, record, kind == "init" ? "00" : "10");
    QVERIFY(turn);

    turn->RequestCalibration(static_cast<CalibrationCode>(code));
    // Every reply not yet on its way is lost, the calibration's among them.
    module.loseAllReplies = !answered;
    QTRY_VERIFY_WITH_TIMEOUT(!bench.prompt.Texts().isEmpty(),
                             EditorTurn::RaisedTimeOutMs + TurnBench::WaitMs);
    QCOMPARE(bench.prompt.Texts(),
             QStringList{answered ? "Calibration successful !" : "Calibration failed !"});
    QCOMPARE(bench.prompt.messages.first().error, !answered);
    QCOMPARE(bench.CountOf(command), 1);
    QVERIFY(!turn->CalibrationRequest());
}

void TestTurn4013::editingStopsClockReads()
{
    TurnBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    Turn4013 *turn = OpenAndSettle(bench, record, "10");
    QVERIFY(turn);
    QSignalSpy editing(turn, &Turn4013::LimitsEditing);

    // Entering a field stops the clock reads, so that the user's entries stand.
    turn->BeginLimitsEdit();
    QCOMPARE(editing.size(), 1);
    QVERIFY(editing.first().first().toBool());
    const qsizetype before = bench.Commands().size();
    QVERIFY(bench.WaitForTurns("#10\r", 2));
    QVERIFY(!bench.CommandsAfter(before).contains("@10G\r"));
    // The entries stand while the controller state is read again after a configuration.
    turn->SetConstantText("01");
    turn->SetLimit(0, -47);
    turn->RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.CountOf("@10I\r"), 2, TurnBench::WaitMs);
    QVERIFY(bench.WaitForTurns("#10\r"));
    QCOMPARE(bench.prompt.Texts(), QStringList{"Configuration successful !"});
    QCOMPARE(turn->Entries().constant, QString("01"));
    QCOMPARE(turn->Entries().limits[0], -47);
    // A limit outside the field's range stops at its end.
    turn->SetLimit(1, 400);
    QCOMPARE(turn->Entries().limits[1], Turn4013::HighestLimit);
}

void TestTurn4013::limitsWriteChain()
{
    TurnBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    SimModule &module = bench.Module(record);
    WrittenCommands written(bench.workspace.engine);
    Turn4013 *turn = OpenAndSettle(bench, record, "10");
    QVERIFY(turn);
    QSignalSpy constants(turn, &Turn4013::ConstantShown);

    turn->BeginLimitsEdit();
    turn->SetTimeText("12:30:05");
    turn->SetDateText("24.12.07 (1)");
    turn->SetConstantText(""); // an empty constant goes out as 01
    turn->SetIntervalText("B");
    const QList<int> limits = {-47, -41, 87, -50, 300, 20, 100, 150, 250};
    for (int n = 0; n < Turn4013::LimitCount; ++n)
        turn->SetLimit(n, limits[n]);
    turn->RequestLimitsUpdate();

    QTRY_VERIFY_WITH_TIMEOUT(written.commands.count("@10R\r") == 2, TurnBench::WaitMs);
    const qsizetype start = written.commands.indexOf("@10P07122401123005\r");
    QVERIFY(start > 0);
    const QList<QByteArray> chain = {"@10P07122401123005\r",
                               "@10K01\r",
                               "@10N0B\r",
                               "@10T102\r",
                               "@10T208\r",
                               "@10T368\r",
                               "@10T400\r",
                               "@10T5FF\r",
                               "@10T635\r",
                               "@10T771\r",
                               "@10T895\r",
                               "@10T9DC\r",
                               "@10R\r"};
    QCOMPARE(written.commands.mid(start, chain.size()), chain);
    for (qsizetype i = start; i < start + chain.size() - 1; ++i)
        QCOMPARE(written.timeOuts[i], EditorTurn::RaisedTimeOutMs);
    QCOMPARE(written.timeOuts[start + chain.size() - 1], TurnBench::ReplyTimeOutMs);
    QVERIFY(bench.prompt.Texts().isEmpty());
    QVERIFY(!turn->LimitsBeingEdited());
    // The constant and interval show as they went out.
    QCOMPARE(constants.first().first().toString(), QString("01"));
    QCOMPARE(turn->Entries().interval, QString("0B"));
    QCOMPARE(module.constant, 1);
    QCOMPARE(module.interval, 0x0B);

    // Read back: the codes the module keeps, in whole degrees again.
    QTRY_COMPARE_WITH_TIMEOUT(turn->Entries().limits.value(0), -48, TurnBench::WaitMs);
    QCOMPARE(turn->Entries().limits.mid(1), (QList<int>{-40, 88, -50, 299, 20, 100, 150, 250}));
}

void TestTurn4013::failedLimitWriteContinues()
{
    TurnBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    SimModule &module = bench.Module(record);
    WrittenCommands written(bench.workspace.engine);
    Turn4013 *turn = OpenAndSettle(bench, record, "10");
    QVERIFY(turn);

    // The reply to the interval write is lost (the constant's reply is already on its way).
    written.onCommand = [&](const QByteArray &command) {
        if (command.startsWith("@10K"))
            module.loseReplies = 1;
    };
    turn->BeginLimitsEdit();
    turn->RequestLimitsUpdate();
    QTRY_VERIFY_WITH_TIMEOUT(written.commands.count("@10R\r") == 2,
                             EditorTurn::RaisedTimeOutMs + TurnBench::WaitMs);
    QCOMPARE(bench.prompt.Texts(), QStringList{"Updating Interval failed !"});
    QVERIFY(bench.prompt.messages.first().error);
    // The chain went on with the limits after the failed step and read them back at its end.
    qsizetype interval = -1;
    for (qsizetype i = 0; i < written.commands.size() && interval < 0; ++i)
        if (written.commands[i].startsWith("@10N"))
            interval = i;
    QVERIFY(interval > 0);
    QCOMPARE(written.commands.value(interval - 1), QByteArray("@10K10\r"));
    QVERIFY(written.commands.value(interval + 1).startsWith("@10T1"));
    QCOMPARE(written.commands.value(interval + 10), QByteArray("@10R\r"));
    QCOMPARE(bench.workspace.engine.TimeOutMs(), TurnBench::ReplyTimeOutMs);
}

void TestTurn4013::closingDuringChainWaitsForTurnEnd()
{
    TurnBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    WrittenCommands written(bench.workspace.engine);
    Turn4013 *turn = OpenAndSettle(bench, record, "10");
    QVERIFY(turn);
    TurnView view(*turn);

    bool deferred = false;
    written.onCommand = [&](const QByteArray &command) {
        if (command.startsWith("@10T3") && !deferred)
            deferred = !turn->Close() && record->editorState == EditorState::CloseAtTurnEnd;
    };
    turn->BeginLimitsEdit();
    turn->RequestLimitsUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(view.closeRequests, 1, TurnBench::WaitMs);
    QVERIFY(deferred);
    QCOMPARE(record->editorState, EditorState::Closed);
    // The chain ran to its end and the state was read back before the turn ended.
    const qsizetype at = written.commands.lastIndexOf("@10R\r");
    QVERIFY(written.commands.value(at - 1).startsWith("@10T9"));
    QCOMPARE(written.commands.mid(at),
             (QList<QByteArray>{"@10R\r", "@10C\r", "@10I\r", "#11\r", "$126\r", "@10G\r"}));
    QCOMPARE(bench.workspace.engine.TimeOutMs(), TurnBench::ReplyTimeOutMs);
    QCOMPARE(bench.workspace.router.State(), RouterState::Idle);
}

QTEST_GUILESS_MAIN(TestTurn4013)
#include "tst_turn_4013.moc"
