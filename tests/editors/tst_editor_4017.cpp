// The 4017 eight-channel input editor: the configuration text with its range codes, the channel mask and
// the channel scan with their exact bytes, switching channels, the zero and span calibrations, the
// configuration write and closing in the middle of a turn.

#include "editor_bench.h"

#include "editors/editor_4017.h"

namespace {
TForm50 *OpenAndSettle(EditorBench &bench, const ModuleRecordPtr &record)
{
    auto *editor = bench.Open<TForm50>(record);
    if (editor && !bench.WaitForTurns("$" + record->Address() + "6\r"))
        return nullptr;
    return editor;
}

// Commands of one turn: from the last but one mask read up to the last one.
QList<QByteArray> LastTurn(const EditorBench &bench, const QByteArray &maskRead)
{
    const QList<QByteArray> commands = bench.Commands();
    const qsizetype last = commands.lastIndexOf(maskRead);
    const qsizetype previous = commands.lastIndexOf(maskRead, last - 1);
    return previous < 0 ? QList<QByteArray>() : commands.mid(previous, last - previous);
}
} // namespace

class TestEditor4017 : public QObject
{
    Q_OBJECT
private slots:
    void configurationText();
    void channelScan_data();
    void channelScan();
    void lostChannelReadIsBlanked();
    void tickedChannelIsWrittenBeforeRefresh();
    void calibrations();
    void configurationWithAllChannelsOff();
    void closeDuringChannelReads();
};

void TestEditor4017::configurationText()
{
    TestWorkspace workspace;
    TForm50 editor(workspace);
    editor.ShowConfig("0A0D0680");
    QCOMPARE(editor.FormatEdit.text(), QString("+/-    20 mA"));
    QCOMPARE(editor.InputRange17ComboBox.currentText(), QString("+/-    20 mA"));
    QCOMPARE(editor.IntgrTimeComboBox.currentText(), QString("60 ms ( 50 Hz power )"));
    QCOMPARE(editor.BaudrateComboBox.count(), 5);
    QCOMPARE(editor.CheckSumBox.text(), QString("Enabled"));
    QVERIFY(editor.findChild<QCheckBox *>("ShowSetingCheckBox"));
    QCOMPARE(editor.ComposeConfig(), QByteArray("0A0A0D0680"));
    editor.ShowConfig("0A080640");
    QCOMPARE(editor.FormatEdit.text(), QString("+/-  10 V"));
    QVERIFY(editor.CheckSumBox.isChecked());
    QCOMPARE(editor.ComposeConfig(), QByteArray("0A0A080640"));
    // A range code without an item goes back as the module reported it.
    editor.ShowConfig("0A0F0600");
    QCOMPARE(editor.FormatEdit.text(), QString());
    QCOMPARE(editor.ComposeConfig(), QByteArray("0A0A0F0600"));
    // The channel names are Edit9..Edit16.
    editor.SetCaptions({"Tlak", "Teplota"});
    QCOMPARE(editor.findChild<QLineEdit *>("Edit9")->text(), QString("Tlak"));
    QCOMPARE(editor.findChild<QLineEdit *>("Edit10")->text(), QString("Teplota"));
    QCOMPARE(editor.Captions().value(7), QString("Vstup 8"));
}

void TestEditor4017::channelScan_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<QList<QByteArray>>("turn");
    QTest::newRow("05") << 0x05 << QList<QByteArray>{"$0A6\r", "#0A0\r", "#0A2\r"};
    QTest::newRow("00") << 0x00 << QList<QByteArray>{"$0A6\r"};
    QTest::newRow("80") << 0x80 << QList<QByteArray>{"$0A6\r", "#0A7\r"};
}

void TestEditor4017::channelScan()
{
    QFETCH(int, mask);
    QFETCH(QList<QByteArray>, turn);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A080600");
    bench.Module(record).channelMask = static_cast<quint8>(mask);
    auto *editor = bench.Open<TForm50>(record);
    QVERIFY(editor);
    // Texts from an earlier mask must go where the channel is off.
    for (QLineEdit &value : editor->ValueEdits)
        value.setText("old");
    QVERIFY(bench.WaitForTurns("$0A6\r", 2));
    QCOMPARE(bench.Commands().mid(0, 2), (QList<QByteArray>{"$0AF\r", "$0A6\r"}));
    QCOMPARE(LastTurn(bench, "$0A6\r"), turn);
    for (int channel = 0; channel < TForm50::ChannelCount; ++channel) {
        const bool enabled = (mask >> channel & 1) != 0;
        QCOMPARE(editor->EnableBoxes[channel].isChecked(), enabled);
        QCOMPARE(editor->ValueEdits[channel].text().size(), enabled ? 7 : 0);
    }
    QCOMPARE(editor->ChannelMask(), mask);
}

void TestEditor4017::lostChannelReadIsBlanked()
{
    // Replies handed to the editor directly, so that exactly one channel read is lost.
    TestWorkspace workspace;
    TForm50 editor(workspace);
    editor.ShowConfig("0A080600");
    QVERIFY(!editor.HandleReply({}));          // firmware query goes out
    QVERIFY(!editor.HandleReply("!0AA1.3\r")); // mask read goes out
    QVERIFY(!editor.HandleReply("!0A03\r"));   // channel 1 read goes out
    QCOMPARE(workspace.port.written.last(), QByteArray("#0A0\r"));
    editor.ValueEdits[0].setText("+01.000");
    QVERIFY(!editor.HandleReply({}));
    QCOMPARE(editor.ValueEdits[0].text(), QString());
    QCOMPARE(editor.StatusBox.title(), ModuleEditorWindow::CommunicationErrorText);
    QCOMPARE(workspace.port.written.last(), QByteArray("#0A1\r"));
    QVERIFY(editor.HandleReply(">+02.500\r"));
    QCOMPARE(editor.ValueEdits[1].text(), QString("+02.500"));
    QCOMPARE(editor.StatusBox.title(), ModuleEditorWindow::CommunicationText);
    QCOMPARE(editor.Phase(), EditorPhase::Idle);

    // A lost or garbled mask read ends the turn without reading a channel.
    for (const QByteArray &maskReply : {QByteArray(), QByteArray("!0AZ1\r")}) {
        const qsizetype written = workspace.port.written.size();
        QVERIFY(!editor.HandleReply({})); // idle visit: the mask read goes out
        QVERIFY(editor.HandleReply(maskReply));
        QCOMPARE(workspace.port.written.mid(written), QList<QByteArray>{"$0A6\r"});
        QCOMPARE(editor.StatusBox.title(), ModuleEditorWindow::CommunicationErrorText);
        QCOMPARE(editor.ValueEdits[1].text(), QString("+02.500"));
    }
}

void TestEditor4017::tickedChannelIsWrittenBeforeRefresh()
{
    TestWorkspace workspace;
    TForm50 editor(workspace);
    editor.ShowConfig("0A080600");
    editor.show();
    QVERIFY(!editor.HandleReply({}));
    QVERIFY(!editor.HandleReply("!0AA1.3\r"));
    QVERIFY(!editor.HandleReply("!0A01\r"));
    QVERIFY(editor.HandleReply(">+01.000\r"));

    // The user ticks channel 3; the mask read of this turn must not untick it.
    QTest::mouseClick(&editor.EnableBoxes[2], Qt::LeftButton, {},
                      QPoint(editor.EnableBoxes[2].height() / 2, editor.EnableBoxes[2].height() / 2));
    QVERIFY(editor.EnableBoxes[2].isChecked());
    QVERIFY(editor.ChannelChanged());
    const qsizetype written = workspace.port.written.size();
    QVERIFY(!editor.HandleReply({}));
    QCOMPARE(workspace.port.written.mid(written), QList<QByteArray>{"$0A505\r"});
    // A second tick while the mask is on its way waits for its own write.
    editor.EnableBoxes[7].click();
    QVERIFY(!editor.HandleReply("!0A05\r"));
    QVERIFY(editor.ChannelChanged());
    QVERIFY(!editor.HandleReply("!0A05\r")); // the module's mask lacks channel 8 as yet
    QVERIFY(editor.EnableBoxes[7].isChecked());
    QVERIFY(!editor.HandleReply(">+01.000\r"));
    QVERIFY(editor.HandleReply(">+03.000\r"));
    QCOMPARE(editor.ValueEdits[2].text(), QString("+03.000"));
    const qsizetype before = workspace.port.written.size();
    QVERIFY(!editor.HandleReply({}));
    QCOMPARE(workspace.port.written.mid(before), QList<QByteArray>{"$0A585\r"});
    QVERIFY(!editor.HandleReply("!0A85\r"));
    QVERIFY(!editor.ChannelChanged());
    // From now on the boxes follow the module again.
    QVERIFY(!editor.HandleReply("!0A01\r"));
    QVERIFY(!editor.EnableBoxes[2].isChecked());
    QVERIFY(!editor.EnableBoxes[7].isChecked());
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
        QPushButton *button;
        QString caption;
        QString message;
        QByteArray command;
    } cases[] = {
        {&editor->SpanButton, "Span Calibaration N770 (0A)",
         "Apply + 20 mA voltage source to the imput terminals.", "$0A0\r"},
        {&editor->ZeroButton, "Zero Calibaration N770 (0A)", "Shunt imput terminals.", "$0A1\r"},
    };
    for (const auto &sample : cases) {
        bench.prompt.Clear();
        TimeOutProbe probe(bench.workspace.engine, sample.command);
        QTest::mouseClick(sample.button, Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.windowTitle(), sample.caption);
        QCOMPARE(dialog.Label1.text(), sample.message);
        QTest::mouseClick(&dialog.ExecuteButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration successful !"},
                                  EditorBench::WaitMs);
        QCOMPARE(bench.CountOf(sample.command), 1);
        // After the last channel read of a turn, with the raised time-out, which is then set back.
        QCOMPARE(bench.Commands().at(bench.Commands().indexOf(sample.command) - 1), QByteArray("#0A1\r"));
        QCOMPARE(probe.timeOuts, QList<int>{ModuleEditorWindow::RaisedTimeOutMs});
        QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
        QCOMPARE(bench.workspace.engine.TimeOutTimer().interval(), EditorBench::ReplyTimeOutMs);
    }
}

void TestEditor4017::configurationWithAllChannelsOff()
{
    // With no channel to read the turn ends after the mask read, but a configuration the user asked for
    // still goes out after it.
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A0D0600");
    bench.Module(record).channelMask = 0x00;
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    QCOMPARE(LastTurn(bench, "$0A6\r"), QList<QByteArray>{"$0A6\r"});
    TimeOutProbe probe(bench.workspace.engine, "%");

    editor->ShowSettingsBox.setChecked(true);
    editor->DecAdrSpinEdit.setValue(12);
    editor->InputRange17ComboBox.setCurrentIndex(0);
    editor->IntgrTimeComboBox.setCurrentIndex(1);
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    const QList<QByteArray> commands = bench.Commands();
    QCOMPARE(commands.at(commands.indexOf("%0A0C080680\r") - 1), QByteArray("$0A6\r"));
    QCOMPARE(probe.timeOuts, QList<int>{ModuleEditorWindow::RaisedTimeOutMs});
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    QCOMPARE(record->config, QByteArray("0C080680"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0C) N770"});
    QCOMPARE(editor->FormatEdit.text(), QString("+/-  10 V"));
    QVERIFY(bench.WaitForTurns("$0C6\r"));
}

void TestEditor4017::closeDuringChannelReads()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A080600");
    bench.Module(record).channelMask = 0x0D;
    auto *editor = OpenAndSettle(bench, record);
    QVERIFY(editor);
    record->captions.clear();
    editor->NameEdits[0].setText("Tlak");

    QPointer<TForm50> guard(editor);
    bool closedDuringRead = false;
    QObject context;
    QObject::connect(&bench.workspace.engine, &TransactionEngine::CommandWritten, &context,
                     [&](const QByteArray &command) {
                         if (command == "#0A2\r" && !closedDuringRead) {
                             closedDuringRead = true;
                             editor->close();
                             // The read is outstanding: the window stays until its turn ends.
                             QVERIFY(!guard.isNull() && editor->isVisible());
                             QCOMPARE(record->editorState, EditorState::CloseAtTurnEnd);
                         }
                     });
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), EditorBench::WaitMs);
    QVERIFY(closedDuringRead);
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(record->captions.value(0), QString("Tlak"));
    // The rest of the turn was served: the channel after the one being read when the window closed.
    const QList<QByteArray> commands = bench.Commands();
    const qsizetype closedAt = commands.lastIndexOf("#0A2\r");
    QCOMPARE(commands.mid(closedAt), (QList<QByteArray>{"#0A2\r", "#0A3\r"}));
}

QTEST_MAIN(TestEditor4017)
#include "tst_editor_4017.moc"
