// The 4x13 sensor window: caption, range item and calibration buttons by the sensor the turn is named with,
// the unit name and value of each data format, settings chosen in the controls reaching the turn, the
// calibration dialogs handing their code to the turn, and the window layout. The bytes on the wire are the
// turn's matter (tst_turn_4x13).

#include "editor_bench.h"

#include "editors/editor_4x13.h"

#include <array>

using namespace navix;

namespace {
// An editor on the bench, through its first full turn.
TForm1x *OpenAndSettle(EditorBench &bench, const ModuleRecordPtr &record, const QByteArray &read = "#05\r")
{
    auto *editor = bench.Open<TForm1x>(record);
    return editor && bench.WaitForTurns(read) ? editor : nullptr;
}
QComboBox &Range(const QWidget *editor)
{
    return Find<QComboBox>(editor, "InputRange13ComboBox");
}
} // namespace

class TestEditor4x13 : public QObject
{
    Q_OBJECT
private slots:
    void sensorTable_data();
    void sensorTable();
    void unknownSensorLeavesWindow();
    void dataFormats_data();
    void dataFormats();
    void configurationWrite();
    void calibrations_data();
    void calibrations();
    void layoutHeights();
};

void TestEditor4x13::sensorTable_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("rangeItem");
    QTest::addColumn<bool>("calibratable");
    const QString temperature = QString::fromLatin1("temperature -40/+124\xB0"
                                                    "C");
    QTest::newRow("4113") << QByteArray("4113") << "Navix 755" << temperature << false;
    QTest::newRow("4213") << QByteArray("4213") << "Navix 756"
                          << "humidity 0-100%" << false;
    QTest::newRow("4313") << QByteArray("4313") << "Navix 742"
                          << "CO 0-300ppm" << true;
    QTest::newRow("4413") << QByteArray("4413") << "Navix 743"
                          << "CO2 0-300ppm" << true;
    QTest::newRow("4513") << QByteArray("4513") << "Navix PKR-2"
                          << "AP 0-110kPa" << true;
    QTest::newRow("4613") << QByteArray("4613") << "Navix PKR-1"
                          << "DP 0-500Pa" << true;
}

void TestEditor4x13::sensorTable()
{
    QFETCH(QByteArray, typeId);
    QFETCH(QString, caption);
    QFETCH(QString, rangeItem);
    QFETCH(bool, calibratable);

    for (const bool init : {false, true}) {
        EditorBench bench;
        ModuleRecordPtr record = bench.AddModule(typeId, "05200600", init);
        auto *editor = OpenAndSettle(bench, record, init ? "#00\r" : "#05\r");
        QVERIFY(editor);
        QCOMPARE(editor->windowTitle(), init ? caption + " - Init" : caption);
        QCOMPARE(Range(editor).count(), 1);
        QCOMPARE(Range(editor).currentText(), rangeItem);
        QCOMPARE(Find<QLineEdit>(editor, "DesriptionEdit").text(), record->captions.first());
        QCOMPARE(Find<QGroupBox>(editor, "Box4x13").title(), EditorTurn::CommunicationText);
        // Sensors without calibration open no dialog, not even when asked past their disabled buttons.
        QCOMPARE(Find<QPushButton>(editor, "OffsetButton").isEnabled(), calibratable);
        QCOMPARE(Find<QPushButton>(editor, "SpanButton").isEnabled(), calibratable);
        editor->SpanButtonClick();
        QCOMPARE(bench.calibrationDialogs.Form7.isVisible(), calibratable);
    }
}

void TestEditor4x13::unknownSensorLeavesWindow()
{
    TestWorkspace workspace;
    TForm1x editor(workspace);
    editor.Turn().SetModuleName("4017");
    QCOMPARE(editor.windowTitle(), QString("Navix 7xx & PKR - 1x"));
    QCOMPARE(Range(&editor).count(), 0);
    // A range code other than the sensor's one shows no item.
    editor.Turn().SetModuleName("4313");
    editor.Turn().ShowConfig("05210600");
    QCOMPARE(Range(&editor).currentText(), QString());
    QVERIFY(!Find<QPushButton>(&editor, "UpdateSetingsButton").isEnabled());
}

void TestEditor4x13::dataFormats_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("unitName");
    QTest::addColumn<QString>("integrationTime");
    QTest::newRow("engineering units") << QByteArray("05200600") << "Unit"
                                       << "50 ms ( 60Hz power )";
    QTest::newRow("% of FSR") << QByteArray("05200601") << "%SFR"
                              << "50 ms ( 60Hz power )";
    QTest::newRow("hex, 60 ms") << QByteArray("05200682") << "2Hex"
                                << "60 ms ( 50Hz power)";
    QTest::newRow("ohms") << QByteArray("05200603") << "Ohms"
                          << "50 ms ( 60Hz power )";
}

void TestEditor4x13::dataFormats()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, unitName);
    QFETCH(QString, integrationTime);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4313", config);
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    QCOMPARE(Find<QLineEdit>(editor, "UnitNameEdit").text(), unitName);
    QCOMPARE(Find<QComboBox>(editor, "IntgrTimeComboBox").currentText(), integrationTime);
    // The value shows as the module sent it.
    const QByteArray reply = bench.LastReplyTo("#05\r");
    QCOMPARE(Find<QLineEdit>(editor, "DataEdit").text(), FromWire(Copy(reply, 2, reply.size() - 2)));
}

void TestEditor4x13::configurationWrite()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4313", "05200600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);

    Find<QCheckBox>(editor, "ShowSetingsCheckBox").setChecked(true);
    Find<QSpinBox>(editor, "DecAdrSpinEdit").setValue(6);
    Find<QComboBox>(editor, "IntgrTimeComboBox").setCurrentIndex(1);
    Find<QComboBox>(editor, "DataFormat13ComboBox").setCurrentIndex(3);
    // The choices reach the turn, which writes them (its own test checks the bytes).
    const EditorTurn &turn = editor->Turn();
    QCOMPARE(turn.ChosenAddress(), 6);
    QCOMPARE(turn.Setting(AnalogInputTurn::IntegrationSetting).chosen, 1);
    QCOMPARE(turn.Setting(AnalogInputTurn::DataFormatSetting).chosen, 3);
    QTest::mouseClick(&Find<QPushButton>(editor, "UpdateSetingsButton"), Qt::LeftButton);
    QVERIFY(turn.UpdateRequested());
    QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(editor, "UnitNameEdit").text(), QString("Ohms"),
                              EditorBench::WaitMs);
    QCOMPARE(Find<QSpinBox>(editor, "DecAdrSpinEdit").value(), 6);
}

void TestEditor4x13::calibrations_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<bool>("span");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message");
    QTest::newRow("4313 span") << QByteArray("4313") << true << "Span Calibaration N742 (05)"
                               << "Apply 20mA to the module input !";
    QTest::newRow("4413 offset") << QByteArray("4413") << false << "Offset Calibaration N743 (05)"
                                 << "Apply 4mA to the module input !";
    QTest::newRow("4513 span") << QByteArray("4513") << true << "Span Calibaration PKR-02 (05)"
                               << "Apply 5V to the module input !";
    QTest::newRow("4613 offset") << QByteArray("4613") << false << "Offset Calibaration PKR-01 (05)"
                                 << "Please, short out the module input!";
}

void TestEditor4x13::calibrations()
{
    QFETCH(QByteArray, typeId);
    QFETCH(bool, span);
    QFETCH(QString, caption);
    QFETCH(QString, message);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule(typeId, "05200600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);

    QTest::mouseClick(&Find<QPushButton>(editor, span ? "SpanButton" : "OffsetButton"), Qt::LeftButton);
    TForm7 &dialog = bench.calibrationDialogs.Form7;
    QVERIFY(dialog.isVisible());
    // The other button does not take the open dialog over, and nothing goes out before the user confirms.
    span ? editor->OffsetButtonClick() : editor->SpanButtonClick();
    QCOMPARE(dialog.windowTitle(), caption);
    QCOMPARE(Find<QLabel>(&dialog, "Label1").text(), message);
    QVERIFY(bench.WaitForTurns("#05\r"));
    QVERIFY(!editor->Turn().CalibrationRequest());

    // Confirmed, the code of the pressed button goes to the turn (its own test checks the command).
    QTest::mouseClick(&Find<QPushButton>(&dialog, "ExecuteButton"), Qt::LeftButton);
    QVERIFY(editor->Turn().CalibrationRequest() == (span ? CalibrationCode::Span : CalibrationCode::Offset));
    QVERIFY(dialog.isHidden());
}

void TestEditor4x13::layoutHeights()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4313", "05200600");
    auto *editor = bench.Open<TForm1x>(record);
    QVERIFY(editor);
    const QGroupBox &status = Find<QGroupBox>(editor, "Box4x13");
    const QGroupBox &data = Find<QGroupBox>(editor, "DABox4x13");
    const QGroupBox &settings = Find<QGroupBox>(editor, "GSBox4x13");
    std::array<int, 2> heights{};
    for (const bool shown : {false, true, false}) {
        Find<QCheckBox>(editor, "ShowSetingsCheckBox").setChecked(shown);
        heights[shown] = editor->height();
        QCOMPARE(settings.isVisible(), shown);
        QVERIFY(editor->height() >= (shown ? 270 : 135));
        QCOMPARE(status.height(), editor->height() - 48);
        QCOMPARE(editor->width(), status.width() + 21);
        const int settingWidth = shown ? settings.width() : 0;
        QCOMPARE(status.width(), data.width() + settingWidth + 4);
    }
    // Without the settings the window is as short as the data area allows.
    QVERIFY(heights[0] < heights[1]);
}

QTEST_MAIN(TestEditor4x13)
#include "tst_editor_4x13.moc"
