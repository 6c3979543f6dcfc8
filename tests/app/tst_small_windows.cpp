// The pacing dialog, the about box and "Move windows".

#include "fake_editor.h"
#include "support/find_control.h"

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/message_prompt.h"
#include "app/pacing_dialog.h"
#include "app/window_arrangement.h"
#include "bus/text.h"
#include "support/test_workspace.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using namespace navix;

class TestSmallWindows : public QObject
{
    Q_OBJECT

private slots:
    void PacingChoicesStopAndCancel();
    void LiftingTheStopReleasesTheHeldCommand();
    void AboutBoxAndDialogFilters();
    void ArrangementTable();
    void MoveWindows();
};

void TestSmallWindows::PacingChoicesStopAndCancel()
{
    TestWorkspace workspace;
    TransactionEngine &engine = workspace.engine;
    TForm5 dialog(engine);
    engine.SetPacingTag(Slow);
    dialog.show();
    QVERIFY(Find<QRadioButton>(dialog, "RadioButton2")->isChecked() &&
            Find<QGroupBox>(dialog, "SpeedInfo")->isEnabled());
    Find<QRadioButton>(dialog, "RadioButton3")->click();
    Find<QPushButton>(dialog, "Button1")->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(engine.PacingTag(), int(Average));

    // "&Cancel" after ticking the stop changes nothing, and the next show forgets the tick.
    dialog.show();
    Find<QCheckBox>(dialog, "StopCheckBox")->click();
    QVERIFY(!Find<QGroupBox>(dialog, "SpeedInfo")->isEnabled());
    Find<QPushButton>(dialog, "Button2")->click();
    QCOMPARE(engine.PacingTag(), int(Average));
    dialog.show();
    QVERIFY(!Find<QCheckBox>(dialog, "StopCheckBox")->isChecked() &&
            Find<QGroupBox>(dialog, "SpeedInfo")->isEnabled());

    // Stopped, the dialog comes back as it was left.
    Find<QCheckBox>(dialog, "StopCheckBox")->click();
    Find<QPushButton>(dialog, "Button1")->click();
    QCOMPARE(engine.PacingTag(), int(SendingStopped));
    dialog.show();
    QVERIFY(Find<QCheckBox>(dialog, "StopCheckBox")->isChecked() &&
            !Find<QGroupBox>(dialog, "SpeedInfo")->isEnabled());
    dialog.reject(); // Escape
    QCOMPARE(engine.PacingTag(), int(SendingStopped));
}

void TestSmallWindows::LiftingTheStopReleasesTheHeldCommand()
{
    TestWorkspace workspace;
    TransactionEngine &engine = workspace.engine;
    TForm5 dialog(engine);
    dialog.show();
    Find<QCheckBox>(dialog, "StopCheckBox")->click();
    Find<QPushButton>(dialog, "Button1")->click();
    engine.SendCommand({.command = "$01M\r",
                        .checksum = false,
                        .receiveMode = ReceiveMode::CheckedFrame,
                        .startChar = '!',
                        .endChar = '\r',
                        .expectedLength = 8});
    QCOMPARE(engine.PacingDelayMs(), TransactionEngine::HeldCommandMs);

    dialog.show();
    Find<QCheckBox>(dialog, "StopCheckBox")->click();
    Find<QRadioButton>(dialog, "RadioButton5")->click();
    Find<QPushButton>(dialog, "Button1")->click();
    QCOMPARE(engine.PacingTag(), int(VeryFast));
    QVERIFY(workspace.port.written.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(workspace.port.written, QList<QByteArray>({"$01M\r"}), 500);
}

void TestSmallWindows::AboutBoxAndDialogFilters()
{
    TestWorkspace workspace;
    workspace.geometry = QRect(100, 60, 801, 600);
    TForm2 box(workspace);
    box.show();
    QVERIFY(!workspace.mainEnabled);
    QCOMPARE(box.pos(), QPoint(100 + 801 / 2 - box.width() / 2, 60 + 600 / 2 - box.height() / 2));
    Find<QPushButton>(box, "OKBitBtn")->click();
    QVERIFY(!box.isVisible());
    QVERIFY(workspace.mainEnabled);

    QCOMPARE(DialogNameFilters("Module Config (*.cfg)|*.cfg"), QStringList({"Module Config (*.cfg)"}));
    QCOMPARE(DialogNameFilters("Text|*.txt;*.log|All|*"), QStringList({"Text (*.txt *.log)", "All (*)"}));
}

void TestSmallWindows::ArrangementTable()
{
    QCOMPARE(ScreenSizeClass(640), 1);
    QCOMPARE(ScreenSizeClass(641), 2);
    QCOMPARE(ScreenSizeClass(800), 2);
    QCOMPARE(ScreenSizeClass(801), 3);
    QCOMPARE(FirstColumnOffset(1, 8), 40);
    QCOMPARE(FirstColumnOffset(2, 7), 239);
    QCOMPARE(FirstColumnOffset(3, 5), 399);
    QCOMPARE(FirstColumnOffset(3, 6), 339);
    QCOMPARE(RowStep(100, 3), 33);
    QCOMPARE(RowStep(70, 4), 18); // 17.5: halves go to the even neighbour
    QCOMPARE(RowStep(50, 4), 12); // 12.5

    // Columns in kind order 4021, 4017, ..., 4013; 800 wide: class 2, three columns of (800 - 399) / 3 = 133.
    std::array<int, EditorKindCount> counts{};
    counts[int(EditorKind::Type4013)] = 1;
    counts[int(EditorKind::Type4017)] = 2;
    counts[int(EditorKind::Type4021)] = 1;
    const auto places = ArrangeEditors(QSize(800, 600), 0, counts);
    QCOMPARE(places[int(EditorKind::Type4021)], QList<QPoint>({{399, 0}}));
    QCOMPARE(places[int(EditorKind::Type4017)], QList<QPoint>({{532, 0}, {535, 35}}));
    QCOMPARE(places[int(EditorKind::Type4013)], QList<QPoint>({{665, 0}}));
}

void TestSmallWindows::MoveWindows()
{
    TForm1 form;
    form.SetPortLister([] { return QMap<int, QString>{{1, "/dev/ttyS0"}}; });
    form.SetScreenGeometry([] { return QRect(0, 0, 1024, 768); });
    form.show();
    form.Router().ResumeRouting();
    QList<FakeEditor *> editors; // newest first, as the lists run
    auto open = [&](const QByteArray &typeId, const QByteArray &address, EditorState state) {
        const ModuleRecordPtr record = form.Modules().AddModule(typeId, address + "080600", false);
        auto *editor = new FakeEditor;
        editor->Attach(*record, state);
        editor->move(500, 500);
        editor->show();
        editors.prepend(editor);
    };

    // No editor: only the main window goes to the corner.
    form.move(200, 150);
    Find<QToolButton>(form, "MoveWindowsButton")->click();
    QCOMPARE(form.pos(), QPoint(0, 0));

    // One 4017 editor on 1024 x 768: first column at 399.
    open("4017", "05", EditorState::Open);
    Find<QToolButton>(form, "MoveWindowsButton")->click();
    QCOMPARE(editors[0]->pos(), QPoint(399, 0));
    form.ClearModules(true);

    // Three 4050 editors stack down their column; one being closed (state 2) stays where it is.
    open("4050", "07", EditorState::CloseAtTurnEnd);
    for (const QByteArray address : {"01", "02", "03"})
        open("4050", address, EditorState::Open);
    Find<QToolButton>(form, "MoveWindowsButton")->click();
    QCOMPARE(editors[0]->pos(), QPoint(399, 0));
    QCOMPARE(editors[1]->pos(), QPoint(402, 35));
    QCOMPARE(editors[2]->pos(), QPoint(405, 70));
    QCOMPARE(editors[3]->pos(), QPoint(500, 500));

    // With routing suspended only the main window moves; another screen moves everything with it.
    editors[0]->move(500, 500);
    form.Router().SuspendRouting();
    form.SetScreenGeometry([] { return QRect(1920, 0, 1024, 768); });
    Find<QToolButton>(form, "MoveWindowsButton")->click();
    QCOMPARE(form.pos(), QPoint(1920, 0));
    QCOMPARE(editors[0]->pos(), QPoint(500, 500));
    form.Router().ResumeRouting();
    Find<QToolButton>(form, "MoveWindowsButton")->click();
    QCOMPARE(editors[0]->pos(), QPoint(1920 + 399, 0));
    form.ClearModules(true);
}

QTEST_MAIN(TestSmallWindows)
#include "tst_small_windows.moc"
