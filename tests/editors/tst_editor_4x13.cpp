// The 4x13 sensor editor: the sensor table by type id, the data formats with their reply lengths, the
// configuration write, the offset and span calibrations with the raised time-out, and the window layout.

#include "editor_bench.h"

#include "editors/editor_4x13.h"

#include <array>

namespace {
// An editor on the bench, through its first full turn.
TForm1x *OpenAndSettle(EditorBench &bench, const ModuleRecordPtr &record, const QByteArray &read = "#05\r")
{
    auto *editor = bench.Open<TForm1x>(record);
    return editor && bench.WaitForTurns(read) ? editor : nullptr;
}
} // namespace

class TestEditor4x13 : public QObject
{
    Q_OBJECT
private slots:
    void sensorTable_data();
    void sensorTable();
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
    QTest::addColumn<QString>("modelLabel");
    QTest::addColumn<bool>("calibratable");
    const QString temperature = QString::fromLatin1("temperature -40/+124\xB0"
                                                    "C");
    QTest::newRow("4113") << QByteArray("4113") << "Navix 755" << temperature << "N755" << false;
    QTest::newRow("4213") << QByteArray("4213") << "Navix 756"
                          << "humidity 0-100%"
                          << "N756" << false;
    QTest::newRow("4313") << QByteArray("4313") << "Navix 742"
                          << "CO 0-300ppm"
                          << "N742" << true;
    QTest::newRow("4413") << QByteArray("4413") << "Navix 743"
                          << "CO2 0-300ppm"
                          << "N743" << true;
    QTest::newRow("4513") << QByteArray("4513") << "Navix PKR-2"
                          << "AP 0-110kPa"
                          << "PKR-02" << true;
    QTest::newRow("4613") << QByteArray("4613") << "Navix PKR-1"
                          << "DP 0-500Pa"
                          << "PKR-01" << true;
}

void TestEditor4x13::sensorTable()
{
    QFETCH(QByteArray, typeId);
    QFETCH(QString, caption);
    QFETCH(QString, rangeItem);
    QFETCH(QString, modelLabel);
    QFETCH(bool, calibratable);

    for (const bool init : {false, true}) {
        EditorBench bench;
        ModuleRecordPtr record = bench.AddModule(typeId, "05200600", init);
        auto *editor = OpenAndSettle(bench, record, init ? "#00\r" : "#05\r");
        QVERIFY(editor);
        QCOMPARE(editor->windowTitle(), init ? caption + " - Init" : caption);
        QCOMPARE(editor->InputRange13ComboBox.count(), 1);
        QCOMPARE(editor->InputRange13ComboBox.currentText(), rangeItem);
        QCOMPARE(editor->ModelLabel(), modelLabel);
        QCOMPARE(editor->DesriptionEdit.text(), record->captions.first());
        const QList<QByteArray> firstTurn =
            init ? QList<QByteArray>{"$00F\r", "#00\r"} : QList<QByteArray>{"$05F\r", "#05\r"};
        QCOMPARE(bench.Commands().mid(0, 2), firstTurn);
        QCOMPARE(editor->StatusBox.title(), ModuleEditorWindow::CommunicationText);
        // Sensors without calibration open no dialog, not even when asked past their disabled buttons.
        QCOMPARE(editor->OffsetButton.isEnabled(), calibratable);
        QCOMPARE(editor->SpanButton.isEnabled(), calibratable);
        editor->SpanButtonClick();
        QCOMPARE(bench.calibrationDialogs.Form7.isVisible(), calibratable);
    }
    // A type id the table does not hold leaves the window as it was.
    TestWorkspace workspace;
    TForm1x editor(workspace);
    editor.SetSubType("4017");
    QCOMPARE(editor.windowTitle(), QString("Navix 7xx & PKR - 1x"));
    QCOMPARE(editor.SubType(), 0);
    // A range code other than the sensor's one shows no item and goes back as the module reported it.
    editor.SetSubType("4313");
    QVERIFY(!editor.UpdateButton.isEnabled());
    editor.ShowConfig("05210600");
    QCOMPARE(editor.InputRange13ComboBox.currentText(), QString());
    QCOMPARE(editor.ComposeConfig(), QByteArray("0505210600"));
}

void TestEditor4x13::dataFormats_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("unitName");
    QTest::addColumn<int>("valueLength");
    QTest::addColumn<QString>("integrationTime");
    QTest::newRow("engineering units") << QByteArray("05200600") << "Unit" << 7 << "50 ms ( 60Hz power )";
    QTest::newRow("% of FSR") << QByteArray("05200601") << "%SFR" << 7 << "50 ms ( 60Hz power )";
    QTest::newRow("hex, 60 ms") << QByteArray("05200682") << "2Hex" << 4 << "60 ms ( 50Hz power)";
    QTest::newRow("ohms") << QByteArray("05200603") << "Ohms" << 7 << "50 ms ( 60Hz power )";
}

void TestEditor4x13::dataFormats()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, unitName);
    QFETCH(int, valueLength);
    QFETCH(QString, integrationTime);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4313", config);
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    QCOMPARE(editor->UnitNameEdit.text(), unitName);
    QCOMPARE(editor->IntgrTimeComboBox.currentText(), integrationTime);
    // What was read composes back unchanged.
    QCOMPARE(editor->ComposeConfig(), "05" + config);
    // The reply is '>' + the value + CR, and the value shows as the module sent it.
    const QByteArray reply = bench.bus.Transcript().at(1).reply;
    QCOMPARE(reply.size(), valueLength + 2);
    QCOMPARE(editor->DataEdit.text(), FromWire(Copy(reply, 2, valueLength)));
}

void TestEditor4x13::configurationWrite()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4313", "05200600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    TimeOutProbe probe(bench.workspace.engine, "%");

    editor->ShowSettingsBox.setChecked(true);
    editor->DecAdrSpinEdit.setValue(6);
    editor->IntgrTimeComboBox.setCurrentIndex(1);
    editor->DataFormat13ComboBox.setCurrentIndex(3);
    QCOMPARE(editor->UpdateButton.objectName(), QString("UpdateSetingsButton"));
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    QCOMPARE(bench.CountOf("%0506200683\r"), 1);
    QCOMPARE(probe.timeOuts, QList<int>{ModuleEditorWindow::RaisedTimeOutMs});
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    QCOMPARE(record->config, QByteArray("06200683"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (06) N742"});
    QCOMPARE(editor->UnitNameEdit.text(), QString("Ohms"));
    QVERIFY(bench.WaitForTurns("#06\r"));
}

void TestEditor4x13::calibrations_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<bool>("span");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("4313 span") << QByteArray("4313") << true << "Span Calibaration N742 (05)"
                               << "Apply 20mA to the module input !" << QByteArray("$050\r");
    QTest::newRow("4413 offset") << QByteArray("4413") << false << "Offset Calibaration N743 (05)"
                                 << "Apply 4mA to the module input !" << QByteArray("$051\r");
    QTest::newRow("4513 span") << QByteArray("4513") << true << "Span Calibaration PKR-02 (05)"
                               << "Apply 5V to the module input !" << QByteArray("$050\r");
    QTest::newRow("4613 offset") << QByteArray("4613") << false << "Offset Calibaration PKR-01 (05)"
                                 << "Please, short out the module input!" << QByteArray("$051\r");
}

void TestEditor4x13::calibrations()
{
    QFETCH(QByteArray, typeId);
    QFETCH(bool, span);
    QFETCH(QString, caption);
    QFETCH(QString, message);
    QFETCH(QByteArray, command);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule(typeId, "05200600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    TimeOutProbe probe(bench.workspace.engine, "$05");

    QTest::mouseClick(span ? &editor->SpanButton : &editor->OffsetButton, Qt::LeftButton);
    TForm7 &dialog = bench.calibrationDialogs.Form7;
    QVERIFY(dialog.isVisible());
    // The other button does not take the open dialog over, and nothing goes out before the user confirms.
    span ? editor->OffsetButtonClick() : editor->SpanButtonClick();
    QCOMPARE(dialog.windowTitle(), caption);
    QCOMPARE(dialog.Label1.text(), message);
    QVERIFY(bench.WaitForTurns("#05\r"));
    QVERIFY(probe.timeOuts.isEmpty());

    QTest::mouseClick(&dialog.ExecuteButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration successful !"},
                              EditorBench::WaitMs);
    QVERIFY(!bench.prompt.messages.first().error);
    QCOMPARE(bench.CountOf(command), 1);
    // The calibration follows the value read of a turn and waits the raised time-out.
    QCOMPARE(bench.Commands().at(bench.Commands().indexOf(command) - 1), QByteArray("#05\r"));
    QCOMPARE(probe.timeOuts, QList<int>{ModuleEditorWindow::RaisedTimeOutMs});
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    QCOMPARE(bench.workspace.engine.ReplyWaitMs(), EditorBench::ReplyTimeOutMs);
}

void TestEditor4x13::layoutHeights()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4313", "05200600");
    auto *editor = bench.Open<TForm1x>(record);
    QVERIFY(editor);
    std::array<int, 2> heights{};
    for (const bool shown : {false, true, false}) {
        editor->ShowSettingsBox.setChecked(shown);
        heights[shown] = editor->height();
        QCOMPARE(editor->SettingBox.isVisible(), shown);
        QVERIFY(editor->height() >= (shown ? 270 : 135));
        QCOMPARE(editor->StatusBox.height(), editor->height() - 48);
        QCOMPARE(editor->width(), editor->StatusBox.width() + 21);
        const int settingWidth = shown ? editor->SettingBox.width() : 0;
        QCOMPARE(editor->StatusBox.width(), editor->DataAreaBox.width() + settingWidth + 4);
    }
    // Without the settings the window is as short as the data area allows.
    QVERIFY(heights[0] < heights[1]);
}

QTEST_MAIN(TestEditor4x13)
#include "tst_editor_4x13.moc"
