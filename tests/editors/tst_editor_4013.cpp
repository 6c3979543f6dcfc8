// The type 4013 window: the plain look and the Tvr 5x look the turn reports, the values with the degrees
// display, the status panels, the advanced settings the user edits and hands to the turn, the calibration
// dialogs, the layouts of the looks and the memory button. The commands the turn makes of what the window
// hands it are tst_turn_4013's matter.

#include "editor_bench.h"

#include "editors/editor_4013.h"

using namespace navix;

namespace {
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

Turn4013 &Tvr(TForm10 *editor)
{
    return static_cast<Turn4013 &>(editor->Turn());
}
QLabel &BitPanel(const QWidget *editor, int bit)
{
    return Find<QLabel>(editor, "Panel" + QString::number(bit + 1));
}
QSpinBox &LimitField(const QWidget *editor, int index)
{
    return Find<QSpinBox>(editor, "SpinEdit" + QString::number(index + 1));
}
QPushButton &UpdateLimits(const QWidget *editor)
{
    return Find<QPushButton>(editor, "UpdateLimitsButton");
}
} // namespace

class TestEditor4013 : public QObject
{
    Q_OBJECT
private slots:
    void plainLook();
    void variantLook();
    void variantInInitModeKeepsMark();
    void layoutOfTheLooks();
    void degreesDisplay_data();
    void degreesDisplay();
    void spanResistanceByRange_data();
    void spanResistanceByRange();
    void calibrationButtons_data();
    void calibrationButtons();
    void advancedSettingControls();
    void enteringAFieldMarksEditing_data();
    void enteringAFieldMarksEditing();
    void limitsEntriesReachTurn();
    void memoryButton();
};

void TestEditor4013::plainLook()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4013", "0A200600");
    record->captions = QStringList{"Kotel :"};
    auto *editor = OpenAndSettle(bench, record, "0A");
    QVERIFY(editor);

    QCOMPARE(editor->windowTitle(), QString("Navix 710"));
    QVERIFY(Find<QLineEdit>(editor, "UnitNameEdit").isVisibleTo(editor));
    QVERIFY(!Find<QCheckBox>(editor, "DataCheckBox").isVisibleTo(editor));
    QVERIFY(!Find<QGroupBox>(editor, "ExtGroupBox").isVisibleTo(editor));
    QCOMPARE(Find<QLineEdit>(editor, "FirmWareEdit").text(), QString("A1.3"));
    QCOMPARE(Find<QLineEdit>(editor, "DataEdit").text(), FromWire(Copy(bench.LastReplyTo("#0A\r"), 2, 7)));
    QCOMPARE(Find<QLineEdit>(editor, "UnitNameEdit").text(), QString("Unit"));
    QCOMPARE(Find<QGroupBox>(editor, "Box4013").title(), EditorTurn::CommunicationText);
    QCOMPARE(Find<QLineEdit>(editor, "DesriptionEdit").text(), QString("Kotel :"));
    // The unit name follows the data format the turn stores.
    editor->Turn().ShowConfig("0A200602");
    QCOMPARE(Find<QLineEdit>(editor, "UnitNameEdit").text(), QString("2HEX"));
    editor->Turn().ShowConfig("0A200683");
    QCOMPARE(Find<QLineEdit>(editor, "UnitNameEdit").text(), QString("Ohms"));

    // Closing frees the window and keeps the description in the record.
    Find<QLineEdit>(editor, "DesriptionEdit").setText("Voda :");
    QPointer<TForm10> window(editor);
    editor->close();
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), EditorBench::WaitMs);
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(record->captions, QStringList{"Voda :"});
}

void TestEditor4013::variantLook()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    SimModule &module = bench.Module(record);
    module.limits = {0, 2, 6, 58, 85, 89, 101, 196, 255};
    module.constant = 0x20;
    module.interval = 0x0B;
    module.status = 0x21;
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);

    QCOMPARE(editor->windowTitle(), QString("Tvr 5x"));
    QVERIFY(Find<QGroupBox>(editor, "ExtGroupBox").isVisibleTo(editor));
    QVERIFY(!Find<QLineEdit>(editor, "UnitNameEdit").isVisibleTo(editor));
    QVERIFY(Find<QCheckBox>(editor, "DataCheckBox").isVisibleTo(editor));
    const QList<int> degrees = {-50, -48, -42, 26, 62, 68, 84, 216, 299};
    for (int n = 0; n < Turn4013::LimitCount; ++n)
        QCOMPARE(LimitField(editor, n).value(), degrees[n]);
    QCOMPARE(Find<QLineEdit>(editor, "ConstEdit").text(), QString("20"));
    QCOMPARE(Find<QSpinBox>(editor, "ConstUpDown").value(), 0x20);
    QCOMPARE(Find<QLineEdit>(editor, "IntegrEdit").text(), QString("0B"));
    QCOMPARE(Find<QSpinBox>(editor, "IntegrUpDown").value(), 0x0B);
    QCOMPARE(Find<QLineEdit>(editor, "StackEdit").text(), FromWire(Copy(bench.LastReplyTo("#11\r"), 2, 4)));
    for (int bit = 0; bit < TForm10::BitCount; ++bit)
        QCOMPARE(BitPanel(editor, bit).text(), QString(bit == 0 || bit == 5 ? "1" : "0"));
    QCOMPARE(Find<QLineEdit>(editor, "TimeEdit").text(), Tvr(editor).Entries().time);
    QCOMPARE(Find<QLineEdit>(editor, "DateEdit").text(), Tvr(editor).Entries().date);
    QVERIFY(!UpdateLimits(editor).isEnabled());

    // A changed status word moves the panels.
    module.status = 0x80;
    QTRY_COMPARE_WITH_TIMEOUT(BitPanel(editor, 7).text(), QString("1"), EditorBench::WaitMs);
    QCOMPARE(BitPanel(editor, 0).text(), QString("0"));
    QCOMPARE(BitPanel(editor, 5).text(), QString("0"));
    QCOMPARE(BitPanel(editor, 7).palette().color(QPalette::Window), QColor(0x00FF00));
    QCOMPARE(BitPanel(editor, 0).palette().color(QPalette::Window), QColor(0xC0C0C0));
}

void TestEditor4013::variantInInitModeKeepsMark()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench, "10200602", true);
    auto *editor = OpenAndSettle(bench, record, "00");
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), QString("Tvr 5x - Init"));
}

void TestEditor4013::layoutOfTheLooks()
{
    EditorBench bench;
    ModuleRecordPtr plainRecord = bench.AddModule("4013", "0A200600");
    ModuleRecordPtr tvrRecord = AddTvr(bench);
    auto *plain = bench.Open<TForm10>(plainRecord);
    auto *tvr = bench.Open<TForm10>(tvrRecord);
    QVERIFY(plain && tvr);
    QTRY_VERIFY_WITH_TIMEOUT(Tvr(tvr).IsVariant(), EditorBench::WaitMs);

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
        const QGroupBox &status = Find<QGroupBox>(&editor, "Box4013");
        const QGroupBox &settings = Find<QGroupBox>(&editor, "GSBox4013");
        Find<QCheckBox>(&editor, "ShowSetingsCheckBox").setChecked(look.settings);
        QVERIFY(editor.height() >= look.height);
        QCOMPARE(status.height(), editor.height() - look.margin);
        QCOMPARE(editor.width(), status.width() + 21);
        QCOMPARE(settings.isVisibleTo(&editor), look.settings);
        QCOMPARE(Find<QGroupBox>(&editor, "LMBox4013").isVisibleTo(&editor),
                 look.settings && Tvr(&editor).IsVariant());
        const int groups =
            Find<QGroupBox>(&editor, "DABox4013").width() + (look.settings ? settings.width() : 0);
        QVERIFY(status.width() >= groups + 4);
        QVERIFY(status.rect().contains(status.childrenRect()));
    }
}

void TestEditor4013::degreesDisplay_data()
{
    QTest::addColumn<double>("unit");
    QTest::addColumn<double>("stack");
    QTest::addColumn<QString>("unitHex");
    QTest::addColumn<QString>("unitDegrees");
    QTest::addColumn<QString>("stackDegrees");
    // The module sends the code of its table next below or above the temperature; the box shows the
    // table's temperature of that code with four significant digits.
    QTest::newRow("room and boiler") << 23.9 << 100.0 << "3800"
                                     << "23.84"
                                     << "99.7";
    QTest::newRow("range ends") << -50.0 << 299.0 << "0000"
                                << "-50"
                                << "297.9";
    QTest::newRow("hot unit, cool stack") << 150.0 << 60.0 << "9500"
                                          << "150.3"
                                          << "59.95";
}

void TestEditor4013::degreesDisplay()
{
    QFETCH(double, unit);
    QFETCH(double, stack);
    QFETCH(QString, unitHex);
    QFETCH(QString, unitDegrees);
    QFETCH(QString, stackDegrees);
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    SimModule &module = bench.Module(record);
    module.frozen = true;
    module.value = unit;
    module.stackValue = stack;
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);
    QLineEdit &data = Find<QLineEdit>(editor, "DataEdit");
    QLineEdit &stackField = Find<QLineEdit>(editor, "StackEdit");
    // Unticked, the four hex digits stand as read.
    QCOMPARE(data.text(), unitHex);

    Find<QCheckBox>(editor, "DataCheckBox").setChecked(true);
    Find<QCheckBox>(editor, "StackCheckBox").setChecked(true);
    QTRY_COMPARE_WITH_TIMEOUT(data.text(), unitDegrees, EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(stackField.text(), stackDegrees, EditorBench::WaitMs);
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
    QCOMPARE(Find<QLabel>(&dialog, "Label1").text(),
             "Apply " + ohms + " Ohms to the imput terminal of the module.");
    Find<QPushButton>(&dialog, "CancelButton").click();
    editor->OffsetButtonClick();
    QCOMPARE(Find<QLabel>(&dialog, "Label1").text(),
             QString("Apply 60 Ohms to the imput terminal of the module."));
    Find<QPushButton>(&dialog, "ExitButton").click();
    QVERIFY(!Tvr(editor).CalibrationRequest());
}

void TestEditor4013::calibrationButtons_data()
{
    QTest::addColumn<QString>("kind"); // plain, tvr or init (a Tvr 5x in INIT, answering at 00..02)
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<CalibrationCode>("code");
    QTest::newRow("span") << "plain"
                          << "SpanButton"
                          << "Span Calibaration Navix 710 (10)" << CalibrationCode::Span;
    QTest::newRow("offset") << "plain"
                            << "OffsetButton"
                            << "Offset Calibaration Navix 710 (10)" << CalibrationCode::Offset;
    QTest::newRow("stack span") << "tvr"
                                << "SpanButtonStack"
                                << "Span Calibaration Tvr 5x (11)" << CalibrationCode::StackSpan;
    QTest::newRow("stack offset") << "tvr"
                                  << "OffsetButtonStack"
                                  << "Offset Calibaration Tvr 5x (11)" << CalibrationCode::StackOffset;
    // The stack captions name the address their command goes to.
    QTest::newRow("stack span in INIT") << "init"
                                        << "SpanButtonStack"
                                        << "Span Calibaration Tvr 5x (01)" << CalibrationCode::StackSpan;
    QTest::newRow("stack offset in INIT")
        << "init"
        << "OffsetButtonStack"
        << "Offset Calibaration Tvr 5x (01)" << CalibrationCode::StackOffset;
}

void TestEditor4013::calibrationButtons()
{
    QFETCH(QString, kind);
    QFETCH(QString, button);
    QFETCH(QString, caption);
    QFETCH(CalibrationCode, code);

    EditorBench bench;
    ModuleRecordPtr record =
        kind == "plain" ? bench.AddModule("4013", "10200600") : AddTvr(bench, "10200602", kind == "init");
    auto *editor = OpenAndSettle(bench, record, kind == "init" ? "00" : "10");
    QVERIFY(editor);

    QTest::mouseClick(&Find<QPushButton>(editor, button), Qt::LeftButton);
    TForm7 &dialog = bench.calibrationDialogs.Form7;
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), caption);
    QVERIFY(!Tvr(editor).CalibrationRequest());
    // Confirmed, the button's code goes to the turn; the command it becomes is tst_turn_4013's matter.
    QTest::mouseClick(&Find<QPushButton>(&dialog, "ExecuteButton"), Qt::LeftButton);
    QVERIFY(Tvr(editor).CalibrationRequest() == code);
}

void TestEditor4013::advancedSettingControls()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);
    QLineEdit &constant = Find<QLineEdit>(editor, "ConstEdit");
    QLineEdit &interval = Find<QLineEdit>(editor, "IntegrEdit");
    QSpinBox &constantUpDown = Find<QSpinBox>(editor, "ConstUpDown");

    // Hex digits only, in upper case, two at most.
    constant.clear();
    QTest::keyClicks(&constant, "g5z");
    QCOMPARE(constant.text(), QString("5"));
    editor->ConstEditExit();
    QCOMPARE(constant.text(), QString("05"));
    QCOMPARE(constantUpDown.value(), 5);
    QCOMPARE(Tvr(editor).Entries().constant, QString("05"));
    interval.clear();
    QTest::keyClicks(&interval, "abc");
    QCOMPARE(interval.text(), QString("AB"));
    editor->IntegrEditExit();
    QCOMPARE(Find<QSpinBox>(editor, "IntegrUpDown").value(), 0xAB);
    QCOMPARE(Tvr(editor).Entries().interval, QString("AB"));

    // The up-down writes its position into the edit and marks the settings as edited.
    QVERIFY(!UpdateLimits(editor).isEnabled());
    constantUpDown.stepBy(1);
    QCOMPARE(constant.text(), QString("06"));
    QVERIFY(UpdateLimits(editor).isEnabled());
    QVERIFY(Tvr(editor).LimitsBeingEdited());

    // A limit field left with no number becomes -50.
    QSpinBox &field = LimitField(editor, 4);
    field.setValue(120);
    QCOMPARE(Tvr(editor).Entries().limits[4], 120);
    field.selectAll();
    QTest::keyClick(&field, Qt::Key_Delete);
    QCOMPARE(field.text(), QString());
    field.interpretText();
    QCOMPARE(field.value(), -50);
    QCOMPARE(Tvr(editor).Entries().limits[4], -50);
}

void TestEditor4013::enteringAFieldMarksEditing_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("time") << "TimeEdit";
    QTest::newRow("limit X9") << "SpinEdit9";
}

void TestEditor4013::enteringAFieldMarksEditing()
{
    QFETCH(QString, field);
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);
    Find<QCheckBox>(editor, "ShowSetingsCheckBox").setChecked(true);
    QVERIFY(!Tvr(editor).LimitsBeingEdited());

    // A click into the field's text: the clock reads stop, so that what the user types stands.
    QWidget &control = Find<QWidget>(editor, field);
    QLineEdit *text = qobject_cast<QLineEdit *>(&control);
    QTest::mouseClick(text ? text : control.findChild<QLineEdit *>(), Qt::LeftButton);
    QVERIFY(UpdateLimits(editor).isEnabled());
    QVERIFY(Tvr(editor).LimitsBeingEdited());
}

void TestEditor4013::limitsEntriesReachTurn()
{
    EditorBench bench;
    ModuleRecordPtr record = AddTvr(bench);
    auto *editor = OpenAndSettle(bench, record, "10");
    QVERIFY(editor);

    // The advanced settings show with the other settings of a Tvr 5x.
    QGroupBox &advanced = Find<QGroupBox>(editor, "LMBox4013");
    QVERIFY(!advanced.isVisibleTo(editor));
    Find<QCheckBox>(editor, "ShowSetingsCheckBox").setChecked(true);
    QVERIFY(advanced.isVisibleTo(editor));
    QVERIFY(advanced.isEnabled());
    Tvr(editor).BeginLimitsEdit();
    QVERIFY(UpdateLimits(editor).isEnabled());

    Find<QLineEdit>(editor, "TimeEdit").setText("12:30:05");
    Find<QLineEdit>(editor, "DateEdit").setText("24.12.07 (1)");
    Find<QLineEdit>(editor, "ConstEdit").clear();
    Find<QLineEdit>(editor, "IntegrEdit").setText("0B");
    LimitField(editor, 0).setValue(-47);
    // The entries as typed and the update go to the turn; the commands of its write chain are
    // tst_turn_4013's matter.
    const Turn4013::ControllerEntries &entries = Tvr(editor).Entries();
    QCOMPARE(entries.time, QString("12:30:05"));
    QCOMPARE(entries.date, QString("24.12.07 (1)"));
    QCOMPARE(entries.constant, QString());
    QCOMPARE(entries.interval, QString("0B"));
    QCOMPARE(entries.limits[0], -47);
    QTest::mouseClick(&UpdateLimits(editor), Qt::LeftButton);
    QVERIFY(Tvr(editor).LimitsUpdateRequested());
    // The chain shows the constant as it went out, ends the editing and the read-back shows.
    QTRY_VERIFY_WITH_TIMEOUT(!UpdateLimits(editor).isEnabled(), EditorBench::WaitMs);
    QCOMPARE(Find<QLineEdit>(editor, "ConstEdit").text(), QString("01"));
    QTRY_COMPARE_WITH_TIMEOUT(LimitField(editor, 0).value(), -48, EditorBench::WaitMs);
}

void TestEditor4013::memoryButton()
{
    EditorBench bench;
    ModuleRecordPtr checked = AddTvr(bench, "0A200642");
    ModuleRecordPtr init = AddTvr(bench, "10200642", true);
    auto *checkedEditor = bench.Open<TForm10>(checked);
    auto *initEditor = bench.Open<TForm10>(init);
    QVERIFY(checkedEditor && initEditor);
    QTRY_VERIFY_WITH_TIMEOUT(Tvr(checkedEditor).IsVariant(), EditorBench::WaitMs);
    Find<QCheckBox>(checkedEditor, "ShowSetingsCheckBox").setChecked(true);
    QTest::mouseClick(&Find<QPushButton>(checkedEditor, "MemoryButton"), Qt::LeftButton);
    // In INIT the module answers at 00 and never with a checksum.
    initEditor->MemoryButtonClick();
    const QList<QPair<QByteArray, bool>> expected = {{"0A", true}, {"00", false}};
    QCOMPARE(bench.workspace.memoryRequests, expected);
}

QTEST_MAIN(TestEditor4013)
#include "tst_editor_4013.moc"
