// The 4017 eight-channel input window: the configuration and range text, the enable boxes and values the turn
// reports, a ticked box reaching the turn, the zero and span calibration dialogs handing their code to the
// turn, and the channel names going into the record. The bytes the turn sends are tst_turn_4017's matter.

#include "editor_bench.h"

#include "editors/editor_4017.h"

using namespace navix;

namespace {
TForm50 *OpenAndSettle(EditorBench &bench, const ModuleRecordPtr &record)
{
    auto *editor = bench.Open<TForm50>(record);
    if (editor && !bench.WaitForTurns("$" + record->Address() + "6\r"))
        return nullptr;
    return editor;
}
QCheckBox &EnableBox(const QWidget *editor, int channel)
{
    return Find<QCheckBox>(editor, "CheckBox" + QString::number(channel + 1));
}
QLineEdit &ValueEdit(const QWidget *editor, int channel)
{
    return Find<QLineEdit>(editor, "Edit" + QString::number(channel + 1));
}
Turn4017 &Channels(TForm50 *editor)
{
    return static_cast<Turn4017 &>(editor->Turn());
}
} // namespace

class TestEditor4017 : public QObject
{
    Q_OBJECT
private slots:
    void configurationText();
    void channelsShow();
    void tickedBoxReachesTurn();
    void calibrations();
    void captionEditReachesTheRecord();
};

void TestEditor4017::configurationText()
{
    TestWorkspace workspace;
    TForm50 editor(workspace);
    editor.Turn().ShowConfig("0A0D0680");
    QLineEdit &format = Find<QLineEdit>(&editor, "FormatEdit");
    QComboBox &range = Find<QComboBox>(&editor, "InputRange17ComboBox");
    QCOMPARE(format.text(), QString("+/-    20 mA"));
    QCOMPARE(range.currentText(), QString("+/-    20 mA"));
    QCOMPARE(Find<QComboBox>(&editor, "IntgrTimeComboBox").currentText(), QString("60 ms ( 50 Hz power )"));
    QCOMPARE(Find<QComboBox>(&editor, "Baudrate17ComboBox").count(), 5);
    QCheckBox &checkSum = Find<QCheckBox>(&editor, "CheckSumBox");
    QCOMPARE(checkSum.text(), QString("Enabled"));
    QVERIFY(editor.findChild<QCheckBox *>("ShowSetingCheckBox"));
    editor.Turn().ShowConfig("0A080640");
    QCOMPARE(format.text(), QString("+/-  10 V"));
    QVERIFY(checkSum.isChecked());
    // A range code without an item shows none.
    editor.Turn().ShowConfig("0A0F0600");
    QCOMPARE(format.text(), QString());
    QCOMPARE(range.currentText(), QString());
    // The channel names are Edit9..Edit16.
    QCOMPARE(Find<QLineEdit>(&editor, "Edit16").text(), QString("Vstup 8"));
    editor.Turn().SetCaptions({"Tlak", "Teplota"});
    QCOMPARE(Find<QLineEdit>(&editor, "Edit9").text(), QString("Tlak"));
    QCOMPARE(Find<QLineEdit>(&editor, "Edit10").text(), QString("Teplota"));
    Find<QLineEdit>(&editor, "Edit11").setText("Vlhkost");
    QCOMPARE(editor.Turn().Captions().value(2), QString("Vlhkost"));
}

void TestEditor4017::channelsShow()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A080600");
    bench.Module(record).channelMask = 0x05;
    auto *editor = bench.Open<TForm50>(record);
    QVERIFY(editor);
    // Texts from an earlier mask must go where the channel is off.
    for (int channel = 0; channel < Turn4017::ChannelCount; ++channel)
        ValueEdit(editor, channel).setText("old");
    QVERIFY(bench.WaitForTurns("$0A6\r", 2));
    for (int channel = 0; channel < Turn4017::ChannelCount; ++channel) {
        const bool enabled = channel == 0 || channel == 2;
        QCOMPARE(EnableBox(editor, channel).isChecked(), enabled);
        QCOMPARE(ValueEdit(editor, channel).text().size(), enabled ? 7 : 0);
    }
    // Showing the module's mask is no change to write back to it.
    QVERIFY(!Channels(editor).ChannelChanged());
}

void TestEditor4017::tickedBoxReachesTurn()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A080600");
    bench.Module(record).channelMask = 0x01;
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);

    // The user ticks channel 3: the mask goes to the turn (which writes it: tst_turn_4017), the reads of
    // this turn do not untick the box, and the channel's value shows once the module reads it.
    Tick(EnableBox(editor, 2));
    QVERIFY(EnableBox(editor, 2).isChecked());
    QVERIFY(Channels(editor).ChannelChanged());
    QCOMPARE(Channels(editor).BoxMask(), 0x05);
    // A box set without the mouse (keyboard, screen reader, test robot) counts as the same choice.
    EnableBox(editor, 4).setChecked(true);
    QCOMPARE(Channels(editor).BoxMask(), 0x15);
    EnableBox(editor, 4).setChecked(false);
    QCOMPARE(Channels(editor).BoxMask(), 0x05);
    QTRY_COMPARE_WITH_TIMEOUT(ValueEdit(editor, 2).text().size(), 7, EditorBench::WaitMs);
    QVERIFY(EnableBox(editor, 2).isChecked());
}

void TestEditor4017::calibrations()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A0D0600");
    bench.Module(record).channelMask = 0x03;
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    TForm7 &dialog = bench.calibrationDialogs.Form7;

    const struct
    {
        QString button;
        QString caption;
        QString message;
        CalibrationCode code;
    } cases[] = {
        {"SpanButton", "Span Calibaration N770 (0A)", "Apply + 20 mA voltage source to the imput terminals.",
         CalibrationCode::Span},
        {"ZeroButton", "Zero Calibaration N770 (0A)", "Shunt imput terminals.", CalibrationCode::Zero},
    };
    for (const auto &sample : cases) {
        QTest::mouseClick(&Find<QPushButton>(editor, sample.button), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.windowTitle(), sample.caption);
        QCOMPARE(Find<QLabel>(&dialog, "Label1").text(), sample.message);
        // Confirmed, the code goes to the turn; the command it becomes is tst_turn_4017's matter.
        QTest::mouseClick(&Find<QPushButton>(&dialog, "ExecuteButton"), Qt::LeftButton);
        QVERIFY(Channels(editor).CalibrationRequest() == sample.code);
        QTRY_VERIFY_WITH_TIMEOUT(!Channels(editor).CalibrationRequest(), EditorBench::WaitMs);
    }
}

void TestEditor4017::captionEditReachesTheRecord()
{
    // How a close waits for the end of the turn is the common window's and tst_turn_4017's matter; the
    // channel names typed in this window go into the record with it.
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A080600");
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    record->captions.clear();
    Find<QLineEdit>(editor, "Edit9").setText("Tlak");

    QPointer<TForm50> guard(editor);
    editor->close();
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), EditorBench::WaitMs);
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(record->captions.value(0), QString("Tlak"));
}

QTEST_MAIN(TestEditor4017)
#include "tst_editor_4017.moc"
