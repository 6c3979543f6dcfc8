// The memory utilities window against the real engine and a simulated Tvr 5x: the commands it puts on the
// wire, the records it decodes into the list, the file it saves, and how it takes and gives back the bus.

#include "app/program.h"
#include "bus/text.h"
#include "sim/sim_bus.h"
#include "support/file_limits.h"
#include "support/find_control.h"
#include "support/recording_prompt.h"
#include "support/test_workspace.h"
#include "tools/memory_record.h"
#include "tools/memory_window.h"
#include "workspace/prompt.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace navix;

namespace {
constexpr int BoundMs = 3000;
// Long enough for an in-process reply also when the sanitizers slow every turn of the event loop down: a
// record that came after its time-out would be missing from the list.
constexpr int ReplyTimeOutMs = 150;
const QByteArray Tvr = "10";
const QByteArray ChecksumConfig = "10200642";
// The worked example of the file format: the record read from 01F8 and its line.
const QByteArray ExampleRecord = "0530122403305001";
const QByteArray ExampleLine = "01F8 12:30:05 24.03 13.2 55.96 1 0 0 0 0 0 0 0\r\n";

void SendFocusOut(QWidget &widget)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&widget, &out);
}
} // namespace

// The window on a simulated bus with one Tvr 5x; the window goes before the bus and the workspace it uses.
struct MemoryBench
{
    explicit MemoryBench(const QByteArray &config = "10200602") : tvr(bus.AddModule("20", config))
    {
        workspace.engine.SetTimeOutMs(ReplyTimeOutMs);
        workspace.engine.SetPacingTag(VeryFast);
        bus.SetFrozen(true);
        bus.Attach(workspace.port);
        // Commands the test wants to go unanswered are held back from the bus here.
        workspace.port.onWrite = [this, answer = workspace.port.onWrite](const QByteArray &command) {
            if (!dropCommand || !dropCommand(command))
                answer(command);
        };
        previousPrompt = InstallPrompt(&prompt);
    }
    ~MemoryBench() { InstallPrompt(previousPrompt); }

    bool Open()
    {
        const int before = PollsSent();
        window.HandOver(Tvr, tvr.UsesChecksum());
        return QTest::qWaitFor([&] { return PollsSent() > before; }, BoundMs);
    }
    // A command as the window must write it, with the module's checksum where it uses one.
    QByteArray Sent(const QByteArray &letters) const
    {
        QByteArray command = "@" + Tvr + letters + CR;
        if (tvr.UsesChecksum())
            command.insert(command.size() - 1, ComputeChecksum(command));
        return command;
    }
    void PutRecord(int address, const QByteArray &hexDigits)
    {
        for (int i = 0; i < MemoryRecordSize; ++i)
            tvr.memory[address + i] = static_cast<char>(HexToInt(Copy(hexDigits, 2 * i + 1, 2)));
    }
    // Counted as written, so that commands held back from the bus count too.
    QList<QByteArray> DataRequests() const
    {
        QList<QByteArray> requests;
        for (const QByteArray &command : workspace.port.written)
            if (command.startsWith("@" + Tvr + "D"))
                requests.append(command);
        return requests;
    }
    int PollsSent() const { return workspace.port.written.count(Sent("E")); }
    // Waits until the pointer poll runs again after whatever was slotted in.
    bool PollingAgain()
    {
        const int before = PollsSent();
        return QTest::qWaitFor([&] { return PollsSent() >= before + 2; }, BoundMs);
    }
    bool Read(const QString &from, int count)
    {
        FirstAdresEdit().setText(from);
        LastSpinEdit().setValue(count);
        QTest::mouseClick(&ReadButton(), Qt::LeftButton);
        return QTest::qWaitFor([this] { return !window.Reading(); }, BoundMs) && PollingAgain();
    }
    // The window's controls, found by name as UI automation finds them.
    QLineEdit &NextAdresEdit() const { return *Find<QLineEdit>(window, "NextAdresEdit"); }
    QLineEdit &FirstAdresEdit() const { return *Find<QLineEdit>(window, "FirstAdresEdit"); }
    QSpinBox &LastSpinEdit() const { return *Find<QSpinBox>(window, "LastSpinEdit"); }
    QPushButton &ReadButton() const { return *Find<QPushButton>(window, "ReadButton"); }
    QPushButton &SaveButton() const { return *Find<QPushButton>(window, "SaveButton"); }
    QPushButton &ExitButton() const { return *Find<QPushButton>(window, "ExitButton"); }
    QPushButton &UpdateSetingButton() const { return *Find<QPushButton>(window, "UpdateSetingButton"); }
    QGroupBox &MemorySetings() const { return *Find<QGroupBox>(window, "MemorySetings"); }
    QStringList RowAddresses() const
    {
        QStringList addresses;
        for (int row = 0; row < window.Records().Count(); ++row)
            addresses.append(window.Records().Row(row).value(0));
        return addresses;
    }
    bool Released() const
    {
        return workspace.mainEnabled && !workspace.router.OwnsBus(ToolKind::Memory) &&
               workspace.router.State() == RouterState::Idle;
    }

    TestWorkspace workspace;
    SimBus bus;
    SimModule &tvr;
    std::function<bool(const QByteArray &)> dropCommand;
    RecordingPrompt prompt;
    Prompt *previousPrompt = nullptr;
    TForm6 window{workspace};
};

class MemoryWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void decodesRecords_data();
    void decodesRecords();
    void pollsPointerWhileShownAndGivesBusBack();
    void pointerEditStopsFollowingUntilUpdate();
    void filtersAndPadsEdits();
    void readsRunOfRecords_data();
    void readsRunOfRecords();
    void stopKeepsOutstandingRecordAndSkipsLostOne();
    void savesOnlyWhenThereIsDataAndSaysHowItWent();
    void requestsDoNotOutliveTheOpeningOrTheModule();
    void programHandsOverFromMainWindow();
};

void MemoryWindowTest::decodesRecords_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("cells");
    QTest::newRow("example") << ExampleRecord << "01F8 12:30:05 24.03 13.2 55.96 1 0 0 0 0 0 0 0";
    QTest::newRow("codes 08 FF, bit 7")
        << QByteArray("595923120008FF80") << "01F8 23:59:59 12.00 -40 299.3 0 0 0 0 0 0 0 1";
    // A garbled or short reply must neither crash nor put bits into the wrong columns.
    QTest::newRow("garbled") << QByteArray("0530122403ZZ50G1") << "01F8 12:30:05 24.03 ? 55.96        ";
    QTest::newRow("short") << QByteArray("053012") << "01F8 12:30:05 . ? ?        ";
    // As a 6-byte real holds them: 106.95 and 166.65 of the table are a little below their halves there.
    QTest::newRow("codes 76 A1") << QByteArray("000000010176A100")
                                 << "01F8 00:00:00 01.01 106.9 166.6 0 0 0 0 0 0 0 0";
}

void MemoryWindowTest::decodesRecords()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, cells);
    QCOMPARE(DecodeMemoryRecord(0x01F8, record), cells.split(' '));
}

void MemoryWindowTest::pollsPointerWhileShownAndGivesBusBack()
{
    // A module that uses checksums: every command carries one.
    MemoryBench bench(ChecksumConfig);
    bench.tvr.pointer = 0x01F8;
    QVERIFY(bench.Open());
    QCOMPARE(bench.bus.Commands().first(), bench.Sent("E"));
    QVERIFY(!bench.workspace.mainEnabled);
    QTRY_COMPARE_WITH_TIMEOUT(bench.NextAdresEdit().text(), QString("01F8"), BoundMs);
    QCOMPARE(bench.MemorySetings().title(), QString(" Commucation..."));

    // A silent module: the status says so and the last pointer stays.
    bench.dropCommand = [](const QByteArray &) { return true; };
    bench.tvr.pointer = 0x0200;
    QTRY_COMPARE_WITH_TIMEOUT(bench.MemorySetings().title(), QString(" Error..."), BoundMs);
    QCOMPARE(bench.NextAdresEdit().text(), QString("01F8"));

    QTest::mouseClick(&bench.ExitButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(bench.Released(), BoundMs);
    // Shown again, the window takes the bus anew; hidden, it gives it back at the next reply.
    bench.dropCommand = nullptr;
    QVERIFY(bench.Open());
    QTRY_COMPARE_WITH_TIMEOUT(bench.NextAdresEdit().text(), QString("0200"), BoundMs);
    bench.window.hide();
    QTRY_VERIFY_WITH_TIMEOUT(bench.Released(), BoundMs);
}

void MemoryWindowTest::pointerEditStopsFollowingUntilUpdate()
{
    MemoryBench bench;
    bench.tvr.pointer = 0x0100;
    QVERIFY(bench.Open());
    QTRY_COMPARE_WITH_TIMEOUT(bench.NextAdresEdit().text(), QString("0100"), BoundMs);

    QTest::mouseClick(&bench.NextAdresEdit(), Qt::LeftButton);
    QVERIFY(bench.UpdateSetingButton().isEnabled());
    bench.tvr.pointer = 0x0108;
    QVERIFY(bench.PollingAgain());
    QCOMPARE(bench.NextAdresEdit().text(), QString("0100"));

    // Typed without leaving the edit: the module still gets four digits.
    bench.NextAdresEdit().clear();
    QTest::keyClicks(&bench.NextAdresEdit(), "3a0");
    QTest::mouseClick(&bench.UpdateSetingButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.tvr.pointer, quint16(0x03A0), BoundMs);
    QVERIFY(bench.bus.Commands().contains(bench.Sent("S03A0")));
    QVERIFY(!bench.UpdateSetingButton().isEnabled());

    // Following the module again.
    bench.tvr.pointer = 0x0400;
    QTRY_COMPARE_WITH_TIMEOUT(bench.NextAdresEdit().text(), QString("0400"), BoundMs);
}

void MemoryWindowTest::filtersAndPadsEdits()
{
    MemoryBench bench;
    for (QLineEdit *edit : {&bench.NextAdresEdit(), &bench.FirstAdresEdit()}) {
        edit->setText("12");
        QTest::keyClicks(edit, "G");
        QCOMPARE(edit->text(), QString("12"));
        edit->clear();
        QTest::keyClicks(edit, "1 fG-");
        QCOMPARE(edit->text(), QString("1F"));
        SendFocusOut(*edit);
        QCOMPARE(edit->text(), QString("001F"));
    }
    // A count that is not a number becomes 1.
    bench.LastSpinEdit().setValue(40);
    bench.LastSpinEdit().findChild<QLineEdit *>()->clear();
    SendFocusOut(bench.LastSpinEdit());
    QCOMPARE(bench.LastSpinEdit().value(), 1);
}

void MemoryWindowTest::readsRunOfRecords_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("addresses");
    QTest::newRow("count 1") << "01F8" << 1 << QStringList{"01F8"};
    QTest::newRow("start typed short") << "1F8" << 2 << QStringList{"01F8", "0200"};
    QTest::newRow("ends at the top") << "FFF0" << 5 << QStringList{"FFF0", "FFF8"};
    QTest::newRow("start past last record") << "FFF9" << 4 << QStringList{"FFF9"};
}

void MemoryWindowTest::readsRunOfRecords()
{
    QFETCH(QString, from);
    QFETCH(int, count);
    QFETCH(QStringList, addresses);
    MemoryBench bench;
    QVERIFY(bench.Open());
    // The rows of an earlier read go when the next read starts.
    QVERIFY(bench.Read("0000", 1));
    bench.workspace.port.written.clear();

    QVERIFY(bench.Read(from, count));
    QList<QByteArray> expected;
    for (const QString &address : addresses)
        expected.append(bench.Sent("D" + ToWire(address)));
    QCOMPARE(bench.DataRequests(), expected);
    QCOMPARE(bench.RowAddresses(), addresses);
    QCOMPARE(bench.ReadButton().text(), QString("&Read data"));
    QCOMPARE(bench.bus.Commands().last(), bench.Sent("E"));
}

void MemoryWindowTest::stopKeepsOutstandingRecordAndSkipsLostOne()
{
    MemoryBench bench(ChecksumConfig);
    QVERIFY(bench.Open());
    // The record at 0008 gets no answer: it is skipped, not asked for again.
    bench.dropCommand = [&](const QByteArray &command) { return command == bench.Sent("D0008"); };
    bench.FirstAdresEdit().setText("0000");
    bench.LastSpinEdit().setValue(8192);
    QTest::mouseClick(&bench.ReadButton(), Qt::LeftButton);
    QCOMPARE(bench.ReadButton().text(), QString("&Stop"));
    QTRY_VERIFY_WITH_TIMEOUT(bench.DataRequests().size() >= 4, BoundMs);
    QTest::mouseClick(&bench.ReadButton(), Qt::LeftButton);
    QCOMPARE(bench.ReadButton().text(), QString("&Read data"));
    QVERIFY(bench.PollingAgain());

    const QList<QByteArray> requests = bench.DataRequests();
    QCOMPARE(requests.count(bench.Sent("D0008")), 1);
    QStringList expected;
    for (int i = 0; i < requests.size(); ++i)
        if (i != 1)
            expected.append(FromWire(HexDigits(8 * i, 4)));
    QCOMPARE(bench.RowAddresses(), expected);
}

void MemoryWindowTest::savesOnlyWhenThereIsDataAndSaysHowItWent()
{
    MemoryBench bench;
    QTemporaryDir folder;
    const QString fileName = folder.filePath("extract.dat");
    bench.prompt.fileAnswers = {fileName};
    bench.PutRecord(0x01F8, ExampleRecord);
    bench.PutRecord(0x0200, "0000000101000080");
    QVERIFY(bench.Open());
    // Nothing read yet, then a read asked for: no dialog at all.
    QTest::mouseClick(&bench.SaveButton(), Qt::LeftButton);
    QVERIFY(bench.Read("01F8", 2));
    QTest::mouseClick(&bench.ReadButton(), Qt::LeftButton);
    QTest::mouseClick(&bench.SaveButton(), Qt::LeftButton);
    QTest::mouseClick(&bench.ReadButton(), Qt::LeftButton);
    QVERIFY(bench.prompt.dialogTitles.isEmpty());

    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("an older and much longer extract that must not survive the save\r\n");
    file.close();
    QTest::mouseClick(&bench.SaveButton(), Qt::LeftButton);
    QCOMPARE(bench.prompt.dialogTitles, QStringList{"Save data ..."});
    QCOMPARE(bench.prompt.Texts(), QStringList{"Saving successful !"});
    QVERIFY(!bench.prompt.messages.first().error);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), ExampleLine + "0200 00:00:00 01.01 -50 -50 0 0 0 0 0 0 0 1\r\n");
    file.close();

    // A file that cannot be created is not reported as saved, and the list stays.
    const QString missing = folder.filePath("missing/extract.dat");
    bench.prompt.Clear();
    bench.prompt.fileAnswers = {missing};
    QTest::mouseClick(&bench.SaveButton(), Qt::LeftButton);
    QCOMPARE(bench.prompt.Texts(), QStringList{"Can not open " + missing + " !"});
    QVERIFY(bench.prompt.messages.first().error);
    QCOMPARE(bench.window.Records().Count(), 2);

    // A disk too full for the new extract: the old one stays, and the user is told.
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("0000 00:00:00 01.01 -50 -50 0 0 0 0 0 0 0 0\r\n");
    file.close();
    bench.prompt.Clear();
    bench.prompt.fileAnswers = {fileName};
    {
        const FileSizeLimit limit(ExampleLine.size());
        QVERIFY(limit.Active());
        QTest::mouseClick(&bench.SaveButton(), Qt::LeftButton);
    }
    QCOMPARE(bench.prompt.Texts(), QStringList{"Can not open " + fileName + " !"});
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("0000 00:00:00 01.01 -50 -50 0 0 0 0 0 0 0 0\r\n"));
    file.close();
}

void MemoryWindowTest::requestsDoNotOutliveTheOpeningOrTheModule()
{
    MemoryBench bench;
    QVERIFY(bench.Open());
    // A read and a pointer change asked for, then the window closed before they were done.
    bench.dropCommand = [](const QByteArray &command) { return command.startsWith("@10D"); };
    bench.FirstAdresEdit().setText("0000");
    bench.LastSpinEdit().setValue(100);
    QTest::mouseClick(&bench.ReadButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!bench.DataRequests().isEmpty(), BoundMs);
    QTest::mouseClick(&bench.NextAdresEdit(), Qt::LeftButton);
    QTest::mouseClick(&bench.UpdateSetingButton(), Qt::LeftButton);
    bench.window.hide();
    QTRY_VERIFY_WITH_TIMEOUT(bench.Released(), BoundMs);
    QVERIFY(!bench.window.Reading());
    QCOMPARE(bench.ReadButton().text(), QString("&Read data"));

    // Opened again, the window only polls: nothing is read and no pointer is set unasked.
    bench.dropCommand = nullptr;
    bench.workspace.port.written.clear();
    QVERIFY(bench.Open() && bench.PollingAgain());
    QVERIFY(bench.DataRequests().isEmpty());
    QVERIFY(!bench.workspace.port.written.join().contains("@10S"));

    // Handed over for another module while a read runs: that module is polled, not read.
    bench.dropCommand = [](const QByteArray &command) { return command.startsWith("@10D"); };
    QTest::mouseClick(&bench.ReadButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!bench.DataRequests().isEmpty(), BoundMs);
    bench.window.HandOver("11", false);
    QVERIFY(!bench.window.Reading());
    QTRY_VERIFY_WITH_TIMEOUT(bench.workspace.port.written.last() == "@11E\r", BoundMs);
    QVERIFY(!bench.workspace.port.written.join().contains("@11D"));
}

void MemoryWindowTest::programHandsOverFromMainWindow()
{
    NavixProgram program;
    QVERIFY(!program.Form6.isVisible());
    program.Form1.ShowMemoryUtilities("12", true);
    QVERIFY(program.Form6.isVisible());
    QCOMPARE(program.Form6.ModuleAddress(), QByteArray("12"));
    QVERIFY(program.Form6.Checksum());
    QVERIFY(!program.Form1.isEnabled());
    program.Form6.hide();
    QTRY_VERIFY_WITH_TIMEOUT(program.Form1.isEnabled(), BoundMs);
}

QTEST_MAIN(MemoryWindowTest)
#include "tst_memory_window.moc"
