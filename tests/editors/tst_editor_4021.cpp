// The type 4021 output window: its controls show the configuration, the output position and the values the
// turn reports; the scroll bar and the calibration buttons hand the user's choices to the turn through the
// shared dialogs; and the dialogs themselves. The commands the turn sends for them are tst_turn_4021's.

#include "editor_bench.h"

#include "editors/editor_4021.h"

#include <QScrollBar>

using namespace navix;

namespace {
// An editor on the bench, through its first full turn.
TForm60 *OpenAndSettle(EditorBench &bench, const ModuleRecordPtr &record)
{
    auto *editor = bench.Open<TForm60>(record);
    if (editor && !bench.WaitForTurns("$" + record->Address() + "8\r"))
        return nullptr;
    return editor;
}
QScrollBar &ScrollBar(const QWidget *editor)
{
    return Find<QScrollBar>(editor, "ScrollBar1");
}
Turn4021 &Output(TForm60 *editor)
{
    return static_cast<Turn4021 &>(editor->Turn());
}
} // namespace

class TestEditor4021 : public QObject
{
    Q_OBJECT
private slots:
    void configurationShows_data();
    void configurationShows();
    void scrollBarHandsPositionToTurn();
    void firstTurnShowsReads();
    void calibrationButtons_data();
    void calibrationButtons();
    void trimDialog();
    void oneCalibrationDialogAtATime();
    void dialogButtons();
    void closedEditorIsNotWritten();
    void factoryOpensTheEditorWithDescription();
};

void TestEditor4021::configurationShows_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("rangeText");
    QTest::addColumn<QString>("formatText");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("firstSetValue");

    QTest::newRow("4 to 20 mA") << QByteArray("0A310600") << "4-20 mA"
                                << "Engineering units" << 4000 << 20000 << "04.000";
    QTest::newRow("0 to 10 V") << QByteArray("0A320600") << "0-10 V"
                               << "Engineering units" << 0 << 10000 << "00.000";
    QTest::newRow("% of FSR") << QByteArray("0A310601") << "4-20 mA"
                              << "% of FSR" << 0 << 10000 << "+000.00";
    QTest::newRow("hexadecimal") << QByteArray("0A320602") << "0-10 V"
                                 << "Hexadecimal" << 0 << 4095 << "000";
    QTest::newRow("unknown range") << QByteArray("0A390600") << ""
                                   << "Engineering units" << 0 << 20000 << "00.000";
}

void TestEditor4021::configurationShows()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, rangeText);
    QFETCH(QString, formatText);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(QString, firstSetValue);

    TestWorkspace workspace;
    TForm60 editor(workspace);
    // A position far up from an earlier configuration must not survive into the new range.
    editor.Turn().ShowConfig("0A300600");
    ScrollBar(&editor).setValue(20000);
    editor.Turn().ShowConfig(config);

    QCOMPARE(Find<QLineEdit>(&editor, "OutRanEdit").text(), rangeText);
    QCOMPARE(Find<QComboBox>(&editor, "DataFormat21ComboBox").currentText(), formatText);
    QCOMPARE(Find<QComboBox>(&editor, "SlewRateComboBox").currentText(), QString("Immediate chance"));
    QCOMPARE(Find<QComboBox>(&editor, "Baudrate21ComboBox").currentText(), QString("9600"));
    QVERIFY(!Find<QCheckBox>(&editor, "CheckSumBox").isChecked());
    QCOMPARE(ScrollBar(&editor).minimum(), minimum);
    QCOMPARE(ScrollBar(&editor).maximum(), maximum);
    QCOMPARE(ScrollBar(&editor).value(), minimum);
    QCOMPARE(Find<QLineEdit>(&editor, "SetValueEdit").text(), firstSetValue);
}

void TestEditor4021::scrollBarHandsPositionToTurn()
{
    TestWorkspace workspace;
    TForm60 editor(workspace);
    QLineEdit &setValue = Find<QLineEdit>(&editor, "SetValueEdit");
    editor.Turn().ShowConfig("0A300600");
    ScrollBar(&editor).setValue(12345);
    QCOMPARE(setValue.text(), QString("12.345"));
    QCOMPARE(Output(&editor).Position(), 12345);
    QVERIFY(Output(&editor).SetValuePending());
    // The large step of the scroll bar.
    editor.Turn().ShowConfig("0A300600");
    ScrollBar(&editor).triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(setValue.text(), QString("00.100"));
    QCOMPARE(Output(&editor).SetValueText(), QString("00.100"));
}

void TestEditor4021::firstTurnShowsReads()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A300600");
    SimModule &module = bench.Module(record);
    module.outputValue = 12.345;
    module.outputReadback = 11.5;
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), QString("Navix 780"));

    QCOMPARE(Find<QLineEdit>(editor, "LastvalueEdit").text(), QString("12.345"));
    QCOMPARE(Find<QLineEdit>(editor, "SetValueEdit").text(), QString("12.345"));
    QCOMPARE(ScrollBar(editor).value(), 12345);
    QCOMPARE(Find<QLineEdit>(editor, "DataEdit").text(), QString("11.500"));
    QCOMPARE(Find<QGroupBox>(editor, "Box4060").title(), EditorTurn::CommunicationText);
    QCOMPARE(Find<QLineEdit>(editor, "FirmWareEdit").text(), QString(module.firmware));
    // The position the read moved the bar to is the module's own, no change by the user: nothing is written.
    QVERIFY(bench.WaitForTurns("$0A8\r", 2));
    QVERIFY(bench.Writes().isEmpty());
    QVERIFY(!Output(editor).SetValuePending());
}

void TestEditor4021::calibrationButtons_data()
{
    QTest::addColumn<bool>("twentyMilliamps");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message");
    QTest::addColumn<CalibrationCode>("code");
    QTest::newRow("4 mA") << false << "4mA Calibaration N780 (0A)"
                          << "Stores the current output value as 4mA." << CalibrationCode::FourMilliamps;
    QTest::newRow("20 mA") << true << "20mA Calibaration N780 (0A)"
                           << "Stores the current output value as 20mA." << CalibrationCode::TwentyMilliamps;
}

void TestEditor4021::calibrationButtons()
{
    QFETCH(bool, twentyMilliamps);
    QFETCH(QString, caption);
    QFETCH(QString, message);
    QFETCH(CalibrationCode, code);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);

    QTest::mouseClick(&Find<QPushButton>(editor, twentyMilliamps ? "Cal20mAButton" : "Cal4mAButton"),
                      Qt::LeftButton);
    TForm7 &dialog = bench.calibrationDialogs.Form7;
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), caption);
    QCOMPARE(Find<QLabel>(&dialog, "Label1").text(), message);
    // Nothing reaches the turn before the user confirms.
    QVERIFY(bench.WaitForTurns("$0A8\r"));
    QVERIFY(!Output(editor).CalibrationRequest());

    // Confirmed, the code goes to the turn, which sends it (its own test checks the command).
    QTest::mouseClick(&Find<QPushButton>(&dialog, "ExecuteButton"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(Output(editor).CalibrationRequest() == code);
}

void TestEditor4021::trimDialog()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    TForm8 &dialog = bench.calibrationDialogs.Form8;

    // -1 count reaches the turn as the byte FF; the turn sends it (its own test checks the command).
    QTest::mouseClick(&Find<QPushButton>(editor, "TrimCalButton"), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QString("Trim Calibration N780 (0A)"));
    Find<QSpinBox>(&dialog, "SpinEdit1").setValue(-1);
    QTest::mouseClick(&Find<QPushButton>(&dialog, "ExecuteButton"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Output(editor).TrimRequest(), 0xFF);
    QTRY_COMPARE_WITH_TIMEOUT(Output(editor).TrimRequest(), 0, EditorBench::WaitMs);

    // 96 counts are refused and the dialog stays; the spin edit kept its last value before.
    bench.prompt.Clear();
    editor->TrimCalButtonClick();
    QCOMPARE(Find<QSpinBox>(&dialog, "SpinEdit1").value(), -1);
    Find<QSpinBox>(&dialog, "SpinEdit1").selectAll();
    QTest::keyClicks(&Find<QSpinBox>(&dialog, "SpinEdit1"), "96");
    Find<QPushButton>(&dialog, "ExecuteButton").click();
    QCOMPARE(bench.prompt.Texts(), QStringList{"Invalid number of counts!"});
    QVERIFY(bench.prompt.messages.first().error);
    QVERIFY(dialog.isVisible());
    QCOMPARE(Output(editor).TrimRequest(), 0);

    // 0 counts close the dialog without a trim for the turn.
    bench.prompt.Clear();
    Find<QSpinBox>(&dialog, "SpinEdit1").setValue(0);
    Find<QPushButton>(&dialog, "ExecuteButton").click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Output(editor).TrimRequest(), 0);
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
    QTest::mouseClick(&Find<QPushButton>(editor, "Cal4mAButton"), Qt::LeftButton);
    QVERIFY(!calibration.isVisible());
    Find<QPushButton>(&trim, "CancelButton").click();

    editor->Cal4mAButtonClick();
    QVERIFY(calibration.isVisible());
    // Neither the other calibration nor the trim takes over the open dialog.
    editor->Cal20mAButtonClick();
    QCOMPARE(calibration.RequestCode(), static_cast<int>(CalibrationCode::FourMilliamps));
    QCOMPARE(calibration.windowTitle(), QString("4mA Calibaration N780 (0A)"));
    editor->TrimCalButtonClick();
    QVERIFY(!trim.isVisible());
    Find<QPushButton>(&calibration, "ExecuteButton").click();
    QVERIFY(Output(editor).CalibrationRequest() == CalibrationCode::FourMilliamps);
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
    QCOMPARE(Find<QLabel>(&trim, "Label1").text(), QString("Enter number of counts betwen - 95 and + 95."));
    QVERIFY(!calibration.isModal());
    QVERIFY(!calibration.isVisible());

    QObject editor;
    int request = 0;
    const auto store = [&request](int value) { request = value; };
    calibration.SetTarget(&editor, store);
    calibration.SetRequestCode(3);
    for (QPushButton *button :
         {&Find<QPushButton>(&calibration, "CancelButton"), &Find<QPushButton>(&calibration, "ExitButton")}) {
        calibration.show();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!calibration.isVisible());
        QCOMPARE(request, 0);
    }
    calibration.show();
    QTest::mouseClick(&Find<QPushButton>(&calibration, "ExecuteButton"), Qt::LeftButton);
    QVERIFY(!calibration.isVisible());
    QCOMPARE(request, 3);

    // Trim counts become one byte; the arrows stop at the limits.
    RecordingPrompt prompt;
    Prompt *previous = InstallPrompt(&prompt);
    trim.SetTarget(&editor, store);
    for (auto [counts, stored] :
         {std::pair{1, 1}, std::pair{95, 95}, std::pair{-95, 161}, std::pair{-1, 255}}) {
        Find<QSpinBox>(&trim, "SpinEdit1").setValue(counts);
        Find<QPushButton>(&trim, "ExecuteButton").click();
        QCOMPARE(request, stored);
    }
    Find<QSpinBox>(&trim, "SpinEdit1").stepBy(5);
    QCOMPARE(Find<QSpinBox>(&trim, "SpinEdit1").value(), -1 + 5);
    Find<QSpinBox>(&trim, "SpinEdit1").setValue(94);
    Find<QSpinBox>(&trim, "SpinEdit1").stepBy(10);
    QCOMPARE(Find<QSpinBox>(&trim, "SpinEdit1").value(), 95);
    Find<QSpinBox>(&trim, "SpinEdit1").setValue(-96);
    trim.show();
    Find<QPushButton>(&trim, "ExecuteButton").click();
    QVERIFY(trim.isVisible());
    QCOMPARE(request, 255);
    Find<QPushButton>(&trim, "ExitButton").click();
    QVERIFY(!trim.isVisible());
    QCOMPARE(prompt.Texts(), QStringList{"Invalid number of counts!"});
    InstallPrompt(previous);
}

void TestEditor4021::closedEditorIsNotWritten()
{
    CalibrationDialogSet dialogs;
    int request = 0;
    auto *editor = new QObject;
    dialogs.Form7.SetTarget(editor, [&request](int value) { request = value; });
    dialogs.Form7.SetRequestCode(2);
    dialogs.Form7.show();
    QVERIFY(dialogs.Form7.HasTarget());
    delete editor;
    QVERIFY(!dialogs.Form7.HasTarget());
    Find<QPushButton>(&dialogs.Form7, "ExecuteButton").click();
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
    Find<QPushButton>(&bench.calibrationDialogs.Form7, "ExecuteButton").click();
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
    QLineEdit &description = Find<QLineEdit>(editor, "DesriptionEdit");
    QCOMPARE(description.text(), QString("Ventil"));
    QVERIFY(editor->findChild<QComboBox *>("Baudrate21ComboBox"));
    QVERIFY(editor->findChild<QGroupBox *>("GSBox4060"));

    // The description goes back into the record when the window closes.
    description.setText("Klapka");
    QPointer<TForm60> guard(editor);
    editor->close();
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), EditorBench::WaitMs);
    QCOMPARE(record->captions, QStringList{"Klapka"});
}

QTEST_MAIN(TestEditor4021)
#include "tst_editor_4021.moc"
