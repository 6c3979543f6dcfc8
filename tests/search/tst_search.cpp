// The module search window against the real engine and the simulated bus: the commands it puts on the wire,
// the records and captions it creates, its look, and how it takes and gives back the bus.

#include "bus/text.h"
#include "search/search_window.h"
#include "sim/sim_bus.h"
#include "support/find_control.h"
#include "support/test_workspace.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace navix;

namespace {
constexpr int ReplyTimeOutMs = 50;
constexpr int GrantBoundMs = 1000;
constexpr int ScanBoundMs = 5000;

QByteArray Request(char lead, int address, const QByteArray &letters)
{
    return lead + HexByte(address) + letters + CR;
}

QByteArray WithChecksum(const QByteArray &command)
{
    QByteArray text = command;
    text.insert(text.size() - 1, ComputeChecksum(command));
    return text;
}

// The data format byte with the module's checksum bit flipped, worked out arithmetically.
QByteArray FlippedFormat(const QByteArray &format)
{
    return HexByte(HexToInt(format) ^ 0x40);
}

QByteArray Config(int address, const QByteArray &rest)
{
    return HexByte(address) + rest;
}

QStringList CaptionsOfKind(const ModuleRegistry &modules, EditorKind kind)
{
    QStringList captions;
    for (const ModuleRecordPtr &record : modules.Records(kind))
        captions.append(FromWire(record->Address()));
    return captions;
}

int TimeOutRows(CommandLogModel &log)
{
    int count = 0;
    for (int row = 0; row < log.Count(); ++row)
        if (log.Row(row).contains("Time out !"))
            ++count;
    return count;
}

// A module editor that keeps its turn for as long as it is told to, one exchange after another.
class TurnHoldingEditor : public QObject, public ModuleEditor
{
public:
    explicit TurnHoldingEditor(TransactionEngine &engine) : engine(engine) {}

    bool HandleReply(const QByteArray &) override
    {
        if (inTurn && !keepTurn) {
            inTurn = false;
            return true;
        }
        if (!inTurn)
            ++turnsStarted;
        inTurn = true;
        // Nothing answers at 7F, so every exchange ends by its time-out.
        engine.SendCommand({.command = Request('$', 0x7F, "F"),
                            .checksum = false,
                            .receiveMode = ReceiveMode::CheckedFrame,
                            .startChar = '!',
                            .endChar = CR,
                            .expectedLength = 8});
        return false;
    }
    void CloseAtTurnEnd() override {}
    QStringList Captions() const override { return {}; }

    TransactionEngine &engine;
    bool keepTurn = true;
    bool inTurn = false;
    int turnsStarted = 0;
};
} // namespace

// The window on a simulated bus; the window goes before the bus and the workspace it uses.
struct SearchBench
{
    SearchBench()
    {
        workspace.engine.SetTimeOutMs(ReplyTimeOutMs);
        bus.Attach(workspace.port);
    }

    bool ShowAndTakeBus()
    {
        window.show();
        return QTest::qWaitFor([this] { return window.Phase() == ScanPhase::Ready; }, GrantBoundMs);
    }
    bool Scan(int first, int last)
    {
        FirstAdresSpinEdit().setValue(first);
        SecondAdresSpinEdit().setValue(last);
        QTest::mouseClick(&StartScanButton(), Qt::LeftButton);
        return QTest::qWaitFor([this] { return !window.Scan().Scanning(); }, ScanBoundMs);
    }
    // The window's controls and timers, found by name as UI automation finds them.
    QLabel &SearchForModulesLabel() const { return *Find<QLabel>(window, "SearchForModulesLabel"); }
    QSpinBox &FirstAdresSpinEdit() const { return *Find<QSpinBox>(window, "FirstAdresSpinEdit"); }
    QSpinBox &SecondAdresSpinEdit() const { return *Find<QSpinBox>(window, "SecondAdresSpinEdit"); }
    QLabel &DecLabel() const { return *Find<QLabel>(window, "DecLabel"); }
    QLabel &DecLabel1() const { return *Find<QLabel>(window, "DecLabel1"); }
    QLabel &HexLabel() const { return *Find<QLabel>(window, "HexLabel"); }
    QLabel &HexLabel1() const { return *Find<QLabel>(window, "HexLabel1"); }
    QCheckBox &AllBaudRatesCheckBox() const { return *Find<QCheckBox>(window, "AllBaudRatesCheckBox"); }
    QProgressBar &Animate1() const { return *Find<QProgressBar>(window, "Animate1"); }
    QPushButton &StartScanButton() const { return *Find<QPushButton>(window, "StartScanButton"); }
    QPushButton &CancelButton() const { return *Find<QPushButton>(window, "CancelButton"); }
    QTimer &InitTimer() const { return *Find<QTimer>(window, "InitTimer"); }
    QTimer &CloseTimer() const { return *Find<QTimer>(window, "CloseTimer"); }
    bool Closed() const { return workspace.mainEnabled && !workspace.router.OwnsBus(ToolKind::Search); }
    bool CancelAndWaitForClose()
    {
        QTest::mouseClick(&CancelButton(), Qt::LeftButton);
        return QTest::qWaitFor([this] { return Closed(); }, GrantBoundMs);
    }
    QList<QByteArray> Commands() const { return bus.Commands(); }
    // The line turns the simulated bus's reply to command into reply, as a disturbance would.
    void GarbleReplyTo(const QByteArray &command, const QByteArray &reply)
    {
        workspace.port.onWrite = [this, command, reply](const QByteArray &text) {
            if (text == command)
                workspace.port.Receive(reply);
            else
                bus.TakeBytes(text);
        };
    }
    // An open module editor whose turn is running.
    TurnHoldingEditor &StartEditorTurn()
    {
        editor = std::make_unique<TurnHoldingEditor>(workspace.engine);
        const ModuleRecordPtr record = workspace.modules.AddModule("4017", Config(0x7F, "080600"), false);
        record->SetEditor(editor.get(), editor.get());
        record->editorState = EditorState::Open;
        workspace.router.ReleaseBus();
        return *editor;
    }

    TestWorkspace workspace;
    SimBus bus;
    std::unique_ptr<TurnHoldingEditor> editor;
    TForm3 window{workspace};
};

class SearchWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void probeFormatFlipsOnlyTheChecksumBit_data();
    void probeFormatFlipsOnlyTheChecksumBit();
    void controlsAsLaidOut();
    void showingTakesOverTheWorkspace();
    void scanFindsEveryKind();
    void scanningLookFollowsTheScan();
    void moduleAtAddressZero_data();
    void moduleAtAddressZero();
    void garbledConfigurationIsNeverWrittenBack_data();
    void garbledConfigurationIsNeverWrittenBack();
    void scans_data();
    void scans();
    void secondScanStartsOver();
    void replyAfterTheScanIsIgnored();
    void cancelWithExchangeOutstanding_data();
    void cancelWithExchangeOutstanding();
    void closeWithoutExchange_data();
    void closeWithoutExchange();
    void showingAgainFinishesTheClose();
    void waitsForTheBusWhileAnEditorRuns();
    void closeWaitsForANotedBusRequest();
    void closeBeforeAskingLeavesTheEditorsAlone();
};

void SearchWindowTest::probeFormatFlipsOnlyTheChecksumBit_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("checksum off") << QByteArray("00") << QByteArray("40");
    QTest::newRow("checksum on") << QByteArray("40") << QByteArray("00");
    QTest::newRow("other bits stay") << QByteArray("8F") << QByteArray("CF");
    QTest::newRow("all bits") << QByteArray("FF") << QByteArray("BF");
    QTest::newRow("no hex digit") << QByteArray("G0") << QByteArray();
    QTest::newRow("lower case") << QByteArray("4a") << QByteArray();
    QTest::newRow("one digit") << QByteArray("4") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void SearchWindowTest::probeFormatFlipsOnlyTheChecksumBit()
{
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, expected);
    QCOMPARE(InitProbeFormat(format), expected);
}

void SearchWindowTest::controlsAsLaidOut()
{
    SearchBench bench;
    TForm3 &window = bench.window;
    QCOMPARE(window.windowTitle(), QString("Searching for modules ..."));
    QVERIFY(window.windowFlags() & Qt::WindowStaysOnTopHint);

    const QStringList names =
        QString("SearchForModulesLabel FirstAdresSpinEdit SecondAdresSpinEdit DecLabel "
                "DecLabel1 HexLabel HexLabel1 AllBaudRatesCheckBox Animate1 StartScanButton "
                "CancelButton InitTimer CloseTimer")
            .split(' ');
    for (const QString &name : names)
        QVERIFY2(window.findChild<QObject *>(name) != nullptr, qPrintable(name));

    QCOMPARE(bench.SearchForModulesLabel().text(), QString("Set first and last address (dec)"));
    QCOMPARE(bench.SearchForModulesLabel().buddy(), &bench.FirstAdresSpinEdit());
    QCOMPARE(bench.DecLabel1().text(), QString("(dec)"));
    QCOMPARE(bench.HexLabel1().text(), QString("(hex)"));
    QCOMPARE(bench.StartScanButton().text(), QString("&Start scan"));
    QCOMPARE(bench.CancelButton().text(), QString("&Cancel"));
    QCOMPARE(bench.AllBaudRatesCheckBox().text(), QString("All baud rates"));
    QVERIFY(!bench.AllBaudRatesCheckBox().isChecked());
    QCOMPARE(bench.FirstAdresSpinEdit().minimum(), 0);
    QCOMPARE(bench.FirstAdresSpinEdit().maximum(), 254);
    QCOMPARE(bench.FirstAdresSpinEdit().value(), 0);
    QCOMPARE(bench.SecondAdresSpinEdit().minimum(), 1);
    QCOMPARE(bench.SecondAdresSpinEdit().maximum(), 255);
    QCOMPARE(bench.SecondAdresSpinEdit().value(), 255);
    QVERIFY(!bench.InitTimer().isActive());
    QVERIFY(!bench.CloseTimer().isActive());

    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(window.minimumSize(), window.maximumSize()); // fixed size
    // Keyboard order as laid out.
    bench.FirstAdresSpinEdit().setFocus();
    QVERIFY(bench.FirstAdresSpinEdit().hasFocus());
    const QList<QWidget *> tabOrder = {&bench.SecondAdresSpinEdit(), &bench.AllBaudRatesCheckBox(),
                                       &bench.StartScanButton(), &bench.CancelButton()};
    for (QWidget *next : tabOrder) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(next->hasFocus(), qPrintable(next->objectName()));
    }
    // Idle look.
    const QList<QWidget *> scanningOnly = {&bench.DecLabel(), &bench.DecLabel1(), &bench.HexLabel(),
                                           &bench.HexLabel1(), &bench.Animate1()};
    for (QWidget *widget : scanningOnly)
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
    QVERIFY(bench.StartScanButton().isEnabled());
}

void SearchWindowTest::showingTakesOverTheWorkspace()
{
    SearchBench bench;
    bench.workspace.caption = "plant.cfg";
    bench.workspace.geometry = QRect(101, 51, 801, 601);
    bench.window.show();

    QVERIFY(!bench.workspace.mainEnabled);
    QCOMPARE(bench.workspace.caption, QString("Navix V1.2"));
    QCOMPARE(bench.workspace.hint, QString("Hint: Searching for modules..."));
    QCOMPARE(bench.window.Phase(), ScanPhase::WaitingForBus);
    QCOMPARE(bench.window.pos(),
             QPoint(101 + 400 - bench.window.width() / 2, 51 + 300 - bench.window.height() / 2));
    QVERIFY(bench.InitTimer().isActive());
    QCOMPARE(bench.InitTimer().interval(), ReplyTimeOutMs);

    QTRY_COMPARE_WITH_TIMEOUT(bench.window.Phase(), ScanPhase::Ready, GrantBoundMs);
    QVERIFY(bench.workspace.router.OwnsBus(ToolKind::Search));
    QVERIFY(!bench.InitTimer().isActive());
    QVERIFY(bench.workspace.engine.PendingCommand().isEmpty()); // nothing is sent before a scan is started
}

void SearchWindowTest::scanFindsEveryKind()
{
    struct Expected
    {
        QByteArray typeId;
        QString caption;
        QStringList recordCaptions;
        EditorKind kind;
    };
    const QStringList eight = {"Vstup 1", "Vstup 2", "Vstup 3", "Vstup 4",
                               "Vstup 5", "Vstup 6", "Vstup 7", "Vstup 8"};
    const QStringList eightOut = {"Vystup 1", "Vystup 2", "Vystup 3", "Vystup 4",
                                  "Vystup 5", "Vystup 6", "Vystup 7", "Vystup 8"};
    const QList<Expected> table = {
        {"4013", " (01) N710", {"Teplota :"}, EditorKind::Type4013},
        {"4017", " (02) N770", eight, EditorKind::Type4017},
        {"4021", " (03) N780", {"Vystup 1"}, EditorKind::Type4021},
        {"4050", " (04) N730", eightOut, EditorKind::Type4050},
        {"4052", " (05) N76x", eight, EditorKind::Type4052},
        {"4060", " (06) N720", eightOut.mid(0, 4), EditorKind::Type4060},
        {"4113", " (07) N755", {"Teplota :"}, EditorKind::Type4x13},
        {"4213", " (08) N756", {"Vlhkost :"}, EditorKind::Type4x13},
        {"4313", " (09) N742", {"Koncentrace CO :"}, EditorKind::Type4x13},
        {"4413", " (0A) N743", {"Koncentrace CO2 :"}, EditorKind::Type4x13},
        {"4513", " (0B) PKR-02", {"Absolutni tlak :"}, EditorKind::Type4x13},
        {"4613", " (0C) PKR-01", {"Diferencni tlak :"}, EditorKind::Type4x13},
        {"4152", " (0D) N790", eight, EditorKind::Type4152},
        // The Tvr 5x names itself a 4013 and tells itself apart by its clock.
        {"20", " (0E) TVR5x", {" Unit :"}, EditorKind::Type4013},
    };
    SearchBench bench;
    QList<QByteArray> configs;
    for (int i = 0; i < table.size(); ++i) {
        configs.append(Config(i + 1, "200600"));
        bench.bus.AddModule(table[i].typeId, configs.last());
    }
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(bench.Scan(1, table.size()));

    QList<QByteArray> expectedCommands;
    for (int i = 0; i < table.size(); ++i) {
        const int address = i + 1;
        expectedCommands << Request('$', address, "M") << Request('$', address, "2");
        if (table[i].typeId == "4013" || table[i].typeId == "20")
            expectedCommands << Request('@', address, "G"); // a plain 4013 stays silent
    }
    QCOMPARE(bench.Commands(), expectedCommands);

    ModuleRegistry &modules = bench.workspace.modules;
    QCOMPARE(modules.Count(), table.size());
    for (int i = 0; i < table.size(); ++i) {
        const ModuleRecordPtr record = modules.FindForOpen(HexByte(i + 1));
        QVERIFY2(record, table[i].typeId.constData());
        QCOMPARE(record->typeId, table[i].typeId);
        QCOMPARE(record->config, configs[i]);
        QCOMPARE(record->captions, table[i].recordCaptions);
        QCOMPARE(record->kind, table[i].kind);
        QCOMPARE(record->editorState, EditorState::Closed);
        QVERIFY(!record->initFlag);
        QVERIFY(!record->Editor());
    }
    // Lists run newest first.
    QCOMPARE(CaptionsOfKind(modules, EditorKind::Type4x13),
             QStringList({"0C", "0B", "0A", "09", "08", "07"}));

    // The captions wait for the close, then become tree items in the order found.
    QVERIFY(bench.workspace.treeItems.isEmpty());
    QVERIFY(bench.CancelAndWaitForClose());
    QStringList captions;
    for (const Expected &expected : table)
        captions.append(expected.caption);
    QCOMPARE(bench.workspace.treeItems, captions);
    QVERIFY(bench.workspace.pendingItems.isEmpty());
    QCOMPARE(bench.workspace.hint, QString("Hint: Available modules..."));
}

void SearchWindowTest::scanningLookFollowsTheScan()
{
    SearchBench bench;
    QVERIFY(bench.ShowAndTakeBus());
    TForm3 &window = bench.window;
    QSignalSpy shown(&window.Scan(), &ModuleScan::AddressShown);
    bench.FirstAdresSpinEdit().setValue(254);
    bench.SecondAdresSpinEdit().setValue(255);
    bench.StartScanButton().click();

    QVERIFY(!bench.StartScanButton().isEnabled());
    QVERIFY(!bench.FirstAdresSpinEdit().isEnabled());
    QVERIFY(!bench.SecondAdresSpinEdit().isEnabled());
    QVERIFY(bench.Animate1().isVisible());
    QCOMPARE(bench.Animate1().maximum(), 0); // busy: the bar runs
    for (QLabel *label : {&bench.DecLabel(), &bench.DecLabel1(), &bench.HexLabel(), &bench.HexLabel1()})
        QVERIFY2(label->isVisible(), qPrintable(label->objectName()));
    QCOMPARE(bench.DecLabel().text(), QString("254"));
    QCOMPARE(bench.HexLabel().text(), QString("FE"));

    QTRY_COMPARE_WITH_TIMEOUT(bench.DecLabel().text(), QString("255"), ScanBoundMs);
    QCOMPARE(bench.HexLabel().text(), QString("FF"));
    QTRY_VERIFY_WITH_TIMEOUT(!window.Scan().Scanning(), ScanBoundMs);

    QVERIFY(bench.StartScanButton().isEnabled());
    QVERIFY(bench.FirstAdresSpinEdit().isEnabled());
    QVERIFY(bench.SecondAdresSpinEdit().isEnabled());
    QVERIFY(!bench.Animate1().isVisible());
    QVERIFY(bench.Animate1().maximum() > 0);
    QVERIFY(!bench.DecLabel().isVisible());
    QVERIFY(!bench.HexLabel().isVisible());
    QCOMPARE(shown.count(), 2);
    // The window stays open and holds the bus until it is closed.
    QVERIFY(window.isVisible());
    QVERIFY(bench.workspace.router.OwnsBus(ToolKind::Search));
    QVERIFY(!bench.workspace.mainEnabled);
}

void SearchWindowTest::moduleAtAddressZero_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<bool>("initMode");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("nextAddress");
    QTest::newRow("sensor in INIT") << QByteArray("4113") << true << "*(00) N755" << 1;
    QTest::newRow("sensor not in INIT") << QByteArray("4113") << false << " (00) N755" << 1;
    QTest::newRow("4013 in INIT") << QByteArray("4013") << true << "*(00) N710" << 1;
    QTest::newRow("TVR5x in INIT") << QByteArray("20") << true << "*(00) TVR5x" << 3;
    QTest::newRow("TVR5x not in INIT") << QByteArray("20") << false << " (00) TVR5x" << 3;
}

void SearchWindowTest::moduleAtAddressZero()
{
    QFETCH(QByteArray, typeId);
    QFETCH(bool, initMode);
    QFETCH(QString, caption);
    QFETCH(int, nextAddress);
    SearchBench bench;
    // The format byte has other bits set besides the checksum bit; only that one may change.
    const QByteArray config = "00200682";
    bench.bus.AddModule(typeId, config).initMode = initMode;
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(bench.Scan(0, nextAddress));

    QList<QByteArray> expected = {Request('$', 0, "M"), Request('$', 0, "2")};
    if (typeId != "4113")
        expected << Request('@', 0, "G");
    expected << "%00" + Copy(config, 1, 6) + FlippedFormat(Copy(config, 7, 2)) + CR;
    if (initMode)
        expected << "%00" + config + CR; // the restore
    expected << Request('$', nextAddress, "M") << WithChecksum(Request('$', nextAddress, "M"));
    QCOMPARE(bench.Commands(), expected);

    const ModuleRecordPtr record = bench.workspace.modules.FindForOpen("00");
    QVERIFY(record);
    QCOMPARE(record->initFlag, initMode);
    QCOMPARE(record->config, config);
    QCOMPARE(bench.workspace.pendingItems, QStringList({caption}));
    // The module is left as it was found.
    QCOMPARE(bench.bus.Module(0)->Config(), config);
}

void SearchWindowTest::garbledConfigurationIsNeverWrittenBack_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<QByteArray>("configReply");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("nextAddress");
    const QByteArray highBytes("\xF8\xF8\xF8\xC1", 4);
    QTest::newRow("bytes above 7F") << QByteArray("4113") << "!00" + highBytes + "66" + CR << " (00) N755"
                                    << 1;
    QTest::newRow("letter O for zero")
        << QByteArray("4113") << "!0024O600" + QByteArray(1, CR) << " (00) N755" << 1;
    QTest::newRow("lower-case digit")
        << QByteArray("4113") << "!0024060a" + QByteArray(1, CR) << " (00) N755" << 1;
    QTest::newRow("control character")
        << QByteArray("4113") << QByteArray("!002406") + '\x01' + "0" + CR << " (00) N755" << 1;
    QTest::newRow("TVR5x") << QByteArray("20") << "!00 20600" + QByteArray(1, CR) << " (00) TVR5x" << 3;
}

void SearchWindowTest::garbledConfigurationIsNeverWrittenBack()
{
    QFETCH(QByteArray, typeId);
    QFETCH(QByteArray, configReply);
    QFETCH(QString, caption);
    QFETCH(int, nextAddress);
    SearchBench bench;
    const QByteArray config = "00240600";
    bench.bus.AddModule(typeId, config).initMode = true;
    bench.GarbleReplyTo(Request('$', 0, "2"), configReply);
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(bench.Scan(0, nextAddress));

    // No configuration command goes out: neither the probe nor the restore.
    QList<QByteArray> expected = {Request('$', 0, "M"), Request('$', 0, "2")};
    if (typeId != "4113")
        expected << Request('@', 0, "G");
    expected << Request('$', nextAddress, "M") << WithChecksum(Request('$', nextAddress, "M"));
    QCOMPARE(bench.workspace.port.written, expected);
    QCOMPARE(bench.bus.Module(0)->Config(), config);
    // The module is listed all the same, without the INIT mark that only the probe could give.
    const ModuleRecordPtr record = bench.workspace.modules.FindForOpen("00");
    QVERIFY(record);
    QVERIFY(!record->initFlag);
    QCOMPARE(bench.workspace.pendingItems, QStringList({caption}));
}

void SearchWindowTest::scans_data()
{
    QTest::addColumn<QList<QByteArray>>("modules"); // type id and configuration
    QTest::addColumn<QList<QByteArray>>("unanswered");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<int>("timeOuts");
    QTest::addColumn<QList<QByteArray>>("records"); // type id and configuration
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<int>("endsAt");
    using Commands = QList<QByteArray>;
    const auto name = [](int address) { return Request('$', address, "M"); };
    const auto config = [](int address) { return Request('$', address, "2"); };
    const auto clock = [](int address) { return Request('@', address, "G"); };
    // Silent with and without checksum: nobody is there.
    const auto nobody = [&](int address) { return Commands{name(address), WithChecksum(name(address))}; };

    QTest::newRow("modules that answer only with checksum")
        << Commands{"4017 12080640", "4013 13200640"} << Commands{} << 0x12 << 0x13
        << Commands{name(0x12), WithChecksum(name(0x12)), WithChecksum(config(0x12)), name(0x13),
                    WithChecksum(name(0x13)), WithChecksum(config(0x13)), WithChecksum(clock(0x13))}
        << 3 << Commands{"4017 12080640", "4013 13200640"} << QStringList{" (12) N770", " (13) N710"} << 0x14;
    QTest::newRow("Tvr 5x takes three addresses")
        << Commands{"20 05200600", "4017 08080600"} << Commands{} << 5 << 8
        << Commands{name(5), config(5), clock(5), name(8), config(8)} << 0
        << Commands{"20 05200600", "4017 08080600"} << QStringList{" (05) TVR5x", " (08) N770"} << 9;
    QTest::newRow("Tvr 5x at the top ends the scan")
        << Commands{"20 FE200600"} << Commands{} << 254 << 255 << Commands{name(254), config(254), clock(254)}
        << 0 << Commands{"20 FE200600"} << QStringList{" (FE) TVR5x"} << 257;
    QTest::newRow("unknown type ids are skipped")
        << Commands{"4018 02000600", "40X7 03000600", "4017 04080600"} << Commands{} << 2 << 4
        << Commands{name(2), config(2), name(3), config(3), name(4), config(4)} << 0
        << Commands{"4017 04080600"} << QStringList{" (04) N770"} << 5;
    QTest::newRow("an empty address costs two time-outs")
        << Commands{} << Commands{} << 5 << 6 << nobody(5) + nobody(6) << 4 << Commands{} << QStringList{} << 7;
    // The configuration requests of the modules at 04 and 05 go unanswered.
    QTest::newRow("a name without configuration goes on")
        << Commands{"4017 04080600", "4017 05080640", "4017 06080600"}
        << Commands{config(4), WithChecksum(config(5))} << 4 << 6
        << Commands{name(4), config(4), name(5), WithChecksum(name(5)), WithChecksum(config(5)), name(6),
                    config(6)}
        << 3 << Commands{"4017 06080600"} << QStringList{" (06) N770"} << 7;
    Commands between;
    for (int address = 4; address <= 9; ++address)
        between += nobody(address);
    QTest::newRow("a reversed range is swapped")
        << Commands{"4017 03080600", "4060 0A400600"} << Commands{} << 10 << 3
        << Commands{name(3), config(3)} + between + Commands{name(10), config(10)} << 12
        << Commands{"4017 03080600", "4060 0A400600"} << QStringList{" (03) N770", " (0A) N720"} << 11;
}

void SearchWindowTest::scans()
{
    QFETCH(QList<QByteArray>, modules);
    QFETCH(QList<QByteArray>, unanswered);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QList<QByteArray>, commands);
    QFETCH(int, timeOuts);
    QFETCH(QList<QByteArray>, records);
    QFETCH(QStringList, captions);
    QFETCH(int, endsAt);
    SearchBench bench;
    for (const QByteArray &module : modules)
        bench.bus.AddModule(module.split(' ').first(), module.split(' ').last());
    bench.workspace.port.onWrite = [&bench, unanswered](const QByteArray &command) {
        if (!unanswered.contains(command))
            bench.bus.TakeBytes(command);
    };
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(bench.Scan(first, last));

    QCOMPARE(bench.workspace.port.written, commands);
    QCOMPARE(TimeOutRows(bench.workspace.engine.CommandLog()), timeOuts);
    QCOMPARE(bench.workspace.modules.Count(), records.size());
    for (const QByteArray &found : records) {
        const QByteArray config = found.split(' ').last();
        const ModuleRecordPtr record = bench.workspace.modules.FindForOpen(config.left(2));
        QVERIFY2(record, found.constData());
        QCOMPARE(record->typeId, found.split(' ').first());
        QCOMPARE(record->config, config);
    }
    QCOMPARE(bench.workspace.pendingItems, captions);
    QCOMPARE(bench.window.Scan().CurrentAddress(), endsAt);
}

void SearchWindowTest::secondScanStartsOver()
{
    SearchBench bench;
    bench.bus.AddModule("4017", Config(1, "080600"));
    bench.bus.AddModule("4052", Config(2, "400600"));
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(bench.Scan(1, 2));
    QCOMPARE(bench.workspace.pendingItems.size(), 2);

    QVERIFY(bench.Scan(2, 2));
    QCOMPARE(bench.workspace.modules.Count(), 1);
    QVERIFY(bench.workspace.modules.FindForOpen("02"));
    QVERIFY(bench.CancelAndWaitForClose());
    // Every tree item stands for a record of the last scan.
    QCOMPARE(bench.workspace.treeItems, QStringList({" (02) N76x"}));
    for (const QString &item : bench.workspace.treeItems)
        QVERIFY2(bench.workspace.modules.FindForOpen(CaptionAddress(item)), qPrintable(item));
}

void SearchWindowTest::replyAfterTheScanIsIgnored()
{
    SearchBench bench;
    bench.bus.AddModule("4017", Config(7, "080600"));
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(bench.Scan(7, 7));
    const qsizetype written = bench.workspace.port.written.size();

    // A module's answer arrives late, after the scan has ended.
    bench.workspace.port.Receive("!07080699\r");
    QTRY_VERIFY_WITH_TIMEOUT(bench.workspace.engine.CommandLog().Row(0).contains("!07080699"), GrantBoundMs);
    QCOMPARE(bench.workspace.port.written.size(), written);
    QCOMPARE(bench.workspace.modules.Count(), 1);
    QCOMPARE(bench.workspace.pendingItems.size(), 1);
}

void SearchWindowTest::cancelWithExchangeOutstanding_data()
{
    QTest::addColumn<bool>("moduleThere");
    QTest::newRow("reply") << true;
    QTest::newRow("time-out") << false;
}

void SearchWindowTest::cancelWithExchangeOutstanding()
{
    QFETCH(bool, moduleThere);
    SearchBench bench;
    if (moduleThere)
        bench.bus.AddModule("4017", Config(1, "080600"));
    QVERIFY(bench.ShowAndTakeBus());
    bench.FirstAdresSpinEdit().setValue(1);
    bench.SecondAdresSpinEdit().setValue(3);
    bench.StartScanButton().click();
    // The outstanding exchange keeps its short time-out; the close timer would only fire after seconds.
    bench.workspace.engine.SetTimeOutMs(5000);
    bench.CancelButton().click();
    QCOMPARE(bench.window.Phase(), ScanPhase::Closing);
    QCOMPARE(bench.CloseTimer().interval(), 10000);
    QVERIFY(!bench.workspace.mainEnabled);

    QVERIFY(QTest::qWaitFor([&bench] { return bench.Closed(); }, GrantBoundMs));
    QVERIFY(!bench.CloseTimer().isActive());
    QCOMPARE(bench.workspace.hint, QString("Hint: Available modules..."));
    QVERIFY(!bench.Animate1().isVisibleTo(&bench.window));
    QVERIFY(bench.StartScanButton().isEnabled());
    // Nothing more went out after the cancel.
    QCOMPARE(bench.Commands(), QList<QByteArray>({Request('$', 1, "M")}));
    QCOMPARE(bench.workspace.modules.Count(), 0);
    QVERIFY(bench.workspace.treeItems.isEmpty());
}

void SearchWindowTest::closeWithoutExchange_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("cancel button") << false;
    QTest::newRow("close box") << true;
}

void SearchWindowTest::closeWithoutExchange()
{
    QFETCH(bool, closeBox);
    SearchBench bench;
    bench.bus.AddModule("4021", Config(9, "300600"));
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(bench.Scan(9, 9));

    if (closeBox)
        bench.window.close();
    else
        QTest::mouseClick(&bench.CancelButton(), Qt::LeftButton);
    QVERIFY(!bench.window.isVisible());
    QCOMPARE(bench.window.Phase(), ScanPhase::Closing);
    QVERIFY(bench.CloseTimer().isActive());
    QCOMPARE(bench.CloseTimer().interval(), 2 * ReplyTimeOutMs);
    QVERIFY(!bench.workspace.mainEnabled);
    QVERIFY(bench.workspace.treeItems.isEmpty());

    QVERIFY(QTest::qWaitFor([&bench] { return bench.Closed(); }, GrantBoundMs));
    QCOMPARE(bench.workspace.treeItems, QStringList({" (09) N780"}));
    QCOMPARE(bench.workspace.hint, QString("Hint: Available modules..."));
    // The bus went back: with no editor open the cycle rests.
    QCOMPARE(bench.workspace.router.State(), RouterState::Idle);
    QCOMPARE(bench.Commands().size(), 2);
}

void SearchWindowTest::showingAgainFinishesTheClose()
{
    SearchBench bench;
    bench.bus.AddModule("4050", Config(0x20, "400600"));
    QVERIFY(bench.ShowAndTakeBus());
    QVERIFY(bench.Scan(0x20, 0x20));
    bench.CancelButton().click();
    bench.window.show();

    QCOMPARE(bench.workspace.treeItems, QStringList({" (20) N730"}));
    QVERIFY(!bench.CloseTimer().isActive());
    QVERIFY(!bench.workspace.mainEnabled);
    QCOMPARE(bench.workspace.hint, QString("Hint: Searching for modules..."));
    QTRY_COMPARE_WITH_TIMEOUT(bench.window.Phase(), ScanPhase::Ready, GrantBoundMs);
    QVERIFY(!bench.workspace.mainEnabled);
}

void SearchWindowTest::waitsForTheBusWhileAnEditorRuns()
{
    SearchBench bench;
    bench.bus.AddModule("4017", Config(1, "080600"));
    BusRouter &router = bench.workspace.router;
    router.BeginEditorTurn();
    bench.window.show();
    QTRY_VERIFY_WITH_TIMEOUT(router.BusAsked(ToolKind::Search), GrantBoundMs);
    QCOMPARE(bench.window.Phase(), ScanPhase::WaitingForBus);
    QVERIFY(bench.InitTimer().isActive()); // asks again

    // Start does nothing before the bus is granted.
    bench.StartScanButton().click();
    QVERIFY(bench.Commands().isEmpty());
    QVERIFY(bench.StartScanButton().isEnabled());

    router.EndEditorTurn();
    QTRY_COMPARE_WITH_TIMEOUT(bench.window.Phase(), ScanPhase::Ready, GrantBoundMs);
    QVERIFY(bench.Scan(1, 1));
    QCOMPARE(bench.workspace.pendingItems, QStringList({" (01) N770"}));
}

void SearchWindowTest::closeWaitsForANotedBusRequest()
{
    SearchBench bench;
    BusRouter &router = bench.workspace.router;
    TurnHoldingEditor &editor = bench.StartEditorTurn();
    QVERIFY(router.EditorTurnActive());

    bench.window.show();
    QTRY_VERIFY_WITH_TIMEOUT(router.BusAsked(ToolKind::Search), GrantBoundMs);
    bench.CancelButton().click();
    // The close timer fires several times while the editor keeps its turn; the close waits for the grant.
    const qsizetype exchanges = bench.workspace.port.written.size();
    QVERIFY(
        QTest::qWaitFor([&] { return bench.workspace.port.written.size() >= exchanges + 6; }, ScanBoundMs));
    QVERIFY(!bench.workspace.mainEnabled);
    QCOMPARE(bench.window.Phase(), ScanPhase::Closing);

    // The turn ends, the bus passes to the search, whose close gives it straight back to the editors.
    editor.keepTurn = false;
    QVERIFY(QTest::qWaitFor([&bench] { return bench.Closed(); }, GrantBoundMs));
    QVERIFY(QTest::qWaitFor([&editor] { return editor.turnsStarted >= 2; }, GrantBoundMs));
    QVERIFY(!router.OwnsBus(ToolKind::Search));
    QVERIFY(!router.BusAsked(ToolKind::Search));
}

void SearchWindowTest::closeBeforeAskingLeavesTheEditorsAlone()
{
    SearchBench bench;
    TransactionEngine &engine = bench.workspace.engine;
    BusRouter &router = bench.workspace.router;
    bench.StartEditorTurn();

    // Shown and hidden again before the window ever asked for the bus.
    bench.window.show();
    bench.CancelButton().click();
    QVERIFY(!bench.InitTimer().isActive());
    QVERIFY(QTest::qWaitFor([&bench] { return bench.workspace.mainEnabled; }, GrantBoundMs));
    const qsizetype atClose = bench.workspace.port.written.size();
    QVERIFY(
        QTest::qWaitFor([&] { return bench.workspace.port.written.size() >= atClose + 3; }, GrantBoundMs));

    // The editor's exchanges ran on undisturbed: each command ended by its own time-out before the next went
    // out, and the window never came to hold the bus.
    QCOMPARE(bench.workspace.port.written.size() - TimeOutRows(engine.CommandLog()), 1);
    QVERIFY(!router.OwnsBus(ToolKind::Search));
    QVERIFY(!router.BusAsked(ToolKind::Search));
    QCOMPARE(bench.workspace.hint, QString("Hint: Available modules..."));
}

QTEST_MAIN(SearchWindowTest)
#include "tst_search.moc"
