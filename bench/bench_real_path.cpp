#include "bench_real_path.h"

#include "bus/baud_table.h"
#include "bus/text.h"

#include "bench_sim_run.h"
#include "name_asker.h"

#include "app/program.h"
#include "bus/serial_port.h"
#include "support/find_control.h"
#include "support/sim_process.h"
#include "workspace/bus_session.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace navix {

namespace {
constexpr int NameRequestTimeOutMs = 1000;
constexpr int PortOpenBoundMs = 5000;
constexpr int SearchBoundMs = 30000;
constexpr int EmptyScanBoundMs = 300000;
constexpr int WarmUpMs = 1000;
constexpr int OpeningReadsMs = 3000; // "Very fast": every editor through its first turns
constexpr int FastPacingMs = 50;     // "Fast", the pacing the program starts with
constexpr int StartUpRuns = 3;
constexpr int MemoryRecords = 300;

// The module kinds an editor bench polls; the Tvr 5x takes the addresses 08 to 0A.
// The highest rate a module can be set to.
constexpr int HighestBaud = ModuleBaudRates.back();
const QByteArray OneEditorBus = "4013 01200600\n";
const QByteArray EightEditorBus = "4013 01200600\n"
                                  "4017 02080600\n"
                                  "4021 03310600\n"
                                  "4050 04400600\n"
                                  "4052 05400600\n"
                                  "4060 06400600\n"
                                  "4113 07200600\n"
                                  "4013 08200602 tvr\n";
constexpr int EightEditorLastAddress = 0x0A;
const QByteArray TvrBus = "4013 10200602 tvr\n";
constexpr int TvrAddress = 0x10;

QString PacingName(int tag)
{
    return tag == VeryFast ? "\"Very fast\"" : "\"Fast\"";
}

// The whole program on the simulator's port, counting the commands its engine writes.
class ProgramRun
{
public:
    ProgramRun()
    {
        QObject::connect(&Main().Engine(), &TransactionEngine::CommandWritten, &Main(),
                         [this](const QByteArray &) {
                             ++written;
                             if (onWritten)
                                 onWritten();
                         });
    }
    TForm1 &Main() { return program.Form1; }
    TForm3 &Search() { return program.Form3; }
    TForm6 &Memory() { return program.Form6; }
    int Written() const { return written; }
    std::function<void()> onWritten;

    // Opens the port and sets the port panel's rate to the modules' own (the port opens at 9600 Bd, and a
    // module at another rate does not answer there).
    bool OpenPort(int comNumber, int baud)
    {
        program.Show();
        Main().SelectPort("COM" + QString::number(comNumber));
        if (!RunUntil(
                [this] {
                    return Main().ComPort().IsOpen() &&
                           Main().findChild<QGroupBox *>("ComProperties")->isVisible();
                },
                PortOpenBoundMs))
            return false;
        auto *rate = Main().findChild<QComboBox *>("BaudRateComboBox");
        const int index = rate->findText(QString::number(baud));
        rate->setCurrentIndex(index);
        emit rate->activated(index);
        return Main().ComPort().Baud() == baud;
    }

    // Scans first..last with the search window and closes it: the modules found become tree items.
    bool FindModules(int first, int last)
    {
        Main().findChild<QToolButton *>("SearchButton")->click();
        if (!RunUntil([this] { return Search().Phase() == ScanPhase::Ready; }, PortOpenBoundMs))
            return false;
        Find<QSpinBox>(Search(), "FirstAdresSpinEdit")->setValue(first);
        Find<QSpinBox>(Search(), "SecondAdresSpinEdit")->setValue(last);
        Find<QPushButton>(Search(), "StartScanButton")->click();
        if (!RunUntil([this] { return !Search().Scan().Scanning(); }, SearchBoundMs))
            return false;
        Find<QPushButton>(Search(), "CancelButton")->click();
        return RunUntil([this] { return Main().isEnabled() && Main().PendingCaptions().isEmpty(); },
                        PortOpenBoundMs);
    }

    int OpenEditors(int comNumber)
    {
        for (const QString &caption : Main().ModuleCaptions(Main().FindPortItem(comNumber)))
            Main().OpenModuleEditor(caption);
        return Main().Modules().AnyEditorOpen() ? Main().ModuleCaptions(Main().FindPortItem(comNumber)).size()
                                                : 0;
    }

private:
    NavixProgram program;
    int written = 0;
};

BenchRow SerialLayerRow(const BenchPlace &place, const QString &name, int baud, int adapterLatencyMs,
                        int exchanges)
{
    QStringList extra;
    if (adapterLatencyMs > 0)
        extra << "--adapter-latency" << QString::number(adapterLatencyMs);
    SimRun sim;
    if (!sim.Start(place, "4017 01080600\n", baud, extra))
        return BenchRow::Failed(name, "navix-sim failed");
    BusSession session;
    TApdComPort &port = *session.ComPort();
    TransactionEngine &engine = session.Engine();
    BusRouter &router = session.Router();
    try {
        port.SetComNumber(static_cast<quint16>(sim.ComNumber()));
        port.SetBaud(baud);
        port.SetOpen(true);
    } catch (const std::exception &error) {
        return BenchRow::Failed(name, QString::fromLocal8Bit(error.what()));
    }
    engine.SetPacingTag(VeryFast);
    engine.SetTimeOutMs(NameRequestTimeOutMs);
    NameAsker asker(engine, exchanges);
    router.RegisterTool(ToolKind::Terminal, &asker);
    router.RequestBus(ToolKind::Terminal);
    const Span span(0);
    QTimer::singleShot(0, [&] { asker.Start(); });
    asker.loop.exec();
    BenchRow row = span.End(name, exchanges);
    row.boundSeconds = BoundSeconds(sim.Exchanges(), {baud, 0, NameRequestTimeOutMs});
    if (asker.failed > 0)
        row.name += QStringLiteral(" (%1 failed)").arg(asker.failed);
    return row;
}

// The rig on its own: a plain client that writes the command and waits for the reply with blocking calls,
// no event loop, no Qt: the most any program could reach over this pseudo-terminal and navix-sim on this
// machine.
BenchRow RigCeilingRow(const BenchPlace &place, const QString &name, int baud, int exchanges)
{
    SimRun sim;
    if (!sim.Start(place, "4017 01080600\n", baud))
        return BenchRow::Failed(name, "navix-sim failed");
    const int device = ::open(QFile::encodeName(sim.Device()).constData(), O_RDWR | O_NOCTTY);
    if (device < 0)
        return BenchRow::Failed(name, "device not opened");
    termios line{};
    ::tcgetattr(device, &line);
    ::cfmakeraw(&line);
    ::tcsetattr(device, TCSANOW, &line);
    const QByteArray command = "$01M\r";
    int failed = 0;
    const Span span(0);
    for (int exchange = 0; exchange < exchanges; ++exchange) {
        if (::write(device, command.constData(), static_cast<size_t>(command.size())) != command.size()) {
            ++failed;
            continue;
        }
        char reply[64];
        ssize_t got = 0;
        pollfd ready{device, POLLIN, 0};
        while ((got == 0 || reply[got - 1] != CR) && ::poll(&ready, 1, NameRequestTimeOutMs) > 0) {
            const ssize_t count = ::read(device, reply + got, sizeof reply - static_cast<size_t>(got));
            if (count <= 0)
                break;
            got += count;
        }
        if (got == 0 || reply[got - 1] != CR)
            ++failed;
    }
    BenchRow row = span.End(name, exchanges);
    ::close(device);
    row.boundSeconds = BoundSeconds(sim.Exchanges(), {baud, 0, NameRequestTimeOutMs});
    if (failed > 0)
        row.name += QStringLiteral(" (%1 failed)").arg(failed);
    return row;
}

BenchRow MainWindowRow(const BenchPlace &place, const QString &name, int editors, int baud, int pacing,
                       int seconds)
{
    SimRun sim;
    if (!sim.Start(place, editors > 1 ? EightEditorBus : OneEditorBus, baud))
        return BenchRow::Failed(name, "navix-sim failed");
    ProgramRun run;
    TransactionEngine &engine = run.Main().Engine();
    engine.SetPacingTag(VeryFast);
    if (!run.OpenPort(sim.ComNumber(), baud) || !run.FindModules(1, editors > 1 ? EightEditorLastAddress : 1))
        return BenchRow::Failed(name, "no modules found");
    const int opened = run.OpenEditors(sim.ComNumber());
    if (opened != editors)
        return BenchRow::Failed(name, QStringLiteral("%1 editors opened").arg(opened));
    // Polling that has gone on for a while: every editor has read its module's settings and found its look
    // (the 4013 asks whether it is a Tvr 5x and waits out the time-out of a plain one) before the case's
    // pacing.
    RunFor(OpeningReadsMs);
    engine.SetPacingTag(pacing);
    // And the command log holds its 500 rows.
    CommandLogModel &log = engine.CommandLog();
    while (log.Count() < log.Capacity())
        log.InsertRow("earlier");
    RunFor(WarmUpMs);

    const Span span(run.Written());
    RunFor(seconds * 1000);
    BenchRow row = span.End(name, run.Written());
    const int pacingMs = pacing == VeryFast ? 0 : FastPacingMs;
    row.boundSeconds = BoundSeconds(sim.Exchanges(span.FirstExchange(), row.exchanges),
                                    {baud, pacingMs, engine.TimeOutMs()});
    return row;
}
constexpr int MemoryBaud = HighestBaud;
BenchRow MemoryReadOutRow(const BenchPlace &place, const QString &name)
{
    constexpr int baud = MemoryBaud;
    SimRun sim;
    if (!sim.Start(place, TvrBus, baud))
        return BenchRow::Failed(name, "navix-sim failed");
    ProgramRun run;
    TransactionEngine &engine = run.Main().Engine();
    engine.SetPacingTag(VeryFast);
    // As the technician does it: the Tvr 5x found, its editor polling, the memory window opened from it.
    if (!run.OpenPort(sim.ComNumber(), baud) || !run.FindModules(TvrAddress, TvrAddress) ||
        run.OpenEditors(sim.ComNumber()) != 1)
        return BenchRow::Failed(name, "no editor for the Tvr 5x");
    TForm6 &memory = run.Memory();
    run.Main().ShowMemoryUtilities(HexByte(TvrAddress), false);
    if (!RunUntil([&] { return memory.Phase() == ScanPhase::Ready; }, PortOpenBoundMs))
        return BenchRow::Failed(name, "no bus for the window");
    Find<QLineEdit>(memory, "FirstAdresEdit")->setText("0000");
    Find<QSpinBox>(memory, "LastSpinEdit")->setValue(MemoryRecords);
    RunFor(WarmUpMs);

    // The read ends with the first pointer request after it.
    QEventLoop loop;
    run.onWritten = [&] {
        if (!memory.Reading())
            loop.quit();
    };
    QTimer::singleShot(SearchBoundMs, &loop, &QEventLoop::quit);
    const Span span(run.Written());
    Find<QPushButton>(memory, "ReadButton")->click();
    loop.exec();
    BenchRow row = span.End(name, run.Written() - 1);
    run.onWritten = nullptr;
    row.boundSeconds =
        BoundSeconds(sim.Exchanges(span.FirstExchange(), row.exchanges), {baud, 0, engine.TimeOutMs()});
    row.goal = "<= 1.1 x: >= 90.9 %";
    if (memory.Records().Count() != MemoryRecords)
        row.name += QStringLiteral(" (%1 records)").arg(memory.Records().Count());
    return row;
}

constexpr int ScanBaud = 9600;
BenchRow EmptyBusScanRow(const BenchPlace &place, const QString &name)
{
    constexpr int baud = ScanBaud;
    SimRun sim;
    if (!sim.Start(place, "# no module\n", baud))
        return BenchRow::Failed(name, "navix-sim failed");
    ProgramRun run;
    if (!run.OpenPort(sim.ComNumber(), baud))
        return BenchRow::Failed(name, "port not opened");
    TForm3 &search = run.Search();
    run.Main().findChild<QToolButton *>("SearchButton")->click();
    if (!RunUntil([&] { return search.Phase() == ScanPhase::Ready; }, PortOpenBoundMs))
        return BenchRow::Failed(name, "no bus for the search");
    Find<QSpinBox>(search, "FirstAdresSpinEdit")->setValue(ModuleScan::LowestAddress);
    Find<QSpinBox>(search, "SecondAdresSpinEdit")->setValue(ModuleScan::HighestAddress);

    QEventLoop loop;
    QObject::connect(&search.Scan(), &ModuleScan::Finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(EmptyScanBoundMs, &loop, &QEventLoop::quit);
    const Span span(run.Written());
    Find<QPushButton>(search, "StartScanButton")->click();
    loop.exec();
    BenchRow row = span.End(name, run.Written());
    const TransactionEngine &engine = run.Main().Engine();
    row.boundSeconds =
        BoundSeconds(sim.Exchanges(span.FirstExchange(), row.exchanges),
                     {baud, engine.PacingTag() == VeryFast ? 0 : FastPacingMs, engine.TimeOutMs()});
    row.goal = "<= 1.02 x: >= 98.0 %";
    Find<QPushButton>(search, "CancelButton")->click();
    return row;
}

BenchRow StartUpRow(const QString &name, const QString &benchProgram)
{
    QList<double> seconds;
    double residentMb = 0;
    for (int run = 0; run < StartUpRuns; ++run) {
        QProcess probe;
        QElapsedTimer clock;
        clock.start();
        probe.start(benchProgram, {StartUpProbeOption});
        if (!probe.waitForReadyRead(PortOpenBoundMs))
            return BenchRow::Failed(name, "probe failed");
        seconds.append(clock.nsecsElapsed() / 1e9);
        residentMb = probe.readAllStandardOutput().trimmed().toDouble();
        probe.waitForFinished(PortOpenBoundMs);
    }
    std::sort(seconds.begin(), seconds.end());
    BenchRow row;
    row.name = name;
    row.seconds = seconds[seconds.size() / 2];
    row.residentMb = residentMb;
    row.goal = "< 150 ms; < 50 MB";
    return row;
}

} // namespace

QList<BenchCase> SerialLayerCases(const BenchPlace &place)
{
    QList<BenchCase> cases;
    for (const int baud : {9600, HighestBaud}) {
        const QString name = QStringLiteral("pty + navix-sim, blocking client, %1 Bd").arg(baud);
        cases.append({name, [=] { return RigCeilingRow(place, name, baud, baud == 9600 ? 300 : 3000); }});
    }
    for (const int adapterLatencyMs : {0, 16})
        for (const int baud : {9600, HighestBaud}) {
            QString name = QStringLiteral("serial layer, pty, %1 Bd").arg(baud);
            if (adapterLatencyMs > 0)
                name += QStringLiteral(", adapter %1 ms").arg(adapterLatencyMs);
            // Enough exchanges for a few seconds each.
            const int exchanges = adapterLatencyMs > 0 ? 150 : baud == 9600 ? 300 : 3000;
            cases.append(
                {name, [=] { return SerialLayerRow(place, name, baud, adapterLatencyMs, exchanges); }});
        }
    return cases;
}

QList<BenchCase> MainWindowCases(const BenchPlace &place, int secondsPerCase)
{
    QList<BenchCase> cases;
    for (const int editors : {1, 8})
        for (const int baud : {9600, HighestBaud})
            for (const int pacing : {VeryFast, Fast}) {
                const QString name = QStringLiteral("main window, %1 editor%2, %3 Bd, %4")
                                         .arg(editors)
                                         .arg(editors > 1 ? "s" : "")
                                         .arg(baud)
                                         .arg(PacingName(pacing));
                QString goal;
                if (editors == 1 && baud == 9600 && pacing == VeryFast)
                    goal = ">= 97 %";
                if (editors == 8 && baud == HighestBaud && pacing == VeryFast)
                    goal = ">= 90 %, <= 100 us/exch.";
                if (editors == 8 && baud == 9600 && pacing == Fast)
                    goal = "< 1 % CPU";
                cases.append({name, [=] {
                                  BenchRow row =
                                      MainWindowRow(place, name, editors, baud, pacing, secondsPerCase);
                                  row.goal = goal;
                                  return row;
                              }});
            }
    return cases;
}

QList<BenchCase> ToolCases(const BenchPlace &place, const QString &benchProgram)
{
    const QString memory = QStringLiteral("memory read-out, %1 records, %2 Bd, \"Very fast\"")
                               .arg(MemoryRecords)
                               .arg(MemoryBaud);
    const QString scan = QStringLiteral("full scan of an empty bus, %1 Bd, \"Fast\"").arg(ScanBaud);
    const QString startUp = QStringLiteral("start-up to the main window (median of %1)").arg(StartUpRuns);
    return {{memory, [=] { return MemoryReadOutRow(place, memory); }},
            {scan, [=] { return EmptyBusScanRow(place, scan); }},
            {startUp, [=] { return StartUpRow(startUp, benchProgram); }}};
}

int RunStartUpProbe(int argc, char **argv)
{
    QApplication application(argc, argv);
    NavixProgram program;
    // The main window is on the screen once it has painted itself the first time.
    class FirstPaint : public QObject
    {
    public:
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                          Qt::QueuedConnection);
            return QObject::eventFilter(watched, event);
        }
    } firstPaint;
    program.Form1.installEventFilter(&firstPaint);
    program.Show();
    application.exec();
    std::printf("%.1f\n", ResidentMegabytes());
    std::fflush(stdout);
    return 0;
}

} // namespace navix
