// The type 4013 editor on the simulated bus: the plain look and the Tvr 5x variant told apart by the clock
// read, the value reads and their lengths, the degrees display, the controller state, the limits write chain
// with its failures and the raised time-out, calibrations, the configuration write, the advanced-setting
// controls and closing in the middle of a turn.

#include "editor_bench.h"

#include "editors/editor_4013.h"

#include "bus/temperature_codes.h"

namespace {
// Every command that went out with the reply time-out that stood when it was written.
struct WrittenCommands
{
    explicit WrittenCommands(TransactionEngine &engine)
    {
        QObject::connect(&engine, &TransactionEngine::CommandWritten, &context,
                         [this, &engine](const QByteArray &command) {
                             commands.append(command);
                             timeOuts.append(engine.TimeOutMs());
                             lengths.append(engine.ExpectedLength());
                             if (onCommand)
                                 onCommand(command);
                         });
    }
    int TimeOutOf(const QByteArray &command) const { return timeOuts.value(commands.indexOf(command), -1); }
    int LengthOf(const QByteArray &command) const { return lengths.value(commands.indexOf(command), -1); }

    QObject context;
    QList<QByteArray> commands;
    QList<int> timeOuts;
    QList<int> lengths;
    std::function<void(const QByteArray &)> onCommand;
};

// A Tvr 5x at 10..12 whose record and tree item say N710 until the editor finds out.
ModuleRecordPtr AddTvr(EditorBench &bench, const QByteArray &config = "10200602", bool init = false)
{
    ModuleRecordPtr record = bench.AddModule("4013", config, init);
    bench.Module(record).tvr = true;
    return record;
}

// An editor on the bench, through its first full turn.
TForm10 *OpenAndSettle(EditorBench &bench, const ModuleRecordPtr &record, const QByteArray &address)
{
    auto *editor = bench.Open<TForm10>(record);
    if (editor && !bench.WaitForTurns("#" + address + "\r"))
        return nullptr;
    return editor;
}

// The last reply the module sent to a command, as the transcript holds it.
QByteArray LastReplyTo(const EditorBench &bench, const QByteArray &command)
{
    const QList<SimExchange> transcript = bench.bus.Transcript();
    for (auto exchange = transcript.crbegin(); exchange != transcript.crend(); ++exchange)
        if (exchange->command == command)
            return exchange->reply;
    return {};
}

// Degrees as the "(°C)" boxes show them, for a temperature code.
QString DegreesOfCode(int code)
{
    return FormatTemperature(CodeToTemperature(code));
}
} // namespace

class TestEditor4013 : public QObject
{
    Q_OBJECT
private slots:
    void clockDigits_data();
    void clockDigits();
    void plainLook();
    void valueLengthByDataFormat_data();
    void valueLengthByDataFormat();
    void variantFirstTurnAndSteadyRound();
    void variantInInitModeKeepsStar();
    void layoutOfTheLooks();
    void degreesDisplay();
    void configurationWrite();
    void spanResistanceByRange_data();
    void spanResistanceByRange();
    void calibrationCommands_data();
    void calibrationCommands();
    void limitsWriteChain();
    void failedLimitWriteContinues();
    void closingDuringChainWaitsForTurnEnd();
    void advancedSettingControls();
    void memoryButton();
};

void TestEditor4013::clockDigits_data()
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

void TestEditor4013::clockDigits()
{
    QFETCH(QString, time);
    QFETCH(QString, date);
    QFETCH(QByteArray, digits);
    QCOMPARE(ClockDigits(time, date), digits);
}

void TestEditor4013::plainLook()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4013", "0A200600");
    record->captions = QStringList{"Kotel :"};
    auto *editor = OpenAndSettle(bench, record, "0A");
    QVERIFY(editor);

    // The probe goes unanswered; then firmware and value, and from then on only the value.
    QCOMPARE(bench.Commands().mid(0, 4), (QList<QByteArray>{"@0AG\r", "$0AF\r", "#0A\r", "#0A\r"}));
    QVERIFY(bench.WaitForTurns("#0A\r", 2));
    for (const QByteArray &command : bench.Commands().mid(1))
        QVERIFY2(!command.startsWith('@'), command.constData());
    QCOMPARE(editor->windowTitle(), QString("Navix 710"));
    QVERIFY(!editor->IsVariant());
    QVERIFY(editor->UnitNameEdit.isVisibleTo(editor));
    QVERIFY(!editor->DataCheckBox.isVisibleTo(editor));
    QVERIFY(!editor->ExtGroupBox.isVisibleTo(editor));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0A) N710"});
    QCOMPARE(editor->FirmWareEdit.text(), QString("A1.3"));
    QCOMPARE(editor->DataEdit.text(), FromWire(Copy(LastReplyTo(bench, "#0A\r"), 2, 7)));
    QCOMPARE(editor->UnitNameEdit.text(), QString("Unit"));
    QCOMPARE(editor->StatusBox.title(), ModuleEditorWindow::CommunicationText);
    QCOMPARE(editor->DesriptionEdit.text(), QString("Kotel :"));

    // Closing between turns frees the window at once and keeps the description in the record.
    editor->DesriptionEdit.setText("Voda :");
    QPointer<TForm10> window(editor);
    editor->close();
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), EditorBench::WaitMs);
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(record->captions, QStringList{"Voda :"});
    QCOMPARE(record->config, QByteArray("0A200600"));
}

void TestEditor4013::valueLengthByDataFormat_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("replyLength");
    QTest::addColumn<QString>("unitName");
    QTest::newRow("engineering units") << QByteArray("0A200600") << 9 << "Unit";
    QTest::newRow("% of FSR") << QByteArray("0A200601") << 9 << "%SFR";
    QTest::newRow("2's complement") << QByteArray("0A200602") << 6 << "2HEX";
    QTest::newRow("ohms, 60 ms") << QByteArray("0A200683") << 9 << "Ohms";
}

void TestEditor4013::valueLengthByDataFormat()
{
    QFETCH(QByteArray, config);
    QFETCH(int, replyLength);
    QFETCH(QString, unitName);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4013", config);
    WrittenCommands written(bench.workspace.engine);
    auto *editor = OpenAndSettle(bench, record, "0A");
    QVERIFY(editor);
    QCOMPARE(written.LengthOf("#0A\r"), replyLength);
    QCOMPARE(LastReplyTo(bench, "#0A\r").size(), replyLength);
    QCOMPARE(editor->DataEdit.text().size(), replyLength - 2);
    QCOMPARE(editor->UnitNameEdit.text(), unitName);
    QCOMPARE(editor->StatusBox.title(), ModuleEditorWindow::CommunicationText);
}

void TestEditor4013::variantFirstTurnAndSteadyRound()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    SimModule &module = bench.Module(record);
    module.limits = {0, 2, 6, 58, 85, 89, 101, 196, 255};
    module.constant = 0x20;
    module.interval = 0x0B;
    module.status = 0x21;
    WrittenCommands written(bench.workspace.engine);
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);

    const QList<QByteArray> firstTurn = {"@10G\r", "$10F\r", "#10\r",  "@10R\r", "@10C\r",
                                         "@10I\r", "#11\r",  "$126\r", "@10G\r"};
    QCOMPARE(bench.Commands().mid(0, firstTurn.size()), firstTurn);
    QCOMPARE(written.LengthOf("@10R\r"), 19);
    QCOMPARE(written.LengthOf("$126\r"), 3);
    QCOMPARE(written.LengthOf("#11\r"), 6);

    QVERIFY(editor->IsVariant());
    QCOMPARE(editor->windowTitle(), QString("Tvr 5x"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (10) TVR5x"});
    QVERIFY(editor->ExtGroupBox.isVisibleTo(editor));
    QVERIFY(!editor->UnitNameEdit.isVisibleTo(editor));
    QVERIFY(editor->DataCheckBox.isVisibleTo(editor));

    // Limit codes to whole degrees, ties to the even neighbour.
    const QList<int> degrees = {-50, -48, -42, 26, 62, 68, 84, 216, 299};
    for (int n = 0; n < TForm10::LimitCount; ++n)
        QCOMPARE(editor->LimitFields[n].value(), degrees[n]);
    QCOMPARE(editor->ConstEdit.text(), QString("20"));
    QCOMPARE(editor->ConstUpDown.value(), 0x20);
    QCOMPARE(editor->IntegrEdit.text(), QString("0B"));
    QCOMPARE(editor->IntegrUpDown.value(), 0x0B);
    QCOMPARE(editor->StackEdit.text(), FromWire(Copy(LastReplyTo(bench, "#11\r"), 2, 4)));
    for (int bit = 0; bit < TForm10::BitCount; ++bit)
        QCOMPARE(editor->BitPanels[bit].text(), QString(bit == 0 || bit == 5 ? "1" : "0"));
    const QByteArray clock = LastReplyTo(bench, "@10G\r");
    QCOMPARE(editor->TimeEdit.text(), FromWire(Copy(clock, 13, 8)));
    QCOMPARE(editor->DateEdit.text(), FromWire(Copy(clock, 8, 2) + "." + Copy(clock, 5, 2) + "." +
                                               Copy(clock, 2, 2) + " (" + Copy(clock, 11, 1) + ")"));
    QVERIFY(!editor->UpdateLimitsButton.isEnabled());

    // The steady round: unit, stack, status word, clock. A changed status word moves the panels.
    module.status = 0x80;
    const qsizetype before = bench.Commands().size();
    QVERIFY(bench.WaitForTurns("#10\r", 2));
    const QList<QByteArray> later = bench.CommandsAfter(before);
    QCOMPARE(later.mid(later.indexOf("#10\r"), 5),
             (QList<QByteArray>{"#10\r", "#11\r", "$126\r", "@10G\r", "#10\r"}));
    QTRY_COMPARE_WITH_TIMEOUT(editor->BitPanels[7].text(), QString("1"), EditorBench::WaitMs);
    QCOMPARE(editor->BitPanels[0].text(), QString("0"));
    QCOMPARE(editor->BitPanels[5].text(), QString("0"));
    QCOMPARE(editor->BitPanels[7].palette().color(QPalette::Window), QColor(0x00FF00));
    QCOMPARE(editor->BitPanels[0].palette().color(QPalette::Window), QColor(0xC0C0C0));
}

void TestEditor4013::variantInInitModeKeepsStar()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench, "10200602", true);
    // The search names a module in INIT by the address it answers at.
    bench.workspace.treeItems = QStringList{"*(00) N710"};
    auto *editor = OpenAndSettle(bench, record, "00");
    QVERIFY(editor);
    QCOMPARE(bench.Commands().mid(0, 3), (QList<QByteArray>{"@00G\r", "$00F\r", "#00\r"}));
    QCOMPARE(editor->windowTitle(), QString("Tvr 5x - Init"));
    QCOMPARE(bench.workspace.treeItems, QStringList{"*(00) TVR5x"});
}

void TestEditor4013::layoutOfTheLooks()
{
    EditorBench bench;
    ModuleRecordPtr plainRecord = bench.AddModule("4013", "0A200600");
    ModuleRecordPtr tvrRecord = AddTvr(bench);
    auto *plain = bench.Open<TForm10>(plainRecord);
    auto *tvr = bench.Open<TForm10>(tvrRecord);
    QVERIFY(plain && tvr);
    QTRY_VERIFY_WITH_TIMEOUT(tvr->IsVariant(), EditorBench::WaitMs);

    // Window height per look (at least; a large font may need more), the status group below it.
    struct Look
    {
        TForm10 *editor;
        bool settings;
        int height;
        int margin;
    };
    for (const Look &look : {Look{plain, false, 135, 48}, Look{plain, true, 270, 48},
                             Look{tvr, false, 272, 45}, Look{tvr, true, 453, 45}}) {
        TForm10 &editor = *look.editor;
        editor.ShowSettingsBox.setChecked(look.settings);
        QVERIFY(editor.height() >= look.height);
        QCOMPARE(editor.StatusBox.height(), editor.height() - look.margin);
        QCOMPARE(editor.width(), editor.StatusBox.width() + 21);
        QCOMPARE(editor.SettingBox.isVisibleTo(&editor), look.settings);
        QCOMPARE(editor.LMBox4013.isVisibleTo(&editor), look.settings && editor.IsVariant());
        const int groups = editor.DataAreaBox.width() + (look.settings ? editor.SettingBox.width() : 0);
        QVERIFY(editor.StatusBox.width() >= groups + 4);
        QVERIFY(editor.StatusBox.rect().contains(editor.StatusBox.childrenRect()));
    }
}

void TestEditor4013::degreesDisplay()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    SimModule &module = bench.Module(record);
    module.value = 23.9;
    module.stackValue = 100.0;
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);
    // Unticked, the four hex digits stand as read.
    QCOMPARE(editor->DataEdit.text(), FromWire(Copy(LastReplyTo(bench, "#10\r"), 2, 4)));

    editor->DataCheckBox.setChecked(true);
    editor->StackCheckBox.setChecked(true);
    QVERIFY(bench.WaitForTurns("#10\r"));
    const int unitCode = HexToInt(Copy(LastReplyTo(bench, "#10\r"), 2, 2));
    const int stackCode = HexToInt(Copy(LastReplyTo(bench, "#11\r"), 2, 2));
    QTRY_COMPARE_WITH_TIMEOUT(editor->DataEdit.text(), DegreesOfCode(unitCode), EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(editor->StackEdit.text(), DegreesOfCode(stackCode), EditorBench::WaitMs);
    // Four significant digits, near the module's temperatures.
    QVERIFY(qAbs(editor->DataEdit.text().toDouble() - 23.9) < 1.5);
    QVERIFY(qAbs(editor->StackEdit.text().toDouble() - 100.0) < 1.5);
}

void TestEditor4013::configurationWrite()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4013", "0A200600");
    WrittenCommands written(bench.workspace.engine);
    auto *editor = OpenAndSettle(bench, record, "0A");
    QVERIFY(editor);

    editor->InputRange13ComboBox.setCurrentIndex(3);
    editor->DataFormat13ComboBox.setCurrentIndex(2);
    editor->IntgrTimeComboBox.setCurrentIndex(1);
    editor->DecAdrSpinEdit.setValue(0x0B);
    QVERIFY(editor->UpdateButton.isEnabled());
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    QCOMPARE(written.TimeOutOf("%0A0B230682\r"), ModuleEditorWindow::RaisedTimeOutMs);
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    QCOMPARE(record->config, QByteArray("0B230682"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0B) N710"});
    // The new format reads four hex digits at the new address.
    QCOMPARE(editor->ValueLength(), 4);
    QVERIFY(bench.WaitForTurns("#0B\r"));
    QCOMPARE(written.LengthOf("#0B\r"), 6);
}

void TestEditor4013::spanResistanceByRange_data()
{
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("ohms");
    const QStringList expected = {"140", "140", "200", "440", "140", "140", "200", "440", "200", "200"};
    for (int range = 0; range < expected.size(); ++range)
        QTest::addRow("range %d", range) << range << expected[range];
}

void TestEditor4013::spanResistanceByRange()
{
    QFETCH(int, range);
    QFETCH(QString, ohms);
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4013", "0A" + QByteArray::number(20 + range) + "0600");
    auto *editor = bench.Open<TForm10>(record);
    QVERIFY(editor);
    TForm7 &dialog = bench.calibrationDialogs.Form7;

    editor->SpanButtonClick();
    QCOMPARE(dialog.Label1.text(), "Apply " + ohms + " Ohms to the imput terminal of the module.");
    dialog.CancelButtonClick();
    editor->OffsetButtonClick();
    QCOMPARE(dialog.Label1.text(), QString("Apply 60 Ohms to the imput terminal of the module."));
    dialog.ExitButtonClick();
    QCOMPARE(editor->CalibrationRequest(), 0);
}

void TestEditor4013::calibrationCommands_data()
{
    QTest::addColumn<QString>("kind"); // plain, tvr or init (a Tvr 5x in INIT, answering at 00..02)
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("answered");
    QTest::newRow("span") << "plain"
                          << "SpanButton"
                          << "Span Calibaration Navix 710 (10)" << QByteArray("$100\r") << true;
    QTest::newRow("offset") << "plain"
                            << "OffsetButton"
                            << "Offset Calibaration Navix 710 (10)" << QByteArray("$101\r") << true;
    QTest::newRow("stack span") << "tvr"
                                << "SpanButtonStack"
                                << "Span Calibaration Tvr 5x (11)" << QByteArray("$110\r") << true;
    QTest::newRow("stack offset") << "tvr"
                                  << "OffsetButtonStack"
                                  << "Offset Calibaration Tvr 5x (11)" << QByteArray("$111\r") << true;
    QTest::newRow("stack in INIT") << "init"
                                   << "SpanButtonStack"
                                   << "Span Calibaration Tvr 5x (11)" << QByteArray("$010\r") << true;
    QTest::newRow("unanswered") << "tvr"
                                << "OffsetButton"
                                << "Offset Calibaration Tvr 5x (10)" << QByteArray("$101\r") << false;
}

void TestEditor4013::calibrationCommands()
{
    QFETCH(QString, kind);
    QFETCH(QString, button);
    QFETCH(QString, caption);
    QFETCH(QByteArray, command);
    QFETCH(bool, answered);

    EditorBench bench;
    ModuleRecordPtr record =
        kind == "plain" ? bench.AddModule("4013", "10200600") : AddTvr(bench, "10200602", kind == "init");
    SimModule &module = bench.Module(record);
    WrittenCommands written(bench.workspace.engine);
    auto *editor = OpenAndSettle(bench, record, kind == "init" ? "00" : "10");
    QVERIFY(editor);

    QTest::mouseClick(editor->findChild<QPushButton *>(button), Qt::LeftButton);
    TForm7 &dialog = bench.calibrationDialogs.Form7;
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), caption);
    QTest::mouseClick(&dialog.ExecuteButton, Qt::LeftButton);
    // Every reply not yet on its way is lost, the calibration's among them.
    module.loseAllReplies = !answered;
    QTRY_VERIFY_WITH_TIMEOUT(!bench.prompt.Texts().isEmpty(),
                             ModuleEditorWindow::RaisedTimeOutMs + EditorBench::WaitMs);
    QCOMPARE(bench.prompt.Texts(),
             QStringList{answered ? "Calibration successful !" : "Calibration failed !"});
    QCOMPARE(bench.prompt.messages.first().error, !answered);
    QCOMPARE(bench.CountOf(command), 1);
    QCOMPARE(written.TimeOutOf(command), ModuleEditorWindow::RaisedTimeOutMs);
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    QCOMPARE(editor->CalibrationRequest(), 0);
}

void TestEditor4013::limitsWriteChain()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    SimModule &module = bench.Module(record);
    WrittenCommands written(bench.workspace.engine);
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);

    // The advanced settings show with the other settings of a Tvr 5x.
    QVERIFY(!editor->LMBox4013.isVisibleTo(editor));
    editor->ShowSettingsBox.setChecked(true);
    QVERIFY(editor->LMBox4013.isVisibleTo(editor));
    QVERIFY(editor->LMBox4013.isEnabled());
    // Entering a field stops the clock reads, so that the user's entries stand.
    QTest::mouseClick(&editor->TimeEdit, Qt::LeftButton);
    QVERIFY(editor->UpdateLimitsButton.isEnabled());
    const qsizetype before = bench.Commands().size();
    QVERIFY(bench.WaitForTurns("#10\r", 2));
    QVERIFY(!bench.CommandsAfter(before).contains("@10G\r"));

    editor->TimeEdit.setText("12:30:05");
    editor->DateEdit.setText("24.12.07 (1)");
    editor->ConstEdit.clear();
    editor->ConstEditExit();
    QCOMPARE(editor->ConstEdit.text(), QString("01"));
    editor->IntegrEdit.setText("0B");
    const QList<int> limits = {-47, -41, 87, -50, 300, 20, 100, 150, 250};
    for (int n = 0; n < TForm10::LimitCount; ++n)
        editor->LimitFields[n].setValue(limits[n]);
    // A configuration write makes the next turn read the controller state again; the entries stand.
    editor->UpdateSetingButtonClick();
    QTRY_VERIFY_WITH_TIMEOUT(written.commands.count("@10I\r") == 2, EditorBench::WaitMs);
    QVERIFY(bench.WaitForTurns("#10\r"));
    QCOMPARE(bench.prompt.Texts(), QStringList{"Configuration successful !"});
    QCOMPARE(editor->LimitFields[0].value(), limits[0]);
    QCOMPARE(editor->ConstEdit.text(), QString("01"));
    QCOMPARE(editor->IntegrEdit.text(), QString("0B"));
    bench.prompt.Clear();
    QTest::mouseClick(&editor->UpdateLimitsButton, Qt::LeftButton);

    QTRY_VERIFY_WITH_TIMEOUT(written.commands.count("@10R\r") == 3, EditorBench::WaitMs);
    const qsizetype start = written.commands.indexOf("@10P07122401123005\r");
    QVERIFY(start > 0);
    QList<QByteArray> chain = {"@10P07122401123005\r",
                               "@10K01\r",
                               "@10N0B\r",
                               "@10T102\r",
                               "@10T208\r",
                               "@10T368\r",
                               "@10T400\r",
                               "@10T5FF\r"};
    for (int n = 6; n <= 9; ++n)
        chain.append("@10T" + QByteArray::number(n) + HexByte(TemperatureToCode(limits[n - 1])) + "\r");
    chain.append("@10R\r");
    QCOMPARE(written.commands.mid(start, chain.size()), chain);
    for (qsizetype i = start; i < start + chain.size() - 1; ++i)
        QCOMPARE(written.timeOuts[i], ModuleEditorWindow::RaisedTimeOutMs);
    QCOMPARE(written.timeOuts[start + chain.size() - 1], EditorBench::ReplyTimeOutMs);
    QVERIFY(bench.prompt.Texts().isEmpty());
    QVERIFY(!editor->UpdateLimitsButton.isEnabled());
    QCOMPARE(module.constant, 1);
    QCOMPARE(module.interval, 0x0B);

    // Read back: the codes the module keeps, in whole degrees again.
    QTRY_COMPARE_WITH_TIMEOUT(editor->LimitFields[0].value(), -48, EditorBench::WaitMs);
    QCOMPARE(editor->LimitFields[1].value(), -40);
    QCOMPARE(editor->LimitFields[2].value(), 88);
    QCOMPARE(editor->LimitFields[3].value(), -50);
    QCOMPARE(editor->LimitFields[4].value(), 299);
}

void TestEditor4013::failedLimitWriteContinues()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    SimModule &module = bench.Module(record);
    WrittenCommands written(bench.workspace.engine);
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);

    // The reply to the interval write is lost (the constant's reply is already on its way).
    written.onCommand = [&](const QByteArray &command) {
        if (command.startsWith("@10K"))
            module.loseReplies = 1;
    };
    editor->UpdateLimitsButton.setEnabled(true);
    editor->UpdateLimitsButtonClick();
    QTRY_VERIFY_WITH_TIMEOUT(written.commands.count("@10R\r") == 2,
                             ModuleEditorWindow::RaisedTimeOutMs + EditorBench::WaitMs);
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
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
}

void TestEditor4013::closingDuringChainWaitsForTurnEnd()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    WrittenCommands written(bench.workspace.engine);
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);
    QPointer<TForm10> window(editor);

    bool stayedOpen = false;
    written.onCommand = [&](const QByteArray &command) {
        if (command.startsWith("@10T3") && window) {
            window->close();
            stayedOpen = window && window->isVisible() && record->editorState == EditorState::CloseAtTurnEnd;
        }
    };
    editor->UpdateLimitsButton.setEnabled(true);
    editor->UpdateLimitsButtonClick();
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), EditorBench::WaitMs);
    QVERIFY(stayedOpen);
    QCOMPARE(record->editorState, EditorState::Closed);
    // The chain ran to its end and the state was read back before the window went.
    const qsizetype at = written.commands.lastIndexOf("@10R\r");
    QVERIFY(written.commands.value(at - 1).startsWith("@10T9"));
    QCOMPARE(written.commands.mid(at),
             (QList<QByteArray>{"@10R\r", "@10C\r", "@10I\r", "#11\r", "$126\r", "@10G\r"}));
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    QCOMPARE(bench.workspace.engine.Phase(), TransactionEngine::IdlePhase);
}

void TestEditor4013::advancedSettingControls()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);

    // Hex digits only, in upper case, two at most.
    editor->ConstEdit.clear();
    QTest::keyClicks(&editor->ConstEdit, "g5z");
    QCOMPARE(editor->ConstEdit.text(), QString("5"));
    editor->ConstEditExit();
    QCOMPARE(editor->ConstEdit.text(), QString("05"));
    QCOMPARE(editor->ConstUpDown.value(), 5);
    editor->IntegrEdit.clear();
    QTest::keyClicks(&editor->IntegrEdit, "abc");
    QCOMPARE(editor->IntegrEdit.text(), QString("AB"));
    editor->IntegrEditExit();
    QCOMPARE(editor->IntegrUpDown.value(), 0xAB);

    // The up-down writes its position into the edit and marks the settings as edited.
    QVERIFY(!editor->UpdateLimitsButton.isEnabled());
    editor->ConstUpDown.stepBy(1);
    QCOMPARE(editor->ConstEdit.text(), QString("06"));
    QVERIFY(editor->UpdateLimitsButton.isEnabled());

    // A limit field left with no number becomes -50.
    LimitSpinBox &field = editor->LimitFields[4];
    field.setValue(120);
    field.selectAll();
    QTest::keyClick(&field, Qt::Key_Delete);
    QCOMPARE(field.text(), QString());
    field.interpretText();
    QCOMPARE(field.value(), -50);

    // A click into a limit field's text marks the settings as edited too.
    editor->ShowSettingsBox.setChecked(true);
    editor->UpdateLimitsButton.setEnabled(false);
    QTest::mouseClick(editor->LimitFields[8].findChild<QLineEdit *>(), Qt::LeftButton);
    QVERIFY(editor->UpdateLimitsButton.isEnabled());
}

void TestEditor4013::memoryButton()
{
    EditorBench bench;
    ModuleRecordPtr checked = AddTvr(bench, "0A200642");
    ModuleRecordPtr init = AddTvr(bench, "10200642", true);
    auto *checkedEditor = bench.Open<TForm10>(checked);
    auto *initEditor = bench.Open<TForm10>(init);
    QVERIFY(checkedEditor && initEditor);
    QTRY_VERIFY_WITH_TIMEOUT(checkedEditor->IsVariant(), EditorBench::WaitMs);
    checkedEditor->ShowSettingsBox.setChecked(true);
    QTest::mouseClick(&checkedEditor->MemoryButton, Qt::LeftButton);
    // In INIT the module answers at 00 and never with a checksum.
    initEditor->MemoryButtonClick();
    const QList<QPair<QByteArray, bool>> expected = {{"0A", true}, {"00", false}};
    QCOMPARE(bench.workspace.memoryRequests, expected);
}

QTEST_MAIN(TestEditor4013)
#include "tst_editor_4013.moc"
