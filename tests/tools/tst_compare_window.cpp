// The compare window in the program, on a simulated bus whose replies arrive in pieces: File > Compare with
// bus only with a port open; the rows and their differences; the ticked rows written, with a result per row
// and the words for the spare; Compare again clean after the spare's power-up.
//
// With NAVIX_COMPARE_PICTURE set to a file name, the test also saves the window after the write as the
// README's picture.

#include "support/find_control.h"
#include "support/recording_prompt.h"

#include "app/program.h"
#include "sim/memory_port.h"
#include "sim/sim_bus.h"
#include "workspace/prompt.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace navix;

namespace {
constexpr int ReplyTimeOutMs = 30;
constexpr int BoundMs = 15000;

QStringList Column(const QTableWidget &table, int column)
{
    QStringList texts;
    for (int row = 0; row < table.rowCount(); ++row)
        texts.append(table.item(row, column)->text());
    return texts;
}
} // namespace

class CompareWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void compareAndWriteTheTickedRows();
};

void CompareWindowTest::compareAndWriteTheTickedRows()
{
    RecordingPrompt prompt;
    Prompt *previousPrompt = InstallPrompt(&prompt);
    QTemporaryDir folder;
    const QString fileName = folder.filePath("plant.cfg");
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "4013,01200600\r\nEND\r\n4017,02080600\r\nEND\r\n4050,04400600\r\nEND\r\n4050,06400600\r\nEND\r\n");
    file.close();

    NavixProgram program;
    TForm1 &main = program.Form1;
    main.SetPortLister([] { return QMap<int, QString>{{5, "/dev/ttyUSB0"}}; });
    program.Show();
    QAction &compareAction = *Find<QAction>(main, "CompareWithBus1");
    QVERIFY(!compareAction.isEnabled());

    MemoryPort port;
    SimBus bus;
    bus.faults.splitReplies = true;
    bus.AddModule("4013", "01200601");                 // data format changed
    bus.AddModule("4017", "02090600");                 // range changed
    bus.AddModule("4050", "20400600").initMode = true; // a spare; the file's 04 failed
    bus.AddModule("4060", "06400600");                 // where the file has a 4050
    bus.Attach(port);
    main.Session().OfferLine(5, port);
    main.Engine().SetPacingTag(VeryFast);
    Find<QSpinBox>(main, "SpinEdit1")->setValue(ReplyTimeOutMs);
    main.ComPort().SetComNumber(5);
    main.ComPort().SetOpen(true);
    main.EnableWorkspace(true); // as the opening of port 5 leaves it
    QVERIFY(compareAction.isEnabled());

    prompt.fileAnswers = {fileName};
    compareAction.trigger();
    CompareWindow &window = program.Compare;
    QVERIFY(window.isVisible());
    QVERIFY(!main.isEnabled());
    QTableWidget &table = *Find<QTableWidget>(window, "CompareTable");
    QTRY_COMPARE_WITH_TIMEOUT(table.rowCount(), 4, BoundMs);
    QTRY_VERIFY_WITH_TIMEOUT(!window.Run().Running(), BoundMs);
    QCOMPARE(Column(table, CompareWindow::AddressColumn), QStringList({"01", "02", "04", "06"}));
    QCOMPARE(Column(table, CompareWindow::DifferencesColumn),
             QStringList({"data format", "range", "in INIT", "another type at this address"}));
    QCOMPARE(Column(table, CompareWindow::BusColumn),
             QStringList({"01200601", "02090600", "00400600 (INIT)", "4060 06400600"}));
    QCOMPARE(Column(table, CompareWindow::RestoreColumn),
             QStringList({"Write", "Write", "Configure the spare as 04", "Not written"}));
    // Another type is never written: its row cannot be ticked.
    QVERIFY(!(table.item(3, CompareWindow::RestoreColumn)->flags() & Qt::ItemIsUserCheckable));
    QPushButton &write = *Find<QPushButton>(window, "WriteButton");
    QVERIFY(!write.isEnabled());
    for (int row = 0; row < 3; ++row)
        table.item(row, CompareWindow::RestoreColumn)->setCheckState(Qt::Checked);
    QVERIFY(write.isEnabled());

    bus.ClearTranscript();
    QTest::mouseClick(&write, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Column(table, CompareWindow::ResultColumn),
                              QStringList({"done", "done", "done", ""}), BoundMs);
    QTRY_VERIFY_WITH_TIMEOUT(!window.Run().Running(), BoundMs);
    QByteArrayList written;
    for (const QByteArray &command : bus.Commands())
        if (command.startsWith('%'))
            written.append(command);
    QCOMPARE(written, QByteArrayList({"%0101200600\r", "%0202080600\r", "%0004400600\r"}));
    QVERIFY(Find<QLabel>(window, "StatusLabel")->text().startsWith(SpareDoneHint));

    const QString picture = qEnvironmentVariable("NAVIX_COMPARE_PICTURE");
    if (!picture.isEmpty()) {
        window.resize(window.sizeHint().width(), 300);
        QVERIFY(window.grab().save(picture, "PNG"));
    }

    for (SimModule *module : bus.Modules())
        module->initMode = false; // powered up without the INIT wire
    QTest::mouseClick(Find<QPushButton>(window, "CompareButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Column(table, CompareWindow::DifferencesColumn),
                              QStringList({"equal", "equal", "equal", "another type at this address"}),
                              BoundMs);

    // Closed, the window gives the bus back and the main window is in reach again.
    QTest::mouseClick(Find<QPushButton>(window, "CloseButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(main.isEnabled() && !main.Router().OwnsBus(ToolKind::Compare), BoundMs);
    QVERIFY(prompt.messages.isEmpty());
    InstallPrompt(previousPrompt);
}

QTEST_MAIN(CompareWindowTest)
#include "tst_compare_window.moc"
