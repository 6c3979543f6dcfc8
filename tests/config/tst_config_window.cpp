// Saving and loading module configuration files through the program's windows: dialogs and messages, the
// loading window and its cancel, the rebuilt tree, and the silence on the bus while a file loads.

#include "app/program.h"
#include "sim/memory_port.h"
#include "support/find_control.h"
#include "support/recording_prompt.h"
#include "workspace/prompt.h"

#include <QAction>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace navix;

namespace {
constexpr int LoadBoundMs = 2000;

void WriteText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}
} // namespace

class TestConfigWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { previousPrompt = InstallPrompt(&prompt); }
    void cleanupTestCase() { InstallPrompt(previousPrompt); }
    void init();
    void cleanup() { program.reset(); }

    void SaveConfirmsOnlyWhatWasWritten();
    void LoadShowsEachModuleAndRebuildsTheTree();
    void CancelAfterTwoBlocksKeepsThoseTwo();
    void OpenFailureKeepsTheWorkspace();
    void FileWithoutModulesSaysSo_data();
    void FileWithoutModulesSaysSo();
    void FileBeyondAnyBusSaysSo();

private:
    QStringList ModuleItems() const { return main().ModuleCaptions(main().FindPortItem(5)); }
    TForm1 &main() const { return program->Form1; }
    TForm9 &loading() const { return program->Form9; }

    RecordingPrompt prompt;
    Prompt *previousPrompt = nullptr;
    QTemporaryDir folder;
    MemoryPort port;
    std::unique_ptr<NavixProgram> program;
};

void TestConfigWindow::init()
{
    prompt.Clear();
    port.written.clear();
    program = std::make_unique<NavixProgram>();
    main().SetPortLister([] { return QMap<int, QString>{{5, "/dev/ttyUSB0"}}; });
    main().Session().OfferLine(5, port);
    program->Show();
    main().ComPort().SetComNumber(5);
    main().ComPort().SetOpen(true);
    main().EnableWorkspace(true); // as the opening of port 5 leaves it
    // What the workspace held before a load.
    main().Modules().AddModule("4017", "05080600", false);
    main().QueueModuleItem(" (05) N770");
    main().FlushModuleItems();
}

void TestConfigWindow::SaveConfirmsOnlyWhatWasWritten()
{
    prompt.fileAnswers = QStringList{folder.filePath("plant"), folder.filePath("no folder/plant")};
    Find<QToolButton>(main(), "SaveFileButton")->click();
    QFile saved(folder.filePath("plant.cfg"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll().left(22), QByteArray("4017,05080600\r\nDSCR\r\n("));
    Find<QAction>(main(), "SaveFile")->trigger();
    QCOMPARE(prompt.dialogTitles, QStringList({"Save file ...", "Save file ..."}));
    QCOMPARE(prompt.Texts(), QStringList({"Saving successful !",
                                          "Can not open " + folder.filePath("no folder/plant") + " !"}));
    QVERIFY(!prompt.messages[0].error && prompt.messages[1].error);
    Find<QAction>(main(), "SaveFile")->trigger(); // cancelled: nothing written, nothing said
    QCOMPARE(prompt.messages.size(), 2);
}

void TestConfigWindow::LoadShowsEachModuleAndRebuildsTheTree()
{
    const QString path = folder.filePath("sensor.cfg");
    WriteText(path, "4052,0D400600\r\nDSCR\r\n(Door)\r\nEND\r\n4513,00010600\r\nDSCR (Stack)\r\nEND\r\n");
    prompt.fileAnswers = QStringList{path};
    Find<QToolButton>(main(), "OpenFileButton")->click();
    QCOMPARE(prompt.dialogTitles, QStringList{"Open file ..."});
    QCOMPARE(main().windowTitle(), "Navix V1.2 - " + path);
    QVERIFY(loading().isVisible() && !loading().Cancelled());
    QVERIFY(Find<QTimer>(main(), "LoadTimer")->isActive());
    // The old modules are gone at once; replies are dropped until the load ends.
    QCOMPARE(main().Modules().Count(), 0);
    QVERIFY(ModuleItems().isEmpty());
    QVERIFY(main().Router().RoutingSuspended());

    QTRY_VERIFY_WITH_TIMEOUT(!Find<QTimer>(main(), "LoadTimer")->isActive() && loading().isHidden(),
                             LoadBoundMs);
    QCOMPARE(Find<QLabel>(loading(), "Label3")->text(), QString("PKL-02"));
    QCOMPARE(Find<QLabel>(loading(), "Label4")->text(), QString("00"));
    QCOMPARE(Find<QLabel>(loading(), "Label5")->text(), QString("0"));
    QCOMPARE(ModuleItems(), QStringList({" (0D) N76x", " (00) PKR-02"}));
    QCOMPARE(main().Modules().FindForOpen("00")->captions, QStringList{"Stack"});
    QCOMPARE(main().Modules().FindForOpen("0D")->captions.value(0), QString("Door"));
    QVERIFY(prompt.messages.isEmpty());
    QVERIFY(port.written.isEmpty());
    QVERIFY(!main().Router().RoutingSuspended());

    Find<QAction>(main(), "Close1")->trigger();
    QCOMPARE(main().windowTitle(), QString("Navix V1.2"));
    QCOMPARE(main().Modules().Count(), 0);
}

void TestConfigWindow::CancelAfterTwoBlocksKeepsThoseTwo()
{
    const QString path = folder.filePath("four.cfg");
    WriteText(
        path,
        "4013,01000600\r\nEND\r\n4013,02000600\r\nEND\r\n4013,03000600\r\nEND\r\n4013,04000600\r\nEND\r\n");
    prompt.fileAnswers = QStringList{path};
    Find<QAction>(main(), "OpenFile")->trigger();
    // Two ticks, one block each, before the user gets to the button.
    main().LoadTimerTimer();
    main().LoadTimerTimer();
    QCOMPARE(Find<QLabel>(loading(), "Label4")->text(), QString("02"));
    QTest::mouseClick(Find<QPushButton>(loading(), "Button1"), Qt::LeftButton);
    QVERIFY(loading().isHidden() && loading().Cancelled());
    QTRY_COMPARE_WITH_TIMEOUT(ModuleItems(), QStringList({" (01) N710", " (02) N710"}), LoadBoundMs);
    QCOMPARE(main().Modules().Count(), 2);
    QVERIFY(!Find<QTimer>(main(), "LoadTimer")->isActive() && !main().Router().RoutingSuspended());
}

void TestConfigWindow::OpenFailureKeepsTheWorkspace()
{
    const QString missing = folder.filePath("gone.cfg");
    prompt.fileAnswers = QStringList{missing};
    Find<QAction>(main(), "OpenFile")->trigger();
    QCOMPARE(prompt.Texts(), QStringList{"Can not open " + missing + " !"});
    QVERIFY(prompt.messages[0].error);
    QCOMPARE(main().windowTitle(), QString("Navix V1.2"));
    QVERIFY(loading().isHidden() && !Find<QTimer>(main(), "LoadTimer")->isActive());
    QCOMPARE(main().Modules().Count(), 1);
    QCOMPARE(ModuleItems(), QStringList{" (05) N770"});
}

void TestConfigWindow::FileWithoutModulesSaysSo_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<bool>("cancel");
    const QByteArray blocks = "4013,01000600\rDSCR (Unit)\rEND\r4017,05080600\rEND\r";
    QTest::newRow("empty") << QByteArray() << QStringList() << false;
    QTest::newRow("NUL bytes") << QByteArray(4096, '\0') << QStringList() << false;
    QTest::newRow("text without a header") << QByteArray("Navix\r\nEND\r\n") << QStringList() << false;
    QTest::newRow("CR line ends") << blocks << QStringList({" (01) N710", " (05) N770"}) << false;
    QTest::newRow("cancelled at once") << blocks << QStringList() << true;
}

void TestConfigWindow::FileWithoutModulesSaysSo()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, tree);
    QFETCH(bool, cancel);
    const QString path = folder.filePath("odd.cfg");
    WriteText(path, file);
    prompt.fileAnswers = QStringList{path};
    Find<QAction>(main(), "OpenFile")->trigger();
    if (cancel)
        QTest::mouseClick(Find<QPushButton>(loading(), "Button1"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Find<QTimer>(main(), "LoadTimer")->isActive() && loading().isHidden(),
                             LoadBoundMs);
    QCOMPARE(ModuleItems(), tree);
    QVERIFY(!main().Router().RoutingSuspended());
    // Nothing found is said; a cancel is the user's own doing and says nothing.
    if (tree.isEmpty() && !cancel) {
        QCOMPARE(prompt.Texts(), QStringList{"No module found in " + path + " !"});
        QVERIFY(prompt.messages[0].error);
    } else {
        QVERIFY(prompt.messages.isEmpty());
    }
}

void TestConfigWindow::FileBeyondAnyBusSaysSo()
{
    QByteArray text;
    for (int n = 0; n <= ModuleFileLoad::MaxModules; ++n)
        text +=
            "4017," + QByteArray::number(n % 256, 16).rightJustified(2, '0').toUpper() + "080600\r\nEND\r\n";
    const QString path = folder.filePath("beyond.cfg");
    WriteText(path, text);
    prompt.fileAnswers = QStringList{path};
    Find<QAction>(main(), "OpenFile")->trigger();
    // The ticks one after the other, without their pauses.
    while (Find<QTimer>(main(), "LoadTimer")->isActive())
        main().LoadTimerTimer();
    QVERIFY(loading().isHidden());
    QCOMPARE(ModuleItems().size(), ModuleFileLoad::MaxModules);
    QCOMPARE(prompt.Texts(), QStringList{QString("Too many modules in %1 ! Only the first %2 are loaded.")
                                             .arg(path)
                                             .arg(ModuleFileLoad::MaxModules)});
    QVERIFY(!main().Router().RoutingSuspended());
}

QTEST_MAIN(TestConfigWindow)
#include "tst_config_window.moc"
