// Soak run: the whole program (main window, command log and eight editors, one of every kind) polls the
// simulated bus for a given time while the line misbehaves. Every module changes its fault at a steady beat:
// replies go lost, carry wrong checksums, come behind noise, in pieces, or so late that they land in the next
// exchange. The run prints the exchanges, the faults the line showed and the errors the program logged, by
// kind, the CPU time per exchange, and the resident memory and heap in use at start, middle and end. With
// --check it fails when either grows after the warm-up; the test command runs it that way.
// --grow-per-exchange makes the run keep memory on purpose, to see that the check notices.
//
// Run: build/bench/navix-soak [--seconds N] [--check] [--grow-per-exchange BYTES] (--help for the limits)

#include "bench_figures.h"

#include "app/program.h"
#include "bus/text.h"
#include "sim/memory_port.h"
#include "sim/sim_bus.h"
#include "tools/row_list_view.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <malloc.h>

using namespace navix;

namespace {
constexpr int ReplyTimeOutMs = 10;
constexpr int FaultBeatMs = 200;
constexpr int MemorySampleMs = 250;
constexpr int MinimumWarmUpMs = 3000;
constexpr double KiB = BytesPerKilobyte;
constexpr double MiB = BytesPerMegabyte;

// One module of every editor kind; half of them use checksums, so that wrong checksums reach editors too.
struct SoakModule
{
    const char *typeId;
    const char *config;
};
constexpr std::array<SoakModule, 8> Modules = {{{"20", "10200642"}, // Tvr 5x (the 4013 kind), at 10..12
                                                {"4113", "02200600"},
                                                {"4050", "03400640"},
                                                {"4060", "04400600"},
                                                {"4017", "05080640"},
                                                {"4021", "06310600"},
                                                {"4152", "07400640"},
                                                {"4052", "08400600"}}};

enum class LineFault { None = 0, LostReply, BadChecksum, Noise, Split, Late, Count };
constexpr int FaultCount = static_cast<int>(LineFault::Count);
// How the replies that did reach the line looked, by the fault in force; a module that loses every second
// reply sends the others clean.
constexpr std::array<const char *, FaultCount> ReplyLooks = {
    "clean", "clean", "with a bad checksum", "behind noise", "in pieces", "late"};

void Apply(SimModule &module, LineFault fault)
{
    module.loseEvery = fault == LineFault::LostReply ? 2 : 0;
    module.badChecksum = fault == LineFault::BadChecksum;
    module.noise = fault == LineFault::Noise;
    module.splitReplies = fault == LineFault::Split;
    // Half again the time-out: the reply arrives while the next exchange waits for its own.
    module.lateReplyMs = fault == LineFault::Late ? ReplyTimeOutMs * 3 / 2 : 0;
}

// Resident memory is what the system lends the process; heap in use is what the program holds in small blocks
// through malloc and new, to the byte, without the allocator's free lists and page granularity blurring it.
struct MemoryReading
{
    qint64 resident = 0;
    qint64 heap = 0;
};

MemoryReading ReadMemory()
{
    MemoryReading reading;
    reading.resident = ResidentBytes();
    // Small blocks only: the large ones (window back buffers above all) are mapped pages of their own that
    // come and go with every resize, and the resident figure watches them.
    reading.heap = static_cast<qint64>(::mallinfo2().uordblks);
    return reading;
}

// What the program itself reports in its command log: time-outs, wrong checksums and characters dropped
// because they came when no command waited for them (late replies, noise). The log tells its view of new rows
// in batches, so the tally reads the rows themselves: when a command goes out, its row is on top, and below
// it lie the rows the previous exchange left, down to that exchange's own command row.
struct LogTally
{
    explicit LogTally(TransactionEngine &engine) : log(engine.CommandLog())
    {
        QObject::connect(&engine, &TransactionEngine::CommandWritten, &context, [this] { TallyPrevious(); });
    }
    void TallyPrevious()
    {
        for (int row = 1; row < log.Count(); ++row) {
            const QStringList cells = log.Row(row);
            if (cells.value(0) == "Wrong checksum !") {
                ++wrongChecksums;
            } else if (cells.value(0) == TransactionEngine::DroppedRowText) {
                ++droppedInputs;
            } else {
                // A response lands as two cells, text and time, and a third with the round trip.
                timeOuts += cells.value(1) == "Time out !";
                return;
            }
        }
    }
    CommandLogModel &log;
    QObject context;
    long long timeOuts = 0;
    long long wrongChecksums = 0;
    long long droppedInputs = 0;
};

// The command log's list keeps the texts it laid out, up to PlainTextDelegate::KeptTexts of them; as time
// stamps never repeat, the cache grows for the first seconds of polling and then stays at that size. The warm-up lasts until it is full, so that the growth check sees the program's memory
// at its steady size.
bool LogTextsKept(const TForm1 &main)
{
    const auto *view = main.findChild<QTreeView *>(QStringLiteral("ListView1"));
    const auto *delegate = view ? qobject_cast<const PlainTextDelegate *>(view->itemDelegate()) : nullptr;
    return delegate && delegate->KeptTextCount() >= PlainTextDelegate::KeptTexts;
}

// Memory after the warm-up, as a leak shows it: the samples fall into four quarters of the run, each
// represented by its median. A cache that fills once or a window buffer made anew lifts memory in one step
// and then it stays; a leak lifts it quarter after quarter.
struct Quarters
{
    std::array<qint64, 4> medians{};

    explicit Quarters(std::vector<qint64> samples)
    {
        const size_t size = samples.size() / medians.size();
        for (size_t quarter = 0; size > 0 && quarter < medians.size(); ++quarter) {
            const auto begin = samples.begin() + static_cast<std::ptrdiff_t>(quarter * size);
            const auto middle = begin + static_cast<std::ptrdiff_t>(size / 2);
            std::nth_element(begin, middle, begin + static_cast<std::ptrdiff_t>(size));
            medians[quarter] = *middle;
        }
    }
    qint64 Rise(size_t quarter) const { return medians[quarter] - medians[quarter - 1]; }
    qint64 Growth() const { return medians.back() - medians.front(); }
    // Rose by at least a third of limit from every quarter to the next, so by limit over the run.
    bool Grows(qint64 limit) const { return std::min({Rise(1), Rise(2), Rise(3)}) >= limit / 3; }
};

void PrintMemory(const char *name, qint64 start, qint64 middle, qint64 end, const Quarters &quarters,
                 qint64 limit)
{
    std::printf("%-18s start %.2f MiB, middle %.2f MiB, end %.2f MiB; after warm-up %+.1f KiB (%+.1f, %+.1f, "
                "%+.1f by quarter; a leak rises by %.1f each)\n",
                name, start / MiB, middle / MiB, end / MiB, quarters.Growth() / KiB, quarters.Rise(1) / KiB,
                quarters.Rise(2) / KiB, quarters.Rise(3) / KiB, limit / 3 / KiB);
}
} // namespace

int main(int argc, char **argv)
{
    // The windows need no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Eight editors poll a simulated bus with line faults; prints exchanges, "
                                     "errors, CPU time and memory.");
    parser.addHelpOption();
    const QCommandLineOption secondsOption("seconds", "Length of the run (default 60).", "n", "60");
    const QCommandLineOption checkOption("check", "Exit with 1 when memory grows after the warm-up.");
    const QCommandLineOption heapLimitOption("max-heap-growth-kib",
                                             "Heap growth that --check allows (default 32).", "n", "32");
    const QCommandLineOption residentLimitOption(
        "max-resident-growth-kib", "Resident memory growth that --check allows (default 1024).", "n", "1024");
    const QCommandLineOption growOption("grow-per-exchange", "Keep this many bytes more for every exchange.",
                                        "bytes", "0");
    parser.addOptions({secondsOption, checkOption, heapLimitOption, residentLimitOption, growOption});
    parser.process(application);
    const int seconds = std::max(4, parser.value(secondsOption).toInt());
    const auto kibibytes = [&](const QCommandLineOption &option) {
        return static_cast<qint64>(std::max(0, parser.value(option).toInt()) * KiB);
    };
    const qint64 heapLimit = kibibytes(heapLimitOption);
    const qint64 residentLimit = kibibytes(residentLimitOption);
    const int growPerExchange = std::max(0, parser.value(growOption).toInt());
    const int runMs = seconds * 1000;
    // The warm-up lasts a quarter of the run, and until the log's texts are all kept (LogTextsKept) unless
    // that takes longer than two thirds of the run.
    const int shortestWarmUpMs = std::max(MinimumWarmUpMs, runMs / 4);
    const int longestWarmUpMs = std::max(shortestWarmUpMs, runMs * 2 / 3);

    MemoryPort port;
    SimBus bus;
    NavixProgram program;
    TForm1 &main = program.Form1;
    main.SetPortLister([] { return QMap<int, QString>{{1, QStringLiteral("simulated bus")}}; });
    main.Session().OfferLine(1, port);
    main.ComPort().SetComNumber(1);
    main.ComPort().SetOpen(true);
    main.Engine().SetPacingTag(VeryFast);
    main.findChild<QSpinBox *>(QStringLiteral("SpinEdit1"))->setValue(ReplyTimeOutMs); // the time-out field
    bus.Attach(port);
    program.Show();

    std::vector<SimModule *> simulated;
    QStringList captions;
    for (const SoakModule &module : Modules) {
        simulated.push_back(&bus.AddModule(module.typeId, module.config));
        main.Modules().AddModule(module.typeId, module.config, false);
        const QString caption =
            ModuleCaption(Copy(QByteArray(module.config), 1, 2), *FindModuleType(module.typeId), false);
        main.QueueModuleItem(caption);
        captions.append(caption);
    }
    main.FlushModuleItems();
    main.Router().ReleaseBus(); // as the end of a search or of loading a configuration file leaves the bus

    // The fault each module shows now, and what the line did to the replies.
    std::vector<LineFault> faults(simulated.size(), LineFault::None);
    std::array<long long, FaultCount> repliesByLook{};
    long long lostReplies = 0;
    QObject::connect(&bus, &SimBus::Exchanged, [&](const SimExchange &exchange) {
        const int address = HexToInt(Copy(exchange.command, 2, 2));
        for (size_t i = 0; i < simulated.size(); ++i) {
            if (simulated[i]->OffsetAt(address) < 0)
                continue;
            if (exchange.lost)
                ++lostReplies;
            else if (!exchange.reply.isEmpty())
                ++repliesByLook[static_cast<int>(faults[i] == LineFault::LostReply ? LineFault::None
                                                                                   : faults[i])];
        }
        bus.ClearTranscript(); // the transcript would grow for as long as the run lasts
    });
    int beat = 0;
    QTimer faultBeat;
    QObject::connect(&faultBeat, &QTimer::timeout, [&] {
        ++beat;
        for (size_t i = 0; i < simulated.size(); ++i) {
            faults[i] = static_cast<LineFault>((beat + static_cast<int>(i)) % FaultCount);
            Apply(*simulated[i], faults[i]);
        }
    });
    faultBeat.start(FaultBeatMs);

    long long exchanges = 0;
    std::vector<std::unique_ptr<char[]>> kept;
    QObject::connect(&main.Engine(), &TransactionEngine::CommandWritten, [&] {
        ++exchanges;
        port.written.clear(); // the in-memory port keeps every command for tests; the program keeps none
        if (growPerExchange > 0) {
            kept.push_back(std::make_unique<char[]>(growPerExchange));
            std::memset(kept.back().get(), 1, growPerExchange);
        }
    });
    LogTally tally(main.Engine());

    const MemoryReading atStart = ReadMemory();
    for (const QString &caption : captions)
        main.OpenModuleEditor(caption);

    QElapsedTimer clock;
    clock.start();
    MemoryReading atMiddle;
    MemoryReading atEnd;
    std::vector<qint64> residentSamples; // after the warm-up, one every MemorySampleMs
    std::vector<qint64> heapSamples;
    // Room for every sample from the start, so that the samples themselves take no more heap as they come.
    residentSamples.reserve(static_cast<size_t>(runMs / MemorySampleMs + 1));
    heapSamples.reserve(residentSamples.capacity());
    qint64 warmUpMs = -1; // when it ended
    qint64 textsKeptMs = -1;
    long long exchangesAtWarmUp = 0;
    double cpuAtWarmUp = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const qint64 elapsed = clock.elapsed();
        const MemoryReading now = ReadMemory();
        if (textsKeptMs < 0 && LogTextsKept(main))
            textsKeptMs = elapsed;
        if (warmUpMs < 0 &&
            ((elapsed >= shortestWarmUpMs && textsKeptMs >= 0) || elapsed >= longestWarmUpMs)) {
            warmUpMs = elapsed;
            exchangesAtWarmUp = exchanges;
            cpuAtWarmUp = ProcessCpuSeconds();
        }
        if (warmUpMs >= 0) {
            residentSamples.push_back(now.resident);
            heapSamples.push_back(now.heap);
        }
        if (atMiddle.resident == 0 && elapsed >= runMs / 2)
            atMiddle = now;
        if (elapsed >= runMs) {
            atEnd = now;
            sampler.stop();
            // Straight out of the event loop: quit() would first close every window, which frees the editors
            // while the figures are still being taken.
            QCoreApplication::exit(0);
        }
    });
    sampler.start(MemorySampleMs);
    application.exec();
    const double measuredCpu = ProcessCpuSeconds() - cpuAtWarmUp;
    const long long measuredExchanges = std::max(1LL, exchanges - exchangesAtWarmUp);
    const double measuredSeconds = std::max(0.001, (clock.elapsed() - warmUpMs) / 1000.0);
    const Quarters resident(residentSamples);
    const Quarters heap(heapSamples);

    std::printf(
        "navix-soak: %d s, eight editors, faults change every %d ms, time-out %d ms, warm-up %.1f s\n",
        seconds, FaultBeatMs, ReplyTimeOutMs, warmUpMs / 1000.0);
    if (textsKeptMs >= 0)
        std::printf("command log view:  kept its %d laid-out texts after %.1f s\n",
                    PlainTextDelegate::KeptTexts, textsKeptMs / 1000.0);
    else
        std::printf("command log view:  had not laid out %d texts when the warm-up ended\n",
                    PlainTextDelegate::KeptTexts);
    std::printf("exchanges:         %lld (%.0f per second)\n", exchanges,
                exchanges / (clock.elapsed() / 1e3));
    std::printf(
        "command log:       %lld time-outs, %lld wrong checksums, %lld inputs dropped (late or noise)\n",
        tally.timeOuts, tally.wrongChecksums, tally.droppedInputs);
    std::printf("replies sent:      ");
    for (int look = 0; look < FaultCount; ++look)
        if (look != static_cast<int>(LineFault::LostReply))
            std::printf("%lld %s, ", repliesByLook[look], ReplyLooks[look]);
    std::printf("%lld lost\n", lostReplies);
    std::printf("CPU after warm-up: %.1f us per exchange, %.0f %% of one core\n",
                measuredCpu * 1e6 / measuredExchanges, 100.0 * measuredCpu / measuredSeconds);
    PrintMemory("resident memory:", atStart.resident, atMiddle.resident, atEnd.resident, resident,
                residentLimit);
    PrintMemory("heap in use:", atStart.heap, atMiddle.heap, atEnd.heap, heap, heapLimit);
    std::fflush(stdout);
    if (exchanges == 0) {
        std::printf("navix-soak: no exchange took place\n");
        return 1;
    }
    if (parser.isSet(checkOption) && (heap.Grows(heapLimit) || resident.Grows(residentLimit))) {
        std::printf("navix-soak: memory grew after the warm-up\n");
        return 1;
    }
    return 0;
}
