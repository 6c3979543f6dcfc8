// The type 4021 analog output editor on the simulated bus: configuration texts and the scroll bar they set
// up, the read-backs and writes of the poll turn with their exact bytes, the calibrations and the trim
// through the shared dialogs with the raised time-out, and the dialogs themselves.

#include "editor_bench.h"

#include "editors/editor_4021.h"

namespace {
// An editor on the bench, through its first full turn.
TForm60 *OpenAndSettle(EditorBench &bench, const ModuleRecordPtr &record)
{
    auto *editor = bench.Open<TForm60>(record);
    if (editor && !bench.WaitForTurns("$" + record->Address() + "8\r"))
        return nullptr;
    return editor;
}
} // namespace

class TestEditor4021 : public QObject
{
    Q_OBJECT
private slots:
    void configurationSetsUpScrollBar_data();
    void configurationSetsUpScrollBar();
    void valueTextsOfScrollBar();
    void firstTurnReadsLastValue();
    void firstReadLostWritesRangeMinimum();
    void scrollBarValueIsWritten();
    void valuePickedDuringWriteIsNotLost();
    void hexadecimalFormat();
    void garbledReadDoesNotMoveOutput();
    void configurationCommand();
    void calibrationsSucceed_data();
    void calibrationsSucceed();
    void failedCalibrationIsNotRepeated();
    void trimCounts();
    void oneCalibrationDialogAtATime();
    void dialogButtons();
    void closedEditorIsNotWritten();
    void factoryOpensTheEditorWithDescription();
};

void TestEditor4021::configurationSetsUpScrollBar_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("rangeText");
    QTest::addColumn<QString>("formatText");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("dataLength");
    QTest::addColumn<QString>("firstSetValue");

    QTest::newRow("4 to 20 mA") << QByteArray("0A310600") << "4-20 mA"
                                << "Engineering units" << 4000 << 20000 << 6 << "04.000";
    QTest::newRow("0 to 20 mA") << QByteArray("0A300600") << "0-20 mA"
                                << "Engineering units" << 0 << 20000 << 6 << "00.000";
    QTest::newRow("0 to 10 V") << QByteArray("0A320600") << "0-10 V"
                               << "Engineering units" << 0 << 10000 << 6 << "00.000";
    QTest::newRow("% of FSR") << QByteArray("0A310601") << "4-20 mA"
                              << "% of FSR" << 0 << 10000 << 7 << "+000.00";
    QTest::newRow("hexadecimal") << QByteArray("0A320602") << "0-10 V"
                                 << "Hexadecimal" << 0 << 4095 << 3 << "000";
}

void TestEditor4021::configurationSetsUpScrollBar()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, rangeText);
    QFETCH(QString, formatText);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, dataLength);
    QFETCH(QString, firstSetValue);

    TestWorkspace workspace;
    TForm60 editor(workspace);
    // A position far up from an earlier configuration must not survive into the new range.
    editor.ShowConfig("0A300600");
    editor.ScrollBar1.setValue(20000);
    editor.ShowConfig(config);

    QCOMPARE(editor.OutRanEdit.text(), rangeText);
    QCOMPARE(editor.DataFormat21ComboBox.currentText(), formatText);
    QCOMPARE(editor.SlewRateComboBox.currentText(), QString("Immediate chance"));
    QCOMPARE(editor.BaudrateComboBox.currentText(), QString("9600"));
    QVERIFY(!editor.CheckSumBox.isChecked());
    QCOMPARE(editor.ScrollBar1.minimum(), minimum);
    QCOMPARE(editor.ScrollBar1.maximum(), maximum);
    QCOMPARE(editor.ScrollBar1.value(), minimum);
    QCOMPARE(editor.DataLength(), dataLength);
    QCOMPARE(editor.SetValueEdit.text(), firstSetValue);
    QVERIFY(editor.SetValuePending());
    // What was read is what goes back: the configuration text composes unchanged.
    QCOMPARE(editor.ComposeConfig(), "0A" + config);
}

void TestEditor4021::valueTextsOfScrollBar()
{
    TestWorkspace workspace;
    TForm60 editor(workspace);
    const struct
    {
        QByteArray config;
        int position;
        QString text;
    } cases[] = {
        {"0A300600", 20000, "20.000"},  {"0A300600", 4000, "04.000"},  {"0A300600", 12345, "12.345"},
        {"0A300601", 10000, "+100.00"}, {"0A300601", 5000, "+050.00"}, {"0A300601", 7, "+000.07"},
        {"0A300602", 4095, "FFF"},      {"0A300602", 10, "00A"},
    };
    for (const auto &sample : cases) {
        editor.ShowConfig(sample.config);
        editor.ScrollBar1.setValue(sample.position);
        QCOMPARE(editor.SetValueEdit.text(), sample.text);
    }
    // The large step of the scroll bar.
    editor.ShowConfig("0A300600");
    editor.ScrollBar1.triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(editor.SetValueEdit.text(), QString("00.100"));
}

void TestEditor4021::firstTurnReadsLastValue()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A300600");
    SimModule &module = bench.Module(record);
    module.outputValue = 12.345;
    module.outputReadback = 11.5;
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), QString("Navix 780"));

    QCOMPARE(editor->LastvalueEdit.text(), QString("12.345"));
    QCOMPARE(editor->SetValueEdit.text(), QString("12.345"));
    QCOMPARE(editor->ScrollBar1.value(), 12345);
    QCOMPARE(editor->DataEdit.text(), QString("11.500"));
    QCOMPARE(editor->StatusBox.title(), ModuleEditorWindow::CommunicationText);
    // The first turn reads; the value that the scroll bar took is written back on the next.
    const QList<QByteArray> expected = {"$0AF\r", "$0A6\r", "$0A8\r", "#0A12.345\r", "$0A6\r", "$0A8\r"};
    QCOMPARE(bench.Commands().mid(0, expected.size()), expected);
    QVERIFY(!editor->SetValuePending());
    QCOMPARE(editor->FirmWareEdit.text(), QString(module.firmware));
}

void TestEditor4021::firstReadLostWritesRangeMinimum()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    SimModule &module = bench.Module(record);
    module.outputValue = 15.0;
    module.loseReplies = 2; // the firmware query and the first read
    auto *editor = bench.Open<TForm60>(record);
    QVERIFY(editor);
    QVERIFY(bench.WaitForTurns("$0A8\r"));
    const QList<QByteArray> expected = {"$0AF\r", "$0A6\r", "#0A04.000\r", "$0A6\r", "$0A8\r"};
    QCOMPARE(bench.Commands().mid(0, expected.size()), expected);
    QCOMPARE(editor->FirmWareEdit.text(), QString("Unknow !"));
    QCOMPARE(module.outputValue, 4.0);
    QCOMPARE(editor->LastvalueEdit.text(), QString("04.000"));
}

void TestEditor4021::scrollBarValueIsWritten()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A320600");
    SimModule &module = bench.Module(record);
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    const qsizetype writesBefore = bench.Writes().size();

    editor->ScrollBar1.setValue(7500);
    QCOMPARE(editor->SetValueEdit.text(), QString("07.500"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), writesBefore + 1, EditorBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A07.500\r"));
    QCOMPARE(module.outputValue, 7.5);
    // The write is read back as the last value, then the present output is read.
    QTRY_COMPARE_WITH_TIMEOUT(editor->LastvalueEdit.text(), QString("07.500"), EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(editor->DataEdit.text(), QString("07.500"), EditorBench::WaitMs);
    // Nothing more is written until the scroll bar moves again.
    QVERIFY(bench.WaitForTurns("$0A8\r", 3));
    QCOMPARE(bench.Writes().size(), writesBefore + 1);
}

void TestEditor4021::valuePickedDuringWriteIsNotLost()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A300600");
    SimModule &module = bench.Module(record);
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);

    // The user moves the scroll bar again while the first write is on its way.
    QObject context;
    QObject::connect(&bench.workspace.engine, &TransactionEngine::CommandWritten, &context,
                     [editor](const QByteArray &command) {
                         if (command == "#0A05.000\r")
                             editor->ScrollBar1.setValue(9000);
                     });
    editor->ScrollBar1.setValue(5000);
    QTRY_VERIFY_WITH_TIMEOUT(bench.Writes().contains("#0A09.000\r"), EditorBench::WaitMs);
    QVERIFY(bench.Writes().contains("#0A05.000\r"));
    QCOMPARE(module.outputValue, 9.0);
}

void TestEditor4021::hexadecimalFormat()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A300602");
    SimModule &module = bench.Module(record);
    module.outputValue = 10.0;
    module.outputReadback = 10.0;
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);

    // Reads are '!0A' + three hex digits + CR.
    const QByteArray lastRead = bench.bus.Transcript().at(1).reply;
    QCOMPARE(lastRead.size(), 7);
    QCOMPARE(editor->LastvalueEdit.text(), FromWire(Copy(lastRead, 4, 3)));
    QCOMPARE(editor->ScrollBar1.value(), HexToInt(Copy(lastRead, 4, 3)));

    editor->ScrollBar1.setValue(4095);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().last(), QByteArray("#0AFFF\r"), EditorBench::WaitMs);
    QCOMPARE(module.outputValue, 20.0);
    QTRY_COMPARE_WITH_TIMEOUT(editor->LastvalueEdit.text(), QString("FFF"), EditorBench::WaitMs);
}

void TestEditor4021::garbledReadDoesNotMoveOutput()
{
    // The replies are handed to the editor directly: the simulated modules never send such texts.
    TestWorkspace workspace;
    for (auto [config, garbled] : {std::pair{QByteArray("0A300602"), QByteArray("!0AXYZ\r")},
                                   std::pair{QByteArray("0A300600"), QByteArray("!0A1?.2#4\r")}}) {
        TForm60 editor(workspace);
        editor.ShowConfig(config);
        editor.ScrollBar1.setValue(100);
        const QString before = editor.SetValueEdit.text();
        QVERIFY(!editor.HandleReply({}));          // firmware query goes out
        QVERIFY(!editor.HandleReply("!0AA1.3\r")); // last value query goes out
        QVERIFY(!editor.HandleReply(garbled));     // present output query goes out
        QCOMPARE(editor.Phase(), EditorPhase::DataAsked);
        QCOMPARE(editor.LastvalueEdit.text(), FromWire(Copy(garbled, 4, editor.DataLength())));
        // The value waiting to be written is still the one the scroll bar shows.
        QCOMPARE(editor.ScrollBar1.value(), 100);
        QCOMPARE(editor.SetValueEdit.text(), before);
        QVERIFY(editor.SetValuePending());
    }
}

void TestEditor4021::configurationCommand()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    TimeOutProbe probe(bench.workspace.engine, "%");

    editor->ShowSettingsBox.setChecked(true);
    editor->SlewRateComboBox.setCurrentIndex(1);
    editor->DataFormat21ComboBox.setCurrentIndex(1);
    QVERIFY(editor->UpdateButton.isEnabled());
    editor->UpdateButton.click();
    QTRY_VERIFY_WITH_TIMEOUT(bench.Commands().contains("%0A0A310605\r"), EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    QCOMPARE(probe.timeOuts, QList<int>{ModuleEditorWindow::RaisedTimeOutMs});
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    QCOMPARE(record->config, QByteArray("0A310605"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0A) N780"});

    // The new format takes effect: 7-character reads, the range minimum as percent waits to be written.
    QCOMPARE(editor->DataLength(), 7);
    QCOMPARE(editor->Mode(), TForm60::ScrollMode::PercentOfRange);
    QTRY_VERIFY_WITH_TIMEOUT(bench.Writes().contains("#0A+000.00\r"), EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(editor->LastvalueEdit.text(), QString("+000.00"), EditorBench::WaitMs);
}

void TestEditor4021::calibrationsSucceed_data()
{
    QTest::addColumn<bool>("twentyMilliamps");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("4 mA") << false << "4mA Calibaration N780 (0A)"
                          << "Stores the current output value as 4mA." << QByteArray("$0A0\r");
    QTest::newRow("20 mA") << true << "20mA Calibaration N780 (0A)"
                           << "Stores the current output value as 20mA." << QByteArray("$0A1\r");
}

void TestEditor4021::calibrationsSucceed()
{
    QFETCH(bool, twentyMilliamps);
    QFETCH(QString, caption);
    QFETCH(QString, message);
    QFETCH(QByteArray, command);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    TimeOutProbe probe(bench.workspace.engine, command);

    QTest::mouseClick(twentyMilliamps ? &editor->Cal20mAButton : &editor->Cal4mAButton, Qt::LeftButton);
    TForm7 &dialog = bench.calibrationDialogs.Form7;
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), caption);
    QCOMPARE(dialog.Label1.text(), message);
    // Nothing is sent before the user confirms.
    QVERIFY(bench.WaitForTurns("$0A8\r"));
    QVERIFY(!bench.Commands().contains(command));

    QTest::mouseClick(&dialog.ExecuteButton, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration successful !"},
                              EditorBench::WaitMs);
    QVERIFY(!bench.prompt.messages.first().error);
    QCOMPARE(bench.CountOf(command), 1);
    QCOMPARE(probe.timeOuts, QList<int>{ModuleEditorWindow::RaisedTimeOutMs});
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    QCOMPARE(bench.workspace.engine.TimeOutTimer().interval(), EditorBench::ReplyTimeOutMs);
    // The calibration goes out after the present output read of a turn.
    const qsizetype at = bench.Commands().indexOf(command);
    QCOMPARE(bench.Commands().at(at - 1), QByteArray("$0A8\r"));
    QCOMPARE(editor->CalibrationRequest(), 0);
}

void TestEditor4021::failedCalibrationIsNotRepeated()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    SimModule &module = bench.Module(record);
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);

    editor->Cal4mAButtonClick();
    module.loseAllReplies = true;
    bench.calibrationDialogs.Form7.ExecuteButtonClick();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration failed !"},
                              ModuleEditorWindow::RaisedTimeOutMs + EditorBench::WaitMs);
    QVERIFY(bench.prompt.messages.first().error);
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    QCOMPARE(bench.workspace.engine.TimeOutTimer().interval(), EditorBench::ReplyTimeOutMs);

    module.loseAllReplies = false;
    QVERIFY(bench.WaitForTurns("$0A8\r", 2));
    QCOMPARE(bench.CountOf("$0A0\r"), 1);
    QCOMPARE(bench.prompt.Texts().size(), 1);
    QCOMPARE(editor->StatusBox.title(), ModuleEditorWindow::CommunicationText);
}

void TestEditor4021::trimCounts()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    TForm8 &dialog = bench.calibrationDialogs.Form8;
    TimeOutProbe probe(bench.workspace.engine, "$0A3");

    // -1 count goes out as the byte FF.
    QTest::mouseClick(&editor->TrimCalButton, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QString("Trim Calibration N780 (0A)"));
    dialog.SpinEdit1.setValue(-1);
    QTest::mouseClick(&dialog.ExecuteButton, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration successful !"},
                              EditorBench::WaitMs);
    QCOMPARE(bench.CountOf("$0A3FF\r"), 1);
    QCOMPARE(probe.timeOuts, QList<int>{ModuleEditorWindow::RaisedTimeOutMs});
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);

    // 96 counts are refused and the dialog stays; the spin edit kept its last value before.
    bench.prompt.Clear();
    editor->TrimCalButtonClick();
    QCOMPARE(dialog.SpinEdit1.value(), -1);
    dialog.SpinEdit1.selectAll();
    QTest::keyClicks(&dialog.SpinEdit1, "96");
    dialog.ExecuteButtonClick();
    QCOMPARE(bench.prompt.Texts(), QStringList{"Invalid number of counts!"});
    QVERIFY(bench.prompt.messages.first().error);
    QVERIFY(dialog.isVisible());
    QCOMPARE(editor->TrimRequest(), 0);

    // 0 counts send nothing.
    bench.prompt.Clear();
    dialog.SpinEdit1.setValue(0);
    dialog.ExecuteButtonClick();
    QVERIFY(!dialog.isVisible());
    QVERIFY(bench.WaitForTurns("$0A8\r", 2));
    QCOMPARE(probe.timeOuts.size(), 1);
    QVERIFY(bench.prompt.Texts().isEmpty());
}

void TestEditor4021::oneCalibrationDialogAtATime()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    auto *editor = bench.Open<TForm60>(record);
    QVERIFY(editor);
    TForm7 &calibration = bench.calibrationDialogs.Form7;
    TForm8 &trim = bench.calibrationDialogs.Form8;

    editor->TrimCalButtonClick();
    QVERIFY(trim.isVisible());
    QTest::mouseClick(&editor->Cal4mAButton, Qt::LeftButton);
    QVERIFY(!calibration.isVisible());
    trim.CancelButtonClick();

    editor->Cal4mAButtonClick();
    QVERIFY(calibration.isVisible());
    // Neither the other calibration nor the trim takes over the open dialog.
    editor->Cal20mAButtonClick();
    QCOMPARE(calibration.requestCode, TForm60::Calibrate4mA);
    QCOMPARE(calibration.windowTitle(), QString("4mA Calibaration N780 (0A)"));
    editor->TrimCalButtonClick();
    QVERIFY(!trim.isVisible());
}

void TestEditor4021::dialogButtons()
{
    CalibrationDialogSet dialogs;
    QCOMPARE(&CalibrationDialog(), &dialogs.Form7);
    QCOMPARE(&TrimDialog(), &dialogs.Form8);
    TForm7 &calibration = dialogs.Form7;
    TForm8 &trim = dialogs.Form8;
    QCOMPARE(calibration.windowTitle(), QString("Calibration ..."));
    QCOMPARE(trim.windowTitle(), QString("Trim Calibratioon"));
    QCOMPARE(trim.Label1.text(), QString("Enter number of counts betwen - 95 and + 95."));
    QVERIFY(!calibration.isModal());
    QVERIFY(!calibration.isVisible());

    QObject editor;
    int request = 0;
    calibration.SetTarget(&editor, request);
    calibration.requestCode = 3;
    for (QPushButton *button : {&calibration.CancelButton, &calibration.ExitButton}) {
        calibration.show();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!calibration.isVisible());
        QCOMPARE(request, 0);
    }
    calibration.show();
    QTest::mouseClick(&calibration.ExecuteButton, Qt::LeftButton);
    QVERIFY(!calibration.isVisible());
    QCOMPARE(request, 3);

    // Trim counts become one byte; the arrows stop at the limits.
    RecordingPrompt prompt;
    Prompt *previous = InstallPrompt(&prompt);
    trim.SetTarget(&editor, request);
    for (auto [counts, stored] :
         {std::pair{1, 1}, std::pair{95, 95}, std::pair{-95, 161}, std::pair{-1, 255}}) {
        trim.SpinEdit1.setValue(counts);
        trim.ExecuteButtonClick();
        QCOMPARE(request, stored);
    }
    trim.SpinEdit1.stepBy(5);
    QCOMPARE(trim.SpinEdit1.value(), -1 + 5);
    trim.SpinEdit1.setValue(94);
    trim.SpinEdit1.stepBy(10);
    QCOMPARE(trim.SpinEdit1.value(), 95);
    trim.SpinEdit1.setValue(-96);
    trim.show();
    trim.ExecuteButtonClick();
    QVERIFY(trim.isVisible());
    QCOMPARE(request, 255);
    trim.ExitButtonClick();
    QVERIFY(!trim.isVisible());
    QCOMPARE(prompt.Texts(), QStringList{"Invalid number of counts!"});
    InstallPrompt(previous);
}

void TestEditor4021::closedEditorIsNotWritten()
{
    CalibrationDialogSet dialogs;
    int request = 0;
    auto *editor = new QObject;
    dialogs.Form7.SetTarget(editor, request);
    dialogs.Form7.requestCode = 2;
    dialogs.Form7.show();
    QVERIFY(dialogs.Form7.HasTarget());
    delete editor;
    QVERIFY(!dialogs.Form7.HasTarget());
    dialogs.Form7.ExecuteButtonClick();
    QVERIFY(!dialogs.Form7.isVisible());
    QCOMPARE(request, 0);

    // The same through a real editor window that the user closed while the dialog stood open.
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    auto *window = OpenAndSettle(bench, record);
    QVERIFY(window);
    window->Cal20mAButtonClick();
    QPointer<TForm60> guard(window);
    window->close();
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), EditorBench::WaitMs);
    QCOMPARE(record->editorState, EditorState::Closed);
    bench.calibrationDialogs.Form7.ExecuteButtonClick();
    QVERIFY(!bench.calibrationDialogs.Form7.isVisible());
}

void TestEditor4021::factoryOpensTheEditorWithDescription()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    record->captions = QStringList{"Ventil"};
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    QCOMPARE(editor->objectName(), QString("TForm60"));
    QCOMPARE(editor->DesriptionEdit.text(), QString("Ventil"));
    QVERIFY(editor->findChild<QComboBox *>("Baudrate21ComboBox"));
    QVERIFY(editor->findChild<QGroupBox *>("GSBox4060"));
    QVERIFY(editor->findChild<QScrollBar *>("ScrollBar1"));

    // The description goes back into the record when the window closes.
    editor->DesriptionEdit.setText("Klapka");
    QPointer<TForm60> guard(editor);
    editor->close();
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), EditorBench::WaitMs);
    QCOMPARE(record->captions, QStringList{"Klapka"});
}

QTEST_MAIN(TestEditor4021)
#include "tst_editor_4021.moc"
