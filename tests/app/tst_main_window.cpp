// The main window as a workspace: start-up, the module tree and the records behind it, and the opening of
// module editors, on an in-memory bus with stand-in editors (and once with the real search and editors).

#include "fake_editor.h"
#include "support/find_control.h"
#include "support/recording_prompt.h"

#include "app/program.h"
#include "app/status_clock.h"
#include "sim/memory_port.h"
#include "sim/sim_bus.h"
#include "workspace/prompt.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

using namespace navix;

namespace {
QMap<int, QString> TwoPorts()
{
    return {{5, "/dev/ttyUSB0"}, {12, "/dev/ttyACM3"}};
}

QStringList ChildCaptions(const QTreeWidgetItem *item)
{
    QStringList captions;
    for (int i = 0; item && i < item->childCount(); ++i)
        captions.append(item->child(i)->text(0));
    return captions;
}

QTreeWidgetItem *ItemWithCaption(QTreeWidget *tree, const QString &caption)
{
    const auto items = tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return items.isEmpty() ? nullptr : items.constFirst();
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InstallPrompt(&prompt); }
    void cleanupTestCase() { InstallPrompt(nullptr); }
    void init();
    void cleanup() { form.reset(); }

    void StartUpState();
    void ClockFormatWithoutTimeZone_data();
    void ClockFormatWithoutTimeZone();
    void ClockTickLaysNothingOut();
    void FieldsLabelsTabOrderAndLayout();
    void OpenModuleEditorTakesTheFirstListInSearchOrder_data();
    void OpenModuleEditorTakesTheFirstListInSearchOrder();
    void FirstEditorStartsTheCycleAndASecondJoinsIt();
    void EditorOpenedWhileAToolHoldsTheBusWaits();
    void ChoicesThatDoNothing();
    void TreeKeyboardAndDoubleClick();
    void FlushInOrderOrSortedAndRelabelKeepsTheInitMark();
    void ClearModulesWithAndWithoutRoutingSuspension();
    void SearchThenOpenAnEditorFromTheTree();
    void CommandLogSavedAndCleared();

private:
    // A shown main window listing ports 5 and 12, port 5 chosen, on an in-memory bus with stand-in editors.
    void MakeWindow();

    RecordingPrompt prompt;
    std::unique_ptr<TForm1> form;
    MemoryPort port;
    QList<ModuleRecord *> opened; // records handed to the editor factory, in order
    QList<QPointer<FakeEditor>> editors;
    bool factoryMakesEditors = true;
};

void TestMainWindow::init()
{
    prompt.Clear();
    port.written.clear();
    opened.clear();
    editors.clear();
    factoryMakesEditors = true;
}

void TestMainWindow::MakeWindow()
{
    form = std::make_unique<TForm1>();
    form->SetPortLister(TwoPorts);
    form->SetEditorFactory([this](Workspace &, ModuleRecord &record) -> QWidget * {
        opened.append(&record);
        if (!factoryMakesEditors)
            return nullptr;
        auto *editor = new FakeEditor(&form->Engine(), "$" + record.Address() + "F\r");
        record.SetEditor(editor, editor);
        editors.append(editor);
        return editor;
    });
    form->Session().OfferLine(5, port);
    form->Engine().SetPacingTag(VeryFast);
    form->Engine().SetTimeOutMs(30);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->ComPort().SetComNumber(5);
    form->ComPort().SetOpen(true);
}

void TestMainWindow::StartUpState()
{
    NavixProgram program;
    TForm1 &main = program.Form1;
    main.SetPortLister(TwoPorts);
    QCOMPARE(Find<QLabel>(main, "TimePanel")->text(), QString("Time :"));
    QCOMPARE(Find<QLabel>(main, "DatePanel")->text(), QString("Date :"));
    QCOMPARE(Find<QLabel>(main, "HintPanel")->text(), QString("Hint : Ready ?"));
    program.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    QCOMPARE(main.windowTitle(), QString("Navix V1.2"));
    QVERIFY(!program.Form2.isVisible() && !program.Form3.isVisible() && !program.Form5.isVisible());
    QCOMPARE(Find<QTreeWidget>(main, "MainTreeView")->topLevelItemCount(), 1);
    QTreeWidgetItem *pc = Find<QTreeWidget>(main, "MainTreeView")->topLevelItem(0);
    QCOMPARE(pc->text(0), QString("PC"));
    QVERIFY(pc->isExpanded());
    QCOMPARE(ChildCaptions(pc), QStringList({"COM5", "COM12"}));
    QCOMPARE(pc->child(1)->toolTip(0), QString("/dev/ttyACM3"));
    QCOMPARE(Find<QLabel>(main, "HintPanel")->text(), QString("Hint: Available ports..."));
    QVERIFY(Find<QGroupBox>(main, "ComProperties")->isHidden());
    QVERIFY(!Find<QMenu>(main, "File1")->menuAction()->isEnabled() &&
            !Find<QMenu>(main, "Tools1")->menuAction()->isEnabled());
    for (QToolButton *button :
         {Find<QToolButton>(main, "OpenFileButton"), Find<QToolButton>(main, "SaveFileButton"),
          Find<QToolButton>(main, "SearchButton"), Find<QToolButton>(main, "TerminalButton")})
        QVERIFY2(!button->isEnabled(), qPrintable(button->objectName()));
    QVERIFY(!Find<QAction>(main, "SearchPopupItem")->isEnabled() &&
            !Find<QAction>(main, "TerminalPopupItem")->isEnabled());
    QVERIFY(Find<QToolButton>(main, "MoveWindowsButton")->isEnabled() &&
            Find<QToolButton>(main, "HelpButton")->isEnabled());
    QVERIFY(!Find<QAction>(main, "AutoSortItems")->isChecked());

    // Menus, tool bar hints and the tree's pop-up as the technician meets them.
    auto entries = [](const QWidget *menu) {
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts.append(action->isSeparator() ? QString("-") : action->text());
        return texts;
    };
    QCOMPARE(entries(main.menuBar()), QStringList({"&File", "&Tools", "&Ports", "&Help"}));
    QCOMPARE(entries(Find<QMenu>(main, "File1")),
             QStringList({"&Open ...", "&Save ...", "Compare with &bus ...", "&Close", "&Exit"}));
    QCOMPARE(entries(Find<QMenu>(main, "Tools1")),
             QStringList({"&Search ...", "&Terminal ...", "&Move windows", "&Speed of command sending ..."}));
    QCOMPARE(entries(Find<QMenu>(main, "Help1")), QStringList({"&About NAVIX utility "}));
    QCOMPARE(entries(Find<QMenu>(main, "EnaDisModules")),
             QStringList({"&Search...", "Terminal...", "-", "&Auto Sort Items", "-", "Add network port ...",
                          "Remove network port"}));
    QCOMPARE(entries(Find<QMenu>(main, "Ports1")),
             QStringList({"Add network port ...", "Remove network port"}));
    QVERIFY(Find<QAction>(main, "AutoSortItems")->isCheckable());
    QStringList hints;
    for (QAction *action : Find<QToolBar>(main, "ToolBar1")->actions())
        if (!action->isSeparator())
            hints.append(Find<QToolBar>(main, "ToolBar1")->widgetForAction(action)->toolTip());
    QCOMPARE(hints, QStringList({"Open file", "Save file", "Searching for modules", "Com Terminal",
                                 "Move windows", "Help"}));
    // The entries reach the windows they name.
    Find<QAction>(main, "SpeedOfCommandSending1")->trigger();
    QVERIFY(program.Form5.isVisible());
    Find<QPushButton>(program.Form5, "Button2")->click();
    Find<QToolButton>(main, "HelpButton")->click();
    QVERIFY(program.Form2.isVisible() && !main.isEnabled());
    Find<QPushButton>(program.Form2, "OKBitBtn")->click();
    QVERIFY(!program.Form2.isVisible() && main.isEnabled());

    // Listing the ports cleared the modules with routing suspended.
    QVERIFY(main.Router().RoutingSuspended());

    // The clock: the long time format, without the time zone the system's format may end in.
    QVERIFY(Find<QTimer>(main, "DateTimeTimer")->isActive());
    const QLocale system = QLocale::system();
    const QString clockFormat = WithoutTimeZone(system.timeFormat(QLocale::LongFormat));
    const QTime timeBefore = QTime::currentTime();
    main.DateTimeTimerTimer();
    const QTime timeAfter = QTime::currentTime();
    QVERIFY2(
        Find<QLabel>(main, "TimePanel")->text() == "Time : " + system.toString(timeBefore, clockFormat) ||
            Find<QLabel>(main, "TimePanel")->text() == "Time : " + system.toString(timeAfter, clockFormat),
        qPrintable(Find<QLabel>(main, "TimePanel")->text()));
    const QString zone = QDateTime::currentDateTime().timeZoneAbbreviation();
    QVERIFY2(zone.isEmpty() || !Find<QLabel>(main, "TimePanel")->text().contains(zone),
             qPrintable(Find<QLabel>(main, "TimePanel")->text()));
    QVERIFY(Find<QLabel>(main, "DatePanel")->text().startsWith("Date : ") &&
            Find<QLabel>(main, "DatePanel")->text().size() > 7);

    Find<QToolButton>(main, "TerminalButton")->click();
    QVERIFY(Find<QLabel>(main, "HintPanel")->text().startsWith("Hint: "));
}

void TestMainWindow::ClockFormatWithoutTimeZone_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("clock");
    QTest::newRow("zone after") << "HH:mm:ss t"
                                << "HH:mm:ss";
    QTest::newRow("zone before") << "t HH:mm:ss"
                                 << "HH:mm:ss";
    QTest::newRow("zone in brackets") << "H:mm:ss (t)"
                                      << "H:mm:ss";
    QTest::newRow("long zone names") << "h:mm:ss AP tttt"
                                     << "h:mm:ss AP";
    QTest::newRow("quoted letters") << "HH 'h' mm 'min' ss 's' t"
                                    << "HH 'h' mm 'min' ss 's'";
    QTest::newRow("quoted t") << "H 'at' mm"
                              << "H 'at' mm";
    QTest::newRow("quote mark") << "H:mm:ss '' t"
                                << "H:mm:ss ''";
    QTest::newRow("no zone") << "HH:mm:ss"
                             << "HH:mm:ss";
}

void TestMainWindow::ClockFormatWithoutTimeZone()
{
    QFETCH(QString, format);
    QFETCH(QString, clock);
    QCOMPARE(WithoutTimeZone(format), clock);
}

void TestMainWindow::ClockTickLaysNothingOut()
{
    MakeWindow();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto &time = *Find<QLabel>(*form, "TimePanel");
    auto *statusBar = Find<QWidget>(*form, "StatusBar1");
    ShowClockText(time, "Time : 8:08:08");
    // The first text fixes the panel's size: the status bar and then the window lay out once.
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents();
    const QSize size = time.size();

    // Every tick shows another time; while it fits, neither the status bar nor the window lays itself out.
    class LayoutCount : public QObject
    {
    public:
        int count = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            count += event->type() == QEvent::LayoutRequest;
            return false;
        }
    } layouts;
    statusBar->installEventFilter(&layouts);
    form->installEventFilter(&layouts);
    for (const QString &text : QStringList{"Time : 1:11:11", "Time : 8:08:09", "Time : 8:08:09"}) {
        ShowClockText(time, text);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(time.text(), text);
    }
    QCOMPARE(layouts.count, 0);
    QCOMPARE(time.size(), size);

    // A longer text widens the panel so that it shows whole.
    const QString longer = "Time : 8:08:08 in the afternoon";
    ShowClockText(time, longer);
    QTRY_VERIFY(time.width() >= time.fontMetrics().horizontalAdvance(longer));
    statusBar->removeEventFilter(&layouts);
    form->removeEventFilter(&layouts);
}

void TestMainWindow::FieldsLabelsTabOrderAndLayout()
{
    MakeWindow();
    // Every field of the port panel is found by its label's text.
    const auto labels = Find<QGroupBox>(*form, "ComProperties")->findChildren<QLabel *>();
    QCOMPARE(labels.size(), 7);
    for (QLabel *label : labels)
        QVERIFY2(label->buddy() && Find<QGroupBox>(*form, "ComProperties")->isAncestorOf(label->buddy()),
                 qPrintable(label->text()));

    const QList<QWidget *> order = {
        Find<QTreeWidget>(*form, "MainTreeView"), Find<QLineEdit>(*form, "ComEdit"),
        Find<QLineEdit>(*form, "DevicePathEdit"), Find<QComboBox>(*form, "BaudRateComboBox"),
        Find<QLineEdit>(*form, "DataBitsEdit"),   Find<QLineEdit>(*form, "StopBitsEdit"),
        Find<QLineEdit>(*form, "ParityEdit"),     Find<QSpinBox>(*form, "SpinEdit1"),
        Find<QTreeView>(*form, "ListView1")};
    QList<QWidget *> reached;
    for (QWidget *widget = Find<QTreeWidget>(*form, "MainTreeView")->nextInFocusChain();
         widget != Find<QTreeWidget>(*form, "MainTreeView"); widget = widget->nextInFocusChain())
        if (order.contains(widget) && !reached.contains(widget))
            reached.append(widget);
    QCOMPARE(reached, order.mid(1));

    for (const QSize size : {QSize(700, 500), QSize(1100, 800)}) {
        form->resize(size);
        QTRY_COMPARE_WITH_TIMEOUT(form->size(), size, 500);
        QCOMPARE(Find<QGroupBox>(*form, "ComProperties")->width(),
                 Find<QGroupBox>(*form, "GroupBox1")->width() - 12);
        QCOMPARE(Find<QTreeView>(*form, "ListView1")->width(),
                 Find<QGroupBox>(*form, "GroupBox1")->width() - 12);
        QCOMPARE(Find<QTreeView>(*form, "ListView1")->height(),
                 Find<QGroupBox>(*form, "GroupBox1")->height() -
                     Find<QGroupBox>(*form, "ComProperties")->height() - 20);
    }
}

void TestMainWindow::OpenModuleEditorTakesTheFirstListInSearchOrder_data()
{
    QTest::addColumn<QByteArray>("older");
    QTest::addColumn<QByteArray>("newer");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("4x13 before 4017") << QByteArray("4017") << QByteArray("4513") << QByteArray("4513");
    QTest::newRow("4021 before 4052") << QByteArray("4052") << QByteArray("4021") << QByteArray("4021");
    QTest::newRow("4052 before 4152") << QByteArray("4052") << QByteArray("4152") << QByteArray("4052");
    QTest::newRow("4050 before 4060") << QByteArray("4060") << QByteArray("4050") << QByteArray("4050");
}

void TestMainWindow::OpenModuleEditorTakesTheFirstListInSearchOrder()
{
    QFETCH(QByteArray, older);
    QFETCH(QByteArray, newer);
    QFETCH(QByteArray, expected);
    MakeWindow();
    form->Modules().AddModule(older, "05080600", false);
    form->Modules().AddModule(newer, "05080601", false);
    form->OpenModuleEditor(" (05) N770");
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0]->typeId, expected);
    QCOMPARE(opened[0]->editorState, EditorState::Open);
    QVERIFY(editors[0]->isVisible());
}

void TestMainWindow::FirstEditorStartsTheCycleAndASecondJoinsIt()
{
    MakeWindow();
    form->Modules().AddModule("4017", "05080600", false);
    form->Modules().AddModule("4050", "07400600", false);
    form->Router().ReleaseBus(); // as the end of a search leaves it: cycle idle
    form->OpenModuleEditor(" (05) N770");
    QCOMPARE(port.written, QList<QByteArray>({"$05F\r"}));

    form->OpenModuleEditor(" (07) N730");
    QCOMPARE(editors[1]->replies.size(), 0); // waits for its turn in the running cycle
    QCOMPARE(port.written.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(port.written.contains("$07F\r"), 1000);
}

void TestMainWindow::EditorOpenedWhileAToolHoldsTheBusWaits()
{
    MakeWindow();
    form->Modules().AddModule("4017", "05080600", false);
    form->Router().ReleaseBus(); // cycle idle
    // A tool takes the bus through the workspace while no editor turn runs.
    Workspace &workspace = *form;
    QVERIFY(workspace.Router().RequestBus(ToolKind::Terminal));

    form->OpenModuleEditor(" (05) N770");
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0]->editorState, EditorState::Open);
    QVERIFY(form->Router().OwnsBus(ToolKind::Terminal));
    QVERIFY(port.written.isEmpty());
    QVERIFY(editors[0]->replies.isEmpty());

    // The tool gives the bus back: the cycle starts and serves the editor.
    form->Router().ReleaseBus();
    QCOMPARE(port.written, QList<QByteArray>({"$05F\r"}));
}

void TestMainWindow::ChoicesThatDoNothing()
{
    MakeWindow();
    const ModuleRecordPtr record = form->Modules().AddModule("4017", "0A080600", false);
    // Captions too short for an address, and ports that are no numbers.
    for (const QString caption : {"", " (0", "COMX", "COM", "com-1", "COM70000"}) {
        form->OpenModuleEditor(caption);
        form->SelectPort(caption);
        QVERIFY2(!Find<QTimer>(*form, "ComTimer1")->isActive(), qPrintable(caption));
    }
    QVERIFY(opened.isEmpty());
    auto *odd =
        new QTreeWidgetItem(Find<QTreeWidget>(*form, "MainTreeView")->topLevelItem(0), QStringList("COMX"));
    Find<QTreeWidget>(*form, "MainTreeView")->setCurrentItem(odd);
    QTest::keyClick(Find<QTreeWidget>(*form, "MainTreeView"), Qt::Key_Return);
    QVERIFY(!Find<QTimer>(*form, "ComTimer1")->isActive());

    // A module whose editor is open, an address without record, a kind without editor.
    form->OpenModuleEditor(" (0A) N770");
    form->OpenModuleEditor(" (0A) N770");
    form->OpenModuleEditor(" (0B) N770");
    QCOMPARE(opened.size(), 1);
    factoryMakesEditors = false;
    const ModuleRecordPtr noEditor = form->Modules().AddModule("4021", "09300600", false);
    form->OpenModuleEditor(" (09) N780");
    QCOMPARE(noEditor->editorState, EditorState::Closed);
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(), QString("Hint: No editor for this module..."));
    QVERIFY(prompt.messages.isEmpty());
}

void TestMainWindow::TreeKeyboardAndDoubleClick()
{
    MakeWindow();
    QTreeWidget *tree = Find<QTreeWidget>(*form, "MainTreeView");
    form->Modules().AddModule("4017", "05080600", false);
    form->QueueModuleItem(" (05) N770");
    form->FlushModuleItems();
    tree->setCurrentItem(ItemWithCaption(tree, " (05) N770"));
    QTest::keyClick(tree, Qt::Key_Return);
    QCOMPARE(opened.size(), 1);
    // The menu key opens the tree's pop-up.
    const QPoint itemCentre = tree->visualItemRect(tree->currentItem()).center();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, itemCentre,
                              tree->viewport()->mapToGlobal(itemCentre));
    QApplication::sendEvent(tree, &menuKey);
    QVERIFY(Find<QMenu>(*form, "EnaDisModules")->isVisible());
    Find<QMenu>(*form, "EnaDisModules")->hide();

    // Enter on "PC" lists the ports again (clearing the modules) and ends a stuck editor turn.
    form->SetPortLister([] { return QMap<int, QString>{{3, "/dev/ttyS2"}}; });
    form->Router().BeginEditorTurn();
    tree->setCurrentItem(tree->topLevelItem(0));
    QTest::keyClick(tree, Qt::Key_Enter);
    QCOMPARE(ChildCaptions(tree->topLevelItem(0)), QStringList({"COM3"}));
    QVERIFY(!form->Router().EditorTurnActive());
    QCOMPARE(form->Modules().Count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(editors[0].isNull(), 1000);

    form->ComPort().SetOpen(false); // as choosing COM3 closes the open port first
    form->ComPort().SetComNumber(3);
    form->Modules().AddModule("4060", "0A400600", false);
    form->QueueModuleItem(" (0A) N720");
    form->FlushModuleItems();
    QTreeWidgetItem *module = ItemWithCaption(tree, " (0A) N720");
    QCOMPARE(module->parent()->text(0), QString("COM3"));
    const QPoint at = tree->visualItemRect(module).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 2, 1000);
    QCOMPARE(opened[1]->typeId, QByteArray("4060"));
}

void TestMainWindow::FlushInOrderOrSortedAndRelabelKeepsTheInitMark()
{
    MakeWindow();
    const QStringList first = {" (0C) N770", "*(00) N755", " (0A) N720"};
    for (const QString &caption : first)
        form->QueueModuleItem(caption);
    form->FlushModuleItems();
    QTreeWidgetItem *portItem = form->FindPortItem(5);
    QCOMPARE(form->ModuleCaptions(portItem), first);
    QVERIFY(form->PendingCaptions().isEmpty());
    QVERIFY(portItem->isExpanded());

    form->RelabelModule("00", " (0B) N755");
    form->RelabelModule("0A", " (0D) N720");
    const QStringList relabelled = {" (0C) N770", "*(0B) N755", " (0D) N720"};
    QCOMPARE(form->ModuleCaptions(portItem), relabelled);

    Find<QAction>(*form, "AutoSortItems")->trigger();
    QVERIFY(Find<QAction>(*form, "AutoSortItems")->isChecked());
    form->QueueModuleItem(" (01) N780");
    form->FlushModuleItems();
    QStringList sorted = relabelled + QStringList(" (01) N780");
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(form->ModuleCaptions(portItem), sorted);
    Find<QAction>(*form, "AutoSortItems")->trigger();
    form->QueueModuleItem(" (00) N720");
    form->FlushModuleItems();
    QCOMPARE(form->ModuleCaptions(portItem).constLast(), QString(" (00) N720"));
}

void TestMainWindow::ClearModulesWithAndWithoutRoutingSuspension()
{
    MakeWindow();
    for (const bool keepRouting : {true, false}) {
        const ModuleRecordPtr record = form->Modules().AddModule("4050", "07400600", false);
        QPointer<FakeEditor> editor = new FakeEditor;
        editor->Attach(*record, EditorState::Open);
        form->QueueModuleItem(" (07) N730");
        form->FlushModuleItems();
        form->QueueModuleItem(" (09) N710"); // still pending: clearing leaves it
        if (keepRouting)
            form->Router().ResumeRouting();
        else
            form->Router().SuspendRouting();
        form->Router().BeginEditorTurn();

        form->ClearModules(keepRouting);
        QCOMPARE(form->Modules().Count(), 0);
        QVERIFY(form->ModuleCaptions(form->FindPortItem(5)).isEmpty());
        QCOMPARE(form->Router().RoutingSuspended(), !keepRouting);
        QVERIFY(!form->Router().EditorTurnActive());
        QCOMPARE(form->PendingCaptions(), QStringList({" (09) N710"}));
        QTRY_VERIFY_WITH_TIMEOUT(editor.isNull(), 1000);
        form->DropPendingModuleItems();
    }
    QCOMPARE(ChildCaptions(Find<QTreeWidget>(*form, "MainTreeView")->topLevelItem(0)),
             QStringList({"COM5", "COM12"}));

    // "&Close" does the same with routing suspended and resets the caption; the port stays in use.
    form->EnableWorkspace(true);
    form->SetWorkspaceCaption("Navix V1.2 - plant.cfg");
    form->Modules().AddModule("4017", "05080600", false);
    form->Router().ResumeRouting();
    Find<QAction>(*form, "Close1")->trigger();
    QCOMPARE(form->windowTitle(), QString("Navix V1.2"));
    QCOMPARE(form->Modules().Count(), 0);
    QVERIFY(form->Router().RoutingSuspended());
    QVERIFY(Find<QMenu>(*form, "File1")->menuAction()->isEnabled());
}

void TestMainWindow::SearchThenOpenAnEditorFromTheTree()
{
    NavixProgram program;
    TForm1 &main = program.Form1;
    main.SetPortLister(TwoPorts);
    SimBus bus;
    bus.AddModule("4060", "0A400600");
    bus.Attach(port);
    main.Session().OfferLine(5, port);
    main.Engine().SetPacingTag(VeryFast);
    Find<QSpinBox>(main, "SpinEdit1")->setValue(40);
    program.Show();
    main.ComPort().SetComNumber(5);
    main.ComPort().SetOpen(true);
    main.EnableWorkspace(true); // as the opening of port 5 leaves it

    Find<QAction>(main, "Search1")->trigger();
    QVERIFY(program.Form3.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(program.Form3.Phase(), ScanPhase::Ready, 1000);
    Find<QSpinBox>(program.Form3, "FirstAdresSpinEdit")->setValue(9);
    Find<QSpinBox>(program.Form3, "SecondAdresSpinEdit")->setValue(11);
    Find<QPushButton>(program.Form3, "StartScanButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!program.Form3.Scan().Scanning(), 5000);
    Find<QPushButton>(program.Form3, "CancelButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(main.ModuleCaptions(main.FindPortItem(5)), QStringList({" (0A) N720"}), 1000);

    bus.ClearTranscript();
    Find<QTreeWidget>(main, "MainTreeView")
        ->setCurrentItem(ItemWithCaption(Find<QTreeWidget>(main, "MainTreeView"), " (0A) N720"));
    QTest::keyClick(Find<QTreeWidget>(main, "MainTreeView"), Qt::Key_Return);
    const ModuleRecordPtr record = main.Modules().FindForOpen("0A");
    QCOMPARE(record->editorState, EditorState::Open);
    QPointer<QWidget> editor = qobject_cast<QWidget *>(record->EditorObject());
    QVERIFY(editor && editor->isVisible());
    // The cycle started at once: firmware, data, and the data again on the next turn.
    QTRY_VERIFY_WITH_TIMEOUT(bus.Commands().count("$0A6\r") >= 2, 2000);
    QCOMPARE(bus.Commands().value(0), QByteArray("$0AF\r"));
    editor->close();
    QTRY_COMPARE_WITH_TIMEOUT(record->editorState, EditorState::Closed, 2000);
}

void TestMainWindow::CommandLogSavedAndCleared()
{
    MakeWindow();
    CommandLogModel &log = form->Engine().CommandLog();
    log.InsertRow("$01M");
    log.AppendResponse("!014017", "9:5:7.45", 2.5);
    const auto action = [this](const char *name) {
        return Find<QTreeView>(*form, "ListView1")->findChild<QAction *>(name);
    };
    QCOMPARE(Find<QTreeView>(*form, "ListView1")->contextMenuPolicy(), Qt::ActionsContextMenu);

    QTemporaryDir folder;
    const QString fileName = folder.filePath("log.csv");
    prompt.fileAnswers = {fileName};
    action("SaveLogAction")->trigger();
    QCOMPARE(prompt.dialogTitles, QStringList{"Save log ..."});
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("Command,Response,Time,Round trip (ms)\r\n$01M,!014017,9:5:7.45,2.5\r\n"));

    action("ClearLogAction")->trigger();
    QCOMPARE(log.Count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(log.rowCount(), 0, 1000);
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
