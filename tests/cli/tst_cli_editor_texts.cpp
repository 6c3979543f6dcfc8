// navix-cli read and the editor windows read a module alike: for each kind of module of the demo bus the
// tool's value texts, units and range are the texts the module's editor shows in its fields. The tool reads
// a navix-sim process, the editor the same demo bus in-process; both buses stand still, so both read the
// same replies.

#include "editors/editor_bench.h"
#include "editors/output_panel.h"
#include "sim/sim_bus_file.h"
#include "support/sim_process.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTemporaryDir>

using namespace navix;

namespace {
constexpr int RunBoundMs = 60000;
constexpr int ShowBoundMs = 5000;

// What read --json printed for a module.
struct ToolReadout
{
    QString range;
    QString state;
    QStringList names;
    QStringList values;
    QStringList units;
};

void CompareRange(const QWidget *editor, const char *field, const ToolReadout &tool)
{
    if (auto *box = editor->findChild<QComboBox *>(field))
        QCOMPARE(box->currentText(), tool.range);
    else
        QCOMPARE(Find<QLineEdit>(editor, field).text(), tool.range);
}
} // namespace

class CliEditorTextsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void readShowsWhatTheEditorShows_data();
    void readShowsWhatTheEditorShows();

private:
    ToolReadout Read(const QByteArray &address);

    QTemporaryDir runtimeFolder;
    SimProcess sim;
};

void CliEditorTextsTest::initTestCase()
{
    QVERIFY(UsePrivateRuntimeFolder(runtimeFolder));
    qputenv("NAVIX_SETTINGS", QFile::encodeName(runtimeFolder.filePath("navix-utility.conf")));
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
    QVERIFY(sim.Start(runtimeFolder.path(), {"--frozen", "--close-grace", "-1"}));
}

ToolReadout CliEditorTextsTest::Read(const QByteArray &address)
{
    QProcess process;
    process.start(QStringLiteral(NAVIX_CLI_PATH),
                  {"read", "--port", QStringLiteral("COM%1").arg(sim.comNumber), "--address",
                   QString::fromLatin1(address), "--baud", "9600", "--timeout", "50", "--json"});
    if (!process.waitForFinished(RunBoundMs) || process.exitCode() != 0)
        qFatal("navix-cli read %s failed: %s", address.constData(),
               process.readAllStandardError().constData());
    const QJsonObject document = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    ToolReadout readout{document["range"].toString(), document["state"].toString(), {}, {}, {}};
    for (const QJsonValue &value : document["values"].toArray()) {
        readout.names.append(value["name"].toString());
        readout.values.append(value["value"].toString());
        readout.units.append(value["unit"].toString());
    }
    return readout;
}

void CliEditorTextsTest::readShowsWhatTheEditorShows_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("unit");       // of every value the tool prints
    QTest::addColumn<QString>("range");      // or the state of a digital module
    QTest::addColumn<QStringList>("values"); // as the demo bus's modules stand still
    const auto row = [](const char *name, const char *typeId, const char *config, const QString &unit,
                        const QString &range, const QStringList &values) {
        QTest::newRow(name) << QByteArray(typeId) << QByteArray(config) << unit << range << values;
    };
    const QString off = "off";
    const QString on = "on";
    row("4013 thermometer", "4013", "01200600", "Unit", QString::fromUtf8("Pt.00385  -/+100°C"), {"+021.50"});
    row("4017 eight inputs", "4017", "02080600", "V", "+/-  10 V",
        {"+01.000", "+02.000", "+03.000", "+04.000", "+05.000", "+06.000", "+07.000", "+08.000"});
    row("4021 output", "4021", "03310600", "mA", "4-20 mA", {"04.000"});
    row("4050 outputs", "4050", "04400600", "", "00", QStringList(8, off));
    // The inputs A5, lowest channel first.
    row("4052 inputs", "4052", "05400600", "", "A5", {on, off, on, off, off, on, off, on});
    row("4152 one input", "4152", "0D400600", "", "A5", {on});
    // Sensors read 37 % of their range: 0..100 %, 0..500 Pa.
    row("4213 humidity", "4213", "08200600", "Unit", "humidity 0-100%", {"+037.00"});
    row("4613 pressure", "4613", "0C200600", "Unit", "DP 0-500Pa", {"+185.00"});
    // 21.5 and 142 degrees go out as the codes 36 and 8F of the module's table, which stand for 21.18 and
    // 141.95 degrees.
    row("Tvr 5x", "20", "10200602", QStringLiteral("°C"), "", {"21.18", "141.9"});
}

void CliEditorTextsTest::readShowsWhatTheEditorShows()
{
    QFETCH(QByteArray, typeId);
    QFETCH(QByteArray, config);
    QFETCH(QString, unit);
    QFETCH(QString, range);
    QFETCH(QStringList, values);
    const ToolReadout tool = Read(Copy(config, 1, 2));
    QCOMPARE(tool.values, values);
    QCOMPARE(tool.units, QStringList(values.size(), unit));
    QCOMPARE(tool.range.isEmpty() ? tool.state : tool.range, range);

    EditorBench bench;
    QCOMPARE(LoadBusText(bench.bus, DemoBusText()), QString());
    bench.bus.SetFrozen(true);
    const ModuleRecordPtr record = bench.workspace.modules.AddModule(typeId, config, false);
    QWidget *editor = bench.Open(record);
    QVERIFY(editor);

    switch (record->kind) {
    case EditorKind::Type4013:
    case EditorKind::Type4x13:
        if (typeId == TvrTypeId) {
            // The tool shows the temperatures as the "(°C)" look of the window does.
            QTRY_VERIFY_WITH_TIMEOUT(Find<QCheckBox>(editor, "DataCheckBox").isVisibleTo(editor),
                                     ShowBoundMs);
            Find<QCheckBox>(editor, "DataCheckBox").setChecked(true);
            Find<QCheckBox>(editor, "StackCheckBox").setChecked(true);
            QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(editor, "DataEdit").text(), tool.values.value(0),
                                      ShowBoundMs);
            QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(editor, "StackEdit").text(), tool.values.value(1),
                                      ShowBoundMs);
            QCOMPARE("(" + unit + ")", Find<QCheckBox>(editor, "DataCheckBox").text());
            break;
        }
        QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(editor, "DataEdit").text(), tool.values.value(0),
                                  ShowBoundMs);
        QCOMPARE(unit, Find<QLineEdit>(editor, "UnitNameEdit").text());
        CompareRange(editor, "InputRange13ComboBox", tool);
        break;
    case EditorKind::Type4017:
        // Each enabled channel under its name; a channel the tool leaves out shows no value.
        for (int channel = 1; channel <= ChannelCount4017; ++channel) {
            const QString name =
                Find<QLineEdit>(editor, "Edit" + QString::number(channel + ChannelCount4017)).text();
            const qsizetype printed = tool.names.indexOf(name);
            QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(editor, "Edit" + QString::number(channel)).text(),
                                      tool.values.value(printed), ShowBoundMs);
        }
        CompareRange(editor, "FormatEdit", tool);
        break;
    case EditorKind::Type4021:
        QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(editor, "DataEdit").text(), tool.values.value(0),
                                  ShowBoundMs);
        CompareRange(editor, "OutRanEdit", tool);
        break;
    default: {
        QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(editor, "DataEdit").text(), tool.state, ShowBoundMs);
        QStringList shown;
        for (int channel = 1; channel <= tool.values.size(); ++channel)
            shown.append(Find<OutputPanel>(editor, "Panel" + QString::number(channel)).IsOn() ? "on" : "off");
        QCOMPARE(tool.values, shown);
        // The channels past those the window shows are hidden, and the tool leaves them out too.
        if (auto *next = editor->findChild<OutputPanel *>("Panel" + QString::number(tool.values.size() + 1)))
            QVERIFY(!next->isVisibleTo(editor));
        break;
    }
    }
}

QTEST_MAIN(CliEditorTextsTest)
#include "tst_cli_editor_texts.moc"
