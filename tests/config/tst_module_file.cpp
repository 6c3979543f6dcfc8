// The module configuration file without windows: the saved name, the exact bytes of the blocks, the texts an
// open editor contributes, how odd, large and foreign files are read back, the names an editor lets through,
// and that a failed write leaves the old file alone.

#include "bus/text.h"
#include "bus/text_file.h"
#include "config/module_file.h"
#include "editors/editor_factory.h"
#include "support/file_limits.h"
#include "support/heap_in_use.h"
#include "support/test_workspace.h"

#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace navix;

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

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every letter of the Czech and the Slovak alphabet that is not plain ASCII, small and capital.
const QString CzechAndSlovakLetters = QString::fromUtf8("áäčďéěíĺľňóôŕřšťúůýž ÁÄČĎÉĚÍĹĽŇÓÔŔŘŠŤÚŮÝŽ");

// Typed key by key, each key giving its character (also one no keyboard map of the test platform has).
void Type(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// A file of ASCII text as a UTF-16 editor saves it.
QByteArray Utf16(const QByteArray &text, QStringConverter::Encoding encoding, bool mark)
{
    QStringEncoder encoder(encoding,
                           mark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder.encode(QString::fromLatin1(text));
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
    void RoundTripKeepsEveryModuleInItsOrder();
    void LineEndsAndTextEncodings_data();
    void LineEndsAndTextEncodings();
    void CzechAndSlovakNamesSurvive();
    void NamesLoadBackAsSaved_data();
    void NamesLoadBackAsSaved();
    void NameEditsKeepTheFileIntact_data();
    void NameEditsKeepTheFileIntact();
    void LargeAndOddFilesStayBounded_data();
    void LargeAndOddFilesStayBounded();
    void FiftyMegabyteLineIsSkippedInSteps();
    void LoadStopsPastTheModuleBound();
    void FailedWriteKeepsTheOldFile();
    void FolderWithoutWriteRightSavesInPlace();

private:
    void Load(const QByteArray &text);
    void LoadFile(const QString &path);

    QTemporaryDir folder;
    std::unique_ptr<TestWorkspace> workspace;
};

void TestModuleFile::Load(const QByteArray &text)
{
    const QString path = folder.filePath("load.cfg");
    QCOMPARE(ReplaceFile(path, text), SaveResult::Saved);
    LoadFile(path);
}

void TestModuleFile::LoadFile(const QString &path)
{
    workspace = std::make_unique<TestWorkspace>();
    ModuleFileLoad load;
    QVERIFY(load.Open(path));
    while (load.Step(*workspace) == LoadStep::Loading) {
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
    QVERIFY(window);
    outputs->editorState = EditorState::Open;
    window->findChild<QLineEdit *>("Edit1")->setText("Heater");
    window->findChild<QLineEdit *>("Edit8")->setText("Fan");

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
         // An address that is not two upper-case hex digits would reach the tree and the bus: skipped.
         "4013,\r\nEND\r\n4013,Z9\r\nDSCR (Z)\r\nEND\r\n4013,0a000600\r\nEND\r\n"
         "4017,\x01\x1B"
         "080600\r\nDSCR\r\n(x)\r\nEND\r\n"
         "4013,07000600\r\nDSCR (Last)"); // the last block ends with the file
    const ModuleRegistry &modules = workspace->modules;
    QCOMPARE(workspace->treeItems, QStringList({" (00) PKR-02", " (05) N770", " (0B) N730", " (0A) N720",
                                                " (07) N710"})); // no INIT marks
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
    QCOMPARE(Describe(modules, EditorKind::Type4013), QStringList{"4013,07000600 Last"});
    QVERIFY(workspace->port.written.isEmpty());
}

void TestModuleFile::RoundTripKeepsEveryModuleInItsOrder()
{
    // Records as a search leaves them: each found module at the head of its list.
    ModuleRegistry saved;
    int address = 1;
    for (const char *typeId : {"4013", "20", "4017", "4021", "4050", "4052", "4060", "4113", "4213", "4313",
                               "4413", "4513", "4613", "4152"})
        for (int copy = 0; copy < 2; ++copy, ++address) {
            ModuleRecordPtr record = saved.AddModule(typeId, HexByte(address) + "080640", address == 1);
            for (int n = 0; n < record->captions.size(); ++n)
                record->captions[n] = QString("M%1 C%2").arg(address).arg(n + 1);
        }
    const QByteArray text = ModuleFileText(saved);
    Load(text);
    QCOMPARE(workspace->modules.Count(), saved.Count());
    for (EditorKind kind : ModuleRegistry::OpenOrder) {
        // A TVR5x comes back as an ordinary 4013; every list keeps its order.
        QStringList expected = Describe(saved, kind).replaceInStrings("20,", "4013,");
        QCOMPARE(Describe(workspace->modules, kind), expected);
    }
    QCOMPARE(workspace->treeItems.mid(0, 4),
             QStringList({" (04) N710", " (03) N710", " (02) N710", " (01) N710"}));
    // Saved again, the file is the same; loaded again, so is the tree.
    QCOMPARE(ModuleFileText(workspace->modules), text);
    const QStringList tree = workspace->treeItems;
    Load(ModuleFileText(workspace->modules));
    QCOMPARE(workspace->treeItems, tree);
}

void TestModuleFile::LineEndsAndTextEncodings_data()
{
    const QByteArray lines[] = {"4017,05080600", "DSCR", "(Pump)", "END",
                                "4060,0A400600", "DSCR", "(Fan)",  "END"};
    const auto joined = [&](const QByteArray &end) {
        QByteArray text;
        for (const QByteArray &line : lines)
            text += line + end;
        return text;
    };
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("CR LF") << joined("\r\n");
    QTest::newRow("LF") << joined("\n");
    QTest::newRow("CR") << joined("\r");
    QTest::newRow("mixed, no end at the end") << joined("\r").replace("(Fan)\r", "(Fan)\n").chopped(1);
    QTest::newRow("UTF-8 mark") << "\xEF\xBB\xBF" + joined("\r\n");
    QTest::newRow("UTF-16 LE mark") << Utf16(joined("\r\n"), QStringConverter::Utf16LE, true);
    QTest::newRow("UTF-16 BE mark") << Utf16(joined("\r\n"), QStringConverter::Utf16BE, true);
    QTest::newRow("UTF-16 LE") << Utf16(joined("\r\n"), QStringConverter::Utf16LE, false);
    // A CR LF split over two parts of the reading is still one line end.
    QByteArray padded = joined("\r\n");
    padded.prepend(QByteArray(64 * 1024 - 1, ' ') + "\r\n");
    QTest::newRow("CR LF across parts") << padded;
}

void TestModuleFile::LineEndsAndTextEncodings()
{
    QFETCH(QByteArray, file);
    Load(file);
    QCOMPARE(workspace->treeItems, QStringList({" (05) N770", " (0A) N720"}));
    QCOMPARE(workspace->modules.Records(EditorKind::Type4017).front()->captions.value(0), QString("Pump"));
    QCOMPARE(workspace->modules.Records(EditorKind::Type4060).front()->captions,
             QStringList({"Fan"}) + Numbered("Vystup ", 2, 4));
}

void TestModuleFile::CzechAndSlovakNamesSurvive()
{
    ModuleRegistry saved;
    ModuleRecordPtr inputs = saved.AddModule("4017", "05080600", false);
    inputs->captions[0] = CzechAndSlovakLetters;
    inputs->captions[1] = QString::fromUtf8("Čerpadlo č. 2");
    saved.AddModule("4013", "01200600", false)->captions[0] = QString::fromUtf8("Teplota °C");
    const QByteArray text = ModuleFileText(saved);
    // Code page Windows-1250, one byte a letter: "č" is E8, "ř" F8, "ů" F9, "°" B0.
    QVERIFY(text.contains("DSCR (Teplota \xB0"
                          "C)\r\n"));
    QVERIFY(text.contains("(\xC8"
                          "erpadlo \xE8. 2)\r\n"));
    QVERIFY(text.contains("(\xE1\xE4\xE8\xEF\xE9\xEC\xED\xE5\xBE\xF2\xF3\xF4\xE0\xF8\x9A\x9D\xFA\xF9\xFD\x9E"
                          " \xC1\xC4\xC8\xCF\xC9\xCC\xCD\xC5\xBC\xD2\xD3\xD4\xC0\xD8\x8A\x8D\xDA\xD9\xDD\x8E)\r\n"));
    QVERIFY(!text.contains('?'));
    Load(text);
    QCOMPARE(workspace->modules.Records(EditorKind::Type4017).front()->captions.mid(0, 2),
             inputs->captions.mid(0, 2));
    QCOMPARE(workspace->modules.Records(EditorKind::Type4013).front()->captions.value(0),
             QString::fromUtf8("Teplota °C"));

    // A file another editor saved as UTF-8, with or without its mark, reads as UTF-8.
    const QByteArray utf8 = "4017,05080600\r\nDSCR\r\n(" + CzechAndSlovakLetters.toUtf8() + ")\r\nEND\r\n";
    for (const QByteArray &file : {utf8, "\xEF\xBB\xBF" + utf8}) {
        Load(file);
        QCOMPARE(workspace->modules.Records(EditorKind::Type4017).front()->captions.value(0),
                 CzechAndSlovakLetters);
    }
    // A name no 8-bit code page of ours holds keeps the whole file in UTF-8 rather than turn into "?".
    const QString greek = QString::fromUtf8("Ωmega");
    workspace->modules.Records(EditorKind::Type4017).front()->captions[1] = greek;
    Load(ModuleFileText(workspace->modules));
    QCOMPARE(workspace->modules.Records(EditorKind::Type4017).front()->captions.mid(0, 2),
             QStringList({CzechAndSlovakLetters, greek}));
}

void TestModuleFile::NamesLoadBackAsSaved_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("name"); // the first name of the module at 0A, as loaded
    // Code page bytes that happen to form UTF-8 ("ď»ż" is EF BB BF, a UTF-8 byte-order mark); the 0xFF
    // keeps the file itself from passing as UTF-8.
    QTest::newRow("code page bytes that read as UTF-8")
        << QByteArray("4017,0A\nDSCR\n\xEF\xBB\xBF)\xFF") << QString::fromUtf8("ď»ż");
    QTest::newRow("UTF-8 name that starts with a byte-order mark")
        << QByteArray("4060,0A400600\r\nDSCR\r\n(\xEF\xBB\xBF\xCE\xA9)\r\nEND\r\n")
        << QChar(0xFEFF) + QString::fromUtf8("Ω");
    // A configuration text is kept as its bytes, whatever the names are written in.
    QTest::newRow("UTF-8 file with a byte beyond ASCII in a configuration")
        << QByteArray("\xEF\xBB\xBF"
                      "4060,0A4006\xD0"
                      "0\r\nDSCR\r\n(\xCE\xA9)\r\nEND\r\n")
        << QString::fromUtf8("Ω");
    QTest::newRow("UTF-8 only past the first 64 KiB")
        << QByteArray(64 * 1024, ' ') + "\r\n4060,0A400600\r\nDSCR\r\n(\xCE\xA9mega)\r\nEND\r\n"
        << QString::fromUtf8("Ωmega");
    QTest::newRow("control character")
        << QByteArray("4021,0A320600\r\nDSCR (Pump\t2)\r\nEND\r\n") << QString("Pump 2");
    // Saved in UTF-8, 1000 such pairs would take twice the bytes and overrun the line the loader reads.
    QTest::newRow("long code page name that reads as UTF-8")
        << "4017,0A\nDSCR\n(" + QByteArray("\xC3\xA9").repeated(1000) + ")\xFF"
        << QString::fromUtf8("Ă©").repeated(1000).left(MaxNameLength);
}

// What a load gives is what a save writes and the next load gives again, byte for byte.
void TestModuleFile::NamesLoadBackAsSaved()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, name);
    Load(file);
    const ModuleRecordPtr loaded = workspace->modules.FindForOpen("0A");
    QVERIFY(loaded);
    QCOMPARE(loaded->captions.value(0), name);
    const QStringList captions = loaded->captions;
    const QByteArray saved = ModuleFileText(workspace->modules);
    Load(saved);
    QVERIFY(workspace->modules.FindForOpen("0A"));
    QCOMPARE(workspace->modules.FindForOpen("0A")->captions, captions);
    QCOMPARE(ModuleFileText(workspace->modules), saved);
}

void TestModuleFile::NameEditsKeepTheFileIntact_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<QString>("editName");
    QTest::newRow("4013 description") << QByteArray("4013") << "DesriptionEdit";
    QTest::newRow("4x13 description") << QByteArray("4313") << "DesriptionEdit";
    QTest::newRow("4017 channel") << QByteArray("4017") << "Edit9";
    QTest::newRow("4021 description") << QByteArray("4021") << "DesriptionEdit";
    QTest::newRow("4050 channel") << QByteArray("4050") << "Edit1";
    QTest::newRow("4052 channel") << QByteArray("4052") << "Edit1";
    QTest::newRow("4060 channel") << QByteArray("4060") << "Edit1";
}

void TestModuleFile::NameEditsKeepTheFileIntact()
{
    QFETCH(QByteArray, typeId);
    QFETCH(QString, editName);
    const ModuleRecordPtr record = workspace->modules.AddModule(typeId, "0A400600", false);
    workspace->modules.AddModule("4017", "0B080600", false);
    std::unique_ptr<QWidget> window(CreateModuleEditor(*workspace, *record));
    record->editorState = EditorState::Open;
    auto *edit = window->findChild<QLineEdit *>(editName);
    QVERIFY(edit);
    edit->clear();

    // A pasted line break becomes a blank, a CR LF one blank.
    QGuiApplication::clipboard()->setText("Pump\nEND\r\n4017,05080600");
    edit->paste();
    QCOMPARE(edit->text(), QString("Pump END 4017,05080600"));
    // ")" would end the name early; a letter outside Windows-1250 could only be saved as "?".
    Type(edit, QString::fromUtf8(") č\u4E2D)"));
    QCOMPARE(edit->text(), QString::fromUtf8("Pump END 4017,05080600 č"));
    QGuiApplication::clipboard()->setText("(Valve)");
    edit->paste();
    QCOMPARE(edit->text(), QString::fromUtf8("Pump END 4017,05080600 č"));
    Type(edit, " " + CzechAndSlovakLetters);

    const QByteArray text = ModuleFileText(workspace->modules);
    QStringList tree = {" (0A)" + QString(FindModuleType(typeId)->modelLabel), " (0B) N770"};
    Load(text);
    QStringList loaded = workspace->treeItems;
    loaded.sort();
    tree.sort();
    QCOMPARE(loaded, tree);
    QCOMPARE(workspace->modules.FindForOpen("0A")->captions.value(0),
             QString::fromUtf8("Pump END 4017,05080600 č ") + CzechAndSlovakLetters);
}

void TestModuleFile::LargeAndOddFilesStayBounded_data()
{
    const QByteArray block = "4021,0E320600\r\nDSCR (Valve)\r\nEND\r\n";
    QByteArray garbage(256 * 1024, '\0');
    QRandomGenerator random(11);
    for (char &c : garbage)
        c = static_cast<char>(random.bounded(256));
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("tree");
    QTest::newRow("NUL bytes") << QByteArray(1024 * 1024, '\0') << QStringList();
    QTest::newRow("random bytes") << garbage << QStringList();
    QTest::newRow("NUL bytes, then a block")
        << QByteArray(300 * 1024, '\0') + "\r\n" + block << QStringList{" (0E) N780"};
    // A header cut short with its line: the block reads on from the next line.
    QTest::newRow("overlong header") << "4021,0E320600" + QByteArray(100 * 1024, 'x') + "\r\n" + block.mid(15)
                                     << QStringList{" (0E) N780"};
    QTest::newRow("overlong line inside a block")
        << "4017,05080600\r\nDSCR\r\n(" + QByteArray(100 * 1024, 'n') + ")\r\n(B)\r\nEND\r\n" + block
        << QStringList{" (05) N770", " (0E) N780"};
}

void TestModuleFile::LargeAndOddFilesStayBounded()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, tree);
    Load(file);
    QCOMPARE(workspace->treeItems, tree);
    for (const QString &caption : tree)
        if (ModuleRecordPtr record = workspace->modules.FindForOpen(CaptionAddress(caption)))
            for (const QString &name : record->captions)
                QVERIFY2(name.size() <= ModuleFileReader::MaxLineLength, qPrintable(caption));
    if (tree.contains(" (05) N770")) {
        const QStringList names = workspace->modules.FindForOpen("05")->captions;
        QCOMPARE(names.value(1), QString("B"));
        // Cut short, the line lacks its ")": an empty name, as for any such line.
        QCOMPARE(names.value(0), QString());
    }
    if (tree.contains(" (0E) N780"))
        QCOMPARE(workspace->modules.FindForOpen("0E")->captions, QStringList{"Valve"});
}

void TestModuleFile::FiftyMegabyteLineIsSkippedInSteps()
{
    // One line of 50 MB: read in parts, never held whole, and never more than a step's share at a time.
    const QString path = folder.filePath("large.cfg");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("4013,01000600\r\nDSCR (");
        const QByteArray part(1024 * 1024, 'z');
        for (int n = 0; n < 50; ++n)
            QCOMPARE(file.write(part), part.size());
        file.write(")\r\nEND\r\n4013,02000600\r\nEND\r\n");
    }
    ModuleFileLoad load;
    QVERIFY(load.Open(path));
    int steps = 0;
    LoadStep step = LoadStep::Loading;
    const qint64 heapBefore = HeapInUse();
    qint64 heapGrowth = 0;
    while (step == LoadStep::Loading) {
        step = load.Step(*workspace);
        ++steps;
        heapGrowth = qMax(heapGrowth, HeapInUse() - heapBefore);
    }
    QCOMPARE(step, LoadStep::Ended);
    QVERIFY2(steps >= 50, qPrintable(QString::number(steps)));
    // A reader that gathered the line across steps would hold tens of megabytes by its end.
    constexpr qint64 HeapBound = 4 * 1024 * 1024;
    QVERIFY2(heapGrowth < HeapBound, qPrintable(QString::number(heapGrowth)));
    QCOMPARE(load.LoadedModules(), 2);
    workspace->FlushModuleItems();
    QCOMPARE(workspace->treeItems, QStringList({" (01) N710", " (02) N710"}));
    QCOMPARE(workspace->modules.FindForOpen("01")->captions.value(0), QString());
    QFile::remove(path);
}

void TestModuleFile::LoadStopsPastTheModuleBound()
{
    QByteArray text;
    for (int n = 0; n < ModuleFileLoad::MaxModules + 3; ++n)
        text += "4013," + HexByte(n) + "000600\r\nEND\r\n";
    const QString path = folder.filePath("many.cfg");
    QCOMPARE(ReplaceFile(path, text), SaveResult::Saved);
    ModuleFileLoad load;
    QVERIFY(load.Open(path));
    LoadStep step = LoadStep::Loading;
    while (step == LoadStep::Loading)
        step = load.Step(*workspace);
    QCOMPARE(step, LoadStep::TooManyModules);
    QCOMPARE(workspace->modules.Count(), ModuleFileLoad::MaxModules);
    QCOMPARE(load.LoadedModules(), ModuleFileLoad::MaxModules);
}

void TestModuleFile::FailedWriteKeepsTheOldFile()
{
    const QString path = folder.filePath("kept.cfg");
    const QByteArray old = "4021,0E320600\r\nDSCR (Valve)\r\nEND\r\n";
    QCOMPARE(ReplaceFile(path, old), SaveResult::Saved);
    const QStringList filesBefore = QDir(folder.path()).entryList(QDir::Files);

    SaveResult result = SaveResult::Saved;
    {
        // The system refuses the rest of the write, as a full disk would.
        const FileSizeLimit limit(1024);
        QVERIFY(limit.Active());
        result = ReplaceFile(path, QByteArray(4096, 'x'));
    }
    QCOMPARE(result, SaveResult::NotWritten);
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), filesBefore);
    QCOMPARE(ReplaceFile(folder.filePath("missing/plant.cfg"), old), SaveResult::NotOpened);
}

void TestModuleFile::FolderWithoutWriteRightSavesInPlace()
{
    QTemporaryDir locked;
    const QString path = locked.filePath("plant.cfg");
    const QByteArray old = "4021,0E320600\r\nDSCR (Valve)\r\nEND\r\n";
    QCOMPARE(ReplaceFile(path, old), SaveResult::Saved);
    const QByteArray longer = old + "4013,01000600\r\nDSCR (Unit)\r\nEND\r\n";

    SaveResult fullDisk = SaveResult::Saved;
    QByteArray afterFullDisk;
    SaveResult shorter = SaveResult::NotWritten;
    QByteArray afterShorter;
    SaveResult grown = SaveResult::NotWritten;
    QByteArray afterGrown;
    SaveResult newFile = SaveResult::Saved;
    SaveResult readOnly = SaveResult::Saved;
    {
        const WriteProtection folderLock(locked.path());
        if (!folderLock.Refuses())
            QSKIP("This file system offers no way to make a folder refuse new files (no permission bits that "
                  "count, no immutable flag)");
        {
            const FileSizeLimit limit(old.size() + 10);
            QVERIFY(limit.Active());
            fullDisk = ReplaceFile(path, longer);
        }
        afterFullDisk = ReadAll(path);
        shorter = ReplaceFile(path, "4013,01000600\r\nEND\r\n");
        afterShorter = ReadAll(path);
        grown = ReplaceFile(path, longer);
        afterGrown = ReadAll(path);
        newFile = ReplaceFile(locked.filePath("other.cfg"), old);
        const WriteProtection fileLock(path);
        QVERIFY(fileLock.Refuses());
        readOnly = ReplaceFile(path, old);
    }
    // Where the new text does not fit, the old one stays.
    QCOMPARE(fullDisk, SaveResult::NotWritten);
    QCOMPARE(afterFullDisk, old);
    QCOMPARE(shorter, SaveResult::Saved);
    QCOMPARE(afterShorter, QByteArray("4013,01000600\r\nEND\r\n"));
    QCOMPARE(grown, SaveResult::Saved);
    QCOMPARE(afterGrown, longer);
    // A file the folder does not hold yet cannot be made there, and a file that cannot be written stays.
    QCOMPARE(newFile, SaveResult::NotOpened);
    QCOMPARE(readOnly, SaveResult::NotOpened);
    QCOMPARE(ReadAll(path), longer);
    QCOMPARE(QDir(locked.path()).entryList(QDir::Files), QStringList{"plant.cfg"});
}

QTEST_MAIN(TestModuleFile)
#include "tst_module_file.moc"
