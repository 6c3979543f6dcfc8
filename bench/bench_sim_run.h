#pragma once
// What the benchmark cases on a navix-sim process share: a traced simulator with a real line's timing, the
// measured span of a case, and running the event loop for a while or until something holds.

#include "bench_figures.h"
#include "bench_real_path.h"

#include "bus/baud_table.h"
#include "bus/text.h"
#include "support/sim_process.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace navix {

constexpr int PollCheckMs = 10;

inline void RunFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds or the bound has passed (outside the measured spans only: the check
// wakes the loop every few milliseconds).
inline bool RunUntil(const std::function<bool()> &done, int boundMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(PollCheckMs);
    QTimer::singleShot(boundMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// The bus text with every module set to talk at baud (the baud code of each configuration text), since a
// module answers only at its own rate.
inline QByteArray AtRate(const QByteArray &busText, int baud)
{
    QByteArray text;
    for (QByteArray line : busText.split('\n')) {
        const qsizetype config = line.indexOf(' ') + 1;
        if (config > 0 && !line.startsWith('#') && line.size() >= config + 8)
            line.replace(config + 4, 2, HexByte(CodeOfBaud(baud)));
        text += line + '\n';
    }
    return text.chopped(1);
}

// A navix-sim serving one case's bus with a real line's timing, tracing every exchange into a file.
class SimRun
{
public:
    bool Start(const BenchPlace &place, const QByteArray &busText, int baud, const QStringList &extra = {})
    {
        const QByteArray bus = AtRate(busText, baud);
        static int runs = 0;
        const QString stem = place.folder + "/run" + QString::number(++runs);
        QFile busFile(stem + ".bus");
        if (!busFile.open(QIODevice::WriteOnly) || busFile.write(bus) != bus.size())
            return false;
        busFile.close();
        traceFile = stem + ".trace";
        sim.process.setStandardErrorFile(traceFile);
        const QStringList options =
            QStringList{"--bus",         busFile.fileName(), "--baud", QString::number(baud),
                        "--line-timing", "--frozen",         "--trace"} +
            extra;
        if (sim.Start(place.folder, options))
            return true;
        std::fprintf(stderr, "navix-bench: navix-sim did not start\n");
        return false;
    }
    int ComNumber() const { return sim.comNumber; }
    QString Device() const { return sim.device; }
    // The exchanges traced so far, from the first'th on, count of them (all to the end when count is -1).
    QList<TracedExchange> Exchanges(qsizetype first = 0, qsizetype count = -1) const
    {
        return ReadTrace(traceFile).mid(first, count);
    }
    // A line for navix-sim's standard input (with --control: a change to a module).
    void Tell(const QByteArray &line)
    {
        sim.process.write(line);
        sim.process.waitForBytesWritten(1000);
    }

private:
    SimProcess sim;
    QString traceFile;
};

// The measured span of a case: wall time, processor time and the exchanges written in it.
class Span
{
public:
    explicit Span(int written) : firstExchange(written), cpuAtStart(ProcessCpuSeconds()) { clock.start(); }
    BenchRow End(const QString &name, int written) const
    {
        BenchRow row;
        row.name = name;
        row.exchanges = written - firstExchange;
        row.seconds = clock.nsecsElapsed() / 1e9;
        row.cpuSeconds = ProcessCpuSeconds() - cpuAtStart;
        row.residentMb = ResidentMegabytes();
        return row;
    }
    int FirstExchange() const { return firstExchange; }

private:
    int firstExchange;
    double cpuAtStart;
    QElapsedTimer clock;
};

} // namespace navix
