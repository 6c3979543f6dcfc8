// navix-bench: how fast the program polls, and what it costs. The engine against the in-process simulated
// bus, then the real path: the serial layer and the whole main window on a pseudo-terminal served by
// navix-sim with a real line's timing, the memory read-out, the full scan of an empty bus and the start-up.
// Each case gives its rate, the bound the line and the program's time-outs and pacing set, the share of it
// reached, the processor time per exchange and the resident memory, in one table. Prints figures only; it
// judges nothing. Run it on a Release build: scripts/bench.

#include "bench_figures.h"
#include "bench_gateway.h"
#include "bench_real_path.h"
#include "name_asker.h"

#include "bus/baud_table.h"
#include "bus/text.h"
#include "search/baud_sweep.h"
#include "sim/memory_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_bus_file.h"
#include "support/test_workspace.h"
#include "workspace/bus_session.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <tuple>

#include <sched.h>

using namespace navix;

namespace {
// "$01M" CR out, "!014017" CR back.
constexpr int NameExchangeCharacters = 5 + 8;
constexpr double BitsPerCharacter = 10.0;

BenchRow InProcessRow(const QString &name, int exchanges, int baud, bool lineTiming)
{
    BusSession session(std::make_unique<MemoryPort>());
    auto &port = static_cast<MemoryPort &>(session.Port());
    TransactionEngine &engine = session.Engine();
    BusRouter &router = session.Router();
    SimBus bus;
    // The module talks at the line's rate, as it must to answer at all.
    bus.AddModule("4017", "0108" + HexByte(CodeOfBaud(baud)) + "00");
    bus.SetFrozen(true);
    port.baud = baud;
    bus.Line().lineTiming = lineTiming;
    bus.Attach(port);
    engine.SetPacingTag(VeryFast);
    engine.SetTimeOutMs(1000);
    NameAsker asker(engine, exchanges);
    router.RegisterTool(ToolKind::Terminal, &asker);
    router.RequestBus(ToolKind::Terminal);

    const double cpuAtStart = ProcessCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] { asker.Start(); });
    asker.loop.exec();

    BenchRow row;
    row.name = name;
    if (asker.failed > 0)
        row.name += QStringLiteral(" (%1 failed)").arg(asker.failed);
    row.exchanges = exchanges;
    row.seconds = clock.nsecsElapsed() / 1e9;
    row.cpuSeconds = ProcessCpuSeconds() - cpuAtStart;
    row.residentMb = ResidentMegabytes();
    if (lineTiming)
        row.boundSeconds = exchanges * NameExchangeCharacters * BitsPerCharacter / baud;
    return row;
}

QByteArray FirstLineWith(const QString &file, const QByteArray &key)
{
    // Files under /proc tell no size: read them whole.
    QFile text(file);
    if (!text.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : text.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(line.indexOf(':') + 1).trimmed();
    return {};
}

// The offscreen platform warns about every window feature it leaves out; nothing else is held back.
void QuietOffscreenWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith("This plugin does not support"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

QByteArray LoadAverage()
{
    QFile load("/proc/loadavg");
    return load.open(QIODevice::ReadOnly) ? load.readAll().trimmed() : QByteArray("?");
}

// The core the benchmark keeps to, -1 when it runs where the system schedules it.
int benchCore = -1;

// Keeps this process, and the navix-sim and clients it starts, to the last core it may use. On a virtual
// machine a process woken on the other core is woken through the hypervisor: every exchange then pays for it
// in the program's writes and in the time its reply takes, a cost of the simulated line (a second process on
// the other core) that a USB adapter does not have. --spread measures with it.
int KeepToOneCore()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return -1;
    int last = -1;
    for (int core = 0; core < CPU_SETSIZE; ++core)
        if (CPU_ISSET(core, &allowed))
            last = core;
    if (last < 0)
        return -1;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(last, &one);
    return sched_setaffinity(0, sizeof one, &one) == 0 ? last : -1;
}

void PrintMachine()
{
#ifdef NDEBUG
    const char *build = "Release";
#else
    const char *build = "Debug (figures are not representative: use scripts/bench)";
#endif
    std::printf("machine: %s, %u cores, %s; Qt %s; %s build\n",
                FirstLineWith("/proc/cpuinfo", "model name").constData(), std::thread::hardware_concurrency(),
                qPrintable(QSysInfo::prettyProductName()), qVersion(), build);
    if (benchCore >= 0)
        std::printf("placement: the program, navix-sim and the blocking client on core %d (--spread: as the "
                    "system schedules)\n",
                    benchCore);
    else
        std::printf("placement: as the system schedules (--spread)\n");
    std::printf("load average at start: %s\n", LoadAverage().constData());
    std::fflush(stdout);
}
// Feeds the search's replies to its scan, as the search window does while it holds the bus.
class ScanFeeder : public ToolReplyHandler
{
public:
    explicit ScanFeeder(ModuleScan &scan) : scan(scan) {}
    void HandleToolReply(const QByteArray &reply) override { scan.ReplyStep(reply); }

private:
    ModuleScan &scan;
};

// Seconds one search of first..last on the demo bus takes, at baud or at every rate; found is the number of
// modules found.
double SearchSeconds(int first, int last, int timeOutMs, int baud, bool allRates, int &found)
{
    TestWorkspace workspace;
    workspace.port.baud = baud;
    SimBus bus;
    LoadBusText(bus, DemoBusText());
    bus.SetFrozen(true);
    bus.Attach(workspace.port);
    workspace.engine.SetPacingTag(VeryFast);
    workspace.engine.SetTimeOutMs(timeOutMs);
    ModuleScan scan(workspace);
    BaudSweep sweep(workspace, scan);
    ScanFeeder feeder(scan);
    workspace.router.RegisterTool(ToolKind::Search, &feeder);
    workspace.router.RequestBus(ToolKind::Search);
    QEventLoop loop;
    QObject::connect(&sweep, &BaudSweep::Finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] { sweep.Start(first, last, allRates); });
    loop.exec();
    found = workspace.modules.Count();
    return clock.nsecsElapsed() / 1e9;
}

// The search over every rate: an empty address costs its two time-outs at each rate, so the whole search
// takes about six times one search at one rate.
void PrintAllRatesSearch()
{
    constexpr int First = 0x00;
    constexpr int Last = 0x1F;
    constexpr int SearchTimeOutMs = 100;
    int foundOne = 0;
    int foundNone = 0;
    int foundAll = 0;
    const double one = SearchSeconds(First, Last, SearchTimeOutMs, 9600, false, foundOne);
    // A rate at which no module of the demo bus talks: every address costs its two time-outs.
    const double none = SearchSeconds(First, Last, SearchTimeOutMs, 1200, false, foundNone);
    const double all = SearchSeconds(First, Last, SearchTimeOutMs, 9600, true, foundAll);
    std::printf(
        "\nsearch 00..1F, time-out %d ms: at 9600 %6.2f s (%d modules), at 1200 %6.2f s (%d modules)\n",
        SearchTimeOutMs, one, foundOne, none, foundNone);
    std::printf(
        "search 00..1F at all %zu rates: %6.2f s (%d modules), %.2f times the search at a rate without "
        "modules\n",
        ModuleBaudRates.size(), all, foundAll, all / none);
}
} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], StartUpProbeOption) == 0)
        return RunStartUpProbe(argc, argv);
    constexpr const char *SpreadOption = "spread";
    if (std::none_of(argv + 1, argv + argc, [&](const char *argument) {
            return QByteArray(argument) == QByteArray("--") + SpreadOption;
        }))
        benchCore = KeepToOneCore();
    // The windows need no screen; the virtual port links go into a runtime folder of the benchmark's own.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir folder;
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));

    qInstallMessageHandler(QuietOffscreenWarnings);
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Polling rate and cost of the program on the simulated bus.");
    parser.addHelpOption();
    const QCommandLineOption secondsOption("seconds", "Seconds each main window case polls (default 5).", "n",
                                           "5");
    const QCommandLineOption exchangesOption(
        "exchanges", "Exchanges of the in-process engine case without a line (default 2000).", "n", "2000");
    const QCommandLineOption noScanOption("no-scan", "Leave out the full scan of an empty bus (77 s).");
    const QCommandLineOption onlyOption("only", "Run only the cases whose name holds <text>.", "text");
    const QCommandLineOption listOption("list", "List the cases and end.");
    const QCommandLineOption spreadOption(
        SpreadOption,
        "Leave the program and navix-sim where the system schedules them, instead of on one core.");
    parser.addOptions({secondsOption, exchangesOption, noScanOption, onlyOption, listOption, spreadOption});
    parser.process(application);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());
    const int exchanges = std::max(10, parser.value(exchangesOption).toInt());

    const BenchPlace place{folder.path()};
    QList<BenchCase> cases;
    for (const auto &[count, baud, lineTiming] : {std::tuple{exchanges, ModuleBaudRates.back(), false},
                                                  {exchanges / 10, 9600, true},
                                                  {exchanges / 2, ModuleBaudRates.back(), true}}) {
        const QString name = lineTiming ? QStringLiteral("engine + in-process simulator, %1 Bd").arg(baud)
                                        : QStringLiteral("engine + in-process simulator, no line");
        // Copies for the lambda: structured bindings cannot be captured by every compiler.
        const int caseExchanges = count;
        const int caseBaud = baud;
        const bool caseLineTiming = lineTiming;
        cases.append({name, [=] { return InProcessRow(name, caseExchanges, caseBaud, caseLineTiming); }});
    }
    cases << SerialLayerCases(place) << MainWindowCases(place, seconds)
          << ToolCases(place, QCoreApplication::applicationFilePath()) << GatewayCases(place, seconds);
    if (parser.isSet(noScanOption))
        cases.removeIf([](const BenchCase &benchCase) { return benchCase.name.startsWith("full scan"); });
    if (parser.isSet(onlyOption))
        cases.removeIf(
            [&](const BenchCase &benchCase) { return !benchCase.name.contains(parser.value(onlyOption)); });
    if (parser.isSet(listOption)) {
        for (const BenchCase &benchCase : cases)
            std::printf("%s\n", qPrintable(benchCase.name));
        return 0;
    }

    PrintMachine();
    QList<BenchRow> rows;
    // Each case is reported on standard error as it ends; the table comes at the end.
    for (const BenchCase &benchCase : cases) {
        rows.append(benchCase.run());
        std::fprintf(stderr, "navix-bench: %s: %.1f/s\n", qPrintable(rows.last().name), rows.last().Rate());
    }
    PrintTable(rows);
    if (!parser.isSet(onlyOption) || QStringLiteral("all rates search").contains(parser.value(onlyOption)))
        PrintAllRatesSearch();
    std::printf("\nload average at the end: %s\n", LoadAverage().constData());
    return 0;
}
