// The module configuration file without windows: the saved name, the exact bytes of the blocks, the texts an
// open editor contributes, how odd files are read back, and that a failed write leaves the old file alone.

#include "bus/text.h"
#include "bus/text_file.h"
#include "config/module_file.h"
#include "editors/digital_editor.h"
#include "editors/editor_factory.h"
#include "support/test_workspace.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {
QStringList Numbered(const QString &stem, int first, int last)
{
    QStringList names;
    for (int n = first; n <= last; ++n)
        names.append(stem + QString::number(n));
    return names;
}

QStringList Describe(const ModuleRegistry &modules, EditorKind kind)
{
    QStringList records;
    for (const ModuleRecordPtr &record : modules.Records(kind))
        records.append(FromWire(record->typeId + "," + record->config + " ") + record->captions.join('|'));
    return records;
}
} // namespace

class TestModuleFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { workspace = std::make_unique<TestWorkspace>(); }
    void FileNameAdjustment_data();
    void FileNameAdjustment();
    void SavedBytesAndTextsOfAnOpenEditor();
    void LoadedBlocksOddLinesAndLineEnds();
    void RoundTripKeepsEveryModule();
    void FailedWriteKeepsTheOldFile();

private:
    void Load(const QByteArray &text);

    QTemporaryDir folder;
    std::unique_ptr<TestWorkspace> workspace;
};

void TestModuleFile::Load(const QByteArray &text)
{
    workspace = std::make_unique<TestWorkspace>();
    const QString path = folder.filePath("load.cfg");
    QCOMPARE(ReplaceFile(path, text), SaveResult::Saved);
    ModuleFileReader reader;
    QVERIFY(reader.Open(path));
    while (LoadNextBlock(reader, *workspace)) {
    }
    workspace->FlushModuleItems();
}

void TestModuleFile::FileNameAdjustment_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("no extension") << "plant"
                                  << "plant.cfg";
    QTest::newRow("upper case") << "PLANT.CFG"
                                << "PLANT.cfg";
    QTest::newRow("empty") << ""
                           << "Noname.cfg";
    QTest::newRow("lower case kept") << "/d/plant.cfg"
                                     << "/d/plant.cfg";
    QTest::newRow("first .CFG removed") << "/d/a.CFG.b"
                                        << "/d/a.b.cfg";
    // Only the name counts; the folder the user chose stays as it is.
    QTest::newRow("folder with .CFG") << "/d/OLD.CFG/plant"
                                      << "/d/OLD.CFG/plant.cfg";
    QTest::newRow("folder with .cfg") << "/d/set.cfg/plant"
                                      << "/d/set.cfg/plant.cfg";
}

void TestModuleFile::FileNameAdjustment()
{
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QCOMPARE(ConfigFileName(chosen), saved);
}

void TestModuleFile::SavedBytesAndTextsOfAnOpenEditor()
{
    ModuleRegistry &modules = workspace->modules;
    QCOMPARE(ModuleFileText(modules), QByteArray());
    // Added oldest first; the lists go 4013, 4x13, 4021, 4050, 4060, each from its newest record.
    modules.AddModule("4060", "0A400600", false)->captions[3] = QString::fromLatin1("T \xB0"
                                                                                    "C");
    const ModuleRecordPtr outputs = modules.AddModule("4050", "0B400600", false);
    modules.AddModule("4021", "0E320600", false);
    modules.AddModule("4513", "06010640", false);
    modules.AddModule("20", "07000600", false);
    modules.AddModule("4013", "08000600", true);

    // The 4050's editor is open and shows other names than its record holds.
    std::unique_ptr<QWidget> window(CreateModuleEditor(*workspace, *outputs));
    auto *editor = qobject_cast<DigitalEditorWindow *>(window.get());
    QVERIFY(editor);
    outputs->editorState = 1;
    editor->ChannelEdits().at(0)->setText("Heater");
    editor->ChannelEdits().at(7)->setText("Fan");

    const QByteArray expected =
        "4013,08000600\r\nDSCR (Teplota :)\r\nEND\r\n"
        "4013,07000600\r\nDSCR ( Unit :)\r\nEND\r\n"
        "4513,06010640\r\nDSCR (Absolutni tlak :)\r\nEND\r\n"
        "4021,0E320600\r\nDSCR (Vystup 1)\r\nEND\r\n"
        "4050,0B400600\r\nDSCR\r\n(Heater)\r\n(Vystup 2)\r\n(Vystup 3)\r\n(Vystup 4)\r\n"
        "(Vystup 5)\r\n(Vystup 6)\r\n(Vystup 7)\r\n(Fan)\r\nEND\r\n"
        "4060,0A400600\r\nDSCR\r\n(Vystup 1)\r\n(Vystup 2)\r\n(Vystup 3)\r\n(T \xB0"
        "C)\r\n"
        "END\r\n";
    QCOMPARE(ModuleFileText(modules), expected);
    // Saving leaves the record as it was; the editor updates it itself.
    QCOMPARE(outputs->captions, Numbered("Vystup ", 1, 8));
    window.reset();
    QVERIFY(ModuleFileText(modules).contains("4050,0B400600\r\nDSCR\r\n(Vystup 1)\r\n"));
}

void TestModuleFile::LoadedBlocksOddLinesAndLineEnds()
{
    Load("NAVIX\r\n4018,05080600\r\n20,07000600\r\nDSCR (a,b)\r\nEND\r\n" // nothing of a known type
         "4513,00010600\r\nDSCR (Stack)\r\nEND\r\n"
         "4017,05080600\nDSCR\n(In A)\n(In B)\n(In C)\nEND\n" // line feeds alone
         "4050,0B400600\r\nDSCR\r\n(Out A)\r\nno opening)\r\n(no closing\r\nEND\r\n"
         "4060,0A400600\r\nDSCR\r\n(1)\r\n(2)\r\n(3)\r\n(4)\r\n(5)\r\n(6)\r\n(7)\r\n(8)\r\nDSCR\r\n(9)\r\n"
         "4021,0E320600\r\nDSCR (swallowed)\r\nEND\r\n" // the 4060 block has no END
         "4013,\r\nEND\r\n4013,Z9\r\nDSCR (Z9)\r\nEND\r\n4013,0\x01\r\nDSCR (Control)\r\nEND\r\n"
         "4013,1a200600\r\nDSCR (Last)"); // no address, addresses that are no hex digits; the last block ends
                                          // with the file
    const ModuleRegistry &modules = workspace->modules;
    QCOMPARE(workspace->treeItems, QStringList({" (00) PKR-02", " (05) N770", " (0B) N730", " (0A) N720",
                                                " (1a) N710"})); // no INIT marks
    QCOMPARE(Describe(modules, EditorKind::Type4x13), QStringList{"4513,00010600 Stack"});
    QCOMPARE(modules.Records(EditorKind::Type4017).front()->captions,
             QStringList({"In A", "In B", "In C"}) + Numbered("Vstup ", 4, 8));
    QCOMPARE(modules.Records(EditorKind::Type4050).front()->captions,
             QStringList({"Out A", "no opening", ""}) + Numbered("Vystup ", 4, 8));
    // A 4060 keeps four names; a later "DSCR" starts over, and the swallowed block's lines name channels
    // 2, 3.
    QCOMPARE(modules.Records(EditorKind::Type4060).front()->captions,
             QStringList({"9", "", "swallowed", "4"}));
    QVERIFY(modules.Records(EditorKind::Type4021).empty());
    QCOMPARE(Describe(modules, EditorKind::Type4013), QStringList({"4013,1a200600 Last"}));
    QVERIFY(workspace->port.written.isEmpty());
}

void TestModuleFile::RoundTripKeepsEveryModule()
{
    ModuleRegistry saved;
    int address = 1;
    for (const char *typeId : {"4013", "20", "4017", "4021", "4050", "4052", "4060", "4113", "4213", "4313",
                               "4413", "4513", "4613", "4152"})
        for (int copy = 0; copy < 2; ++copy, ++address) {
            ModuleRecordPtr record = saved.AddModule(typeId, HexByte(address) + "080640", address == 1);
            for (int n = 0; n < record->captions.size(); ++n)
                record->captions[n] = QString("M%1 C%2").arg(address).arg(n + 1);
        }
    Load(ModuleFileText(saved));
    QCOMPARE(workspace->modules.Count(), saved.Count());
    for (EditorKind kind : ModuleRegistry::OpenOrder) {
        // A TVR5x comes back as an ordinary 4013; each loaded record goes to the front of its list.
        QStringList expected = Describe(saved, kind).replaceInStrings(QRegularExpression("^20,"), "4013,");
        std::reverse(expected.begin(), expected.end());
        QCOMPARE(Describe(workspace->modules, kind), expected);
    }
    QCOMPARE(workspace->treeItems.mid(0, 4),
             QStringList({" (04) N710", " (03) N710", " (02) N710", " (01) N710"}));
}

void TestModuleFile::FailedWriteKeepsTheOldFile()
{
    const QString path = folder.filePath("kept.cfg");
    const QByteArray old = "4021,0E320600\r\nDSCR (Valve)\r\nEND\r\n";
    QCOMPARE(ReplaceFile(path, old), SaveResult::Saved);
    const QStringList filesBefore = QDir(folder.path()).entryList(QDir::Files);

    // A file size limit makes the system refuse the rest of the write, as a full disk would.
    rlimit original{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &original), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = original;
    small.rlim_cur = 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const SaveResult result = ReplaceFile(path, QByteArray(4096, 'x'));
    setrlimit(RLIMIT_FSIZE, &original);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(result, SaveResult::NotWritten);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), filesBefore);
    QCOMPARE(ReplaceFile(folder.filePath("missing/plant.cfg"), old), SaveResult::NotOpened);
}

QTEST_MAIN(TestModuleFile)
#include "tst_module_file.moc"
