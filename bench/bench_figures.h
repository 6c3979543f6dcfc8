#pragma once
// What every benchmark case reports, how its figures are taken (processor time and resident memory of this
// process), and the bound the line and the program's own timing rules set for the exchanges that went over
// it, worked out from navix-sim's trace of them.

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace navix {

struct BenchRow
{
    QString name;
    int exchanges = 0;
    double seconds = 0;
    double boundSeconds = 0; // 0: no bound applies
    double cpuSeconds = 0;
    double residentMb = 0;
    QString goal;

    // A case that could not be measured: its name says why.
    static BenchRow Failed(const QString &name, const QString &why)
    {
        BenchRow row;
        row.name = name + " (" + why + ")";
        return row;
    }

    double Rate() const { return seconds > 0 ? exchanges / seconds : 0; }
    double BoundRate() const { return boundSeconds > 0 ? exchanges / boundSeconds : 0; }
};

// A case of the benchmark: its name and what measures it.
struct BenchCase
{
    QString name;
    std::function<BenchRow()> run;
};

// Prints the rows as one table, a case a line.
void PrintTable(const QList<BenchRow> &rows);

// Processor time (user and system) this process has used, in seconds.
double ProcessCpuSeconds();
constexpr double BytesPerKilobyte = 1024.0;
constexpr double BytesPerMegabyte = 1024.0 * 1024.0;
// Resident memory of this process, in bytes and in megabytes.
qint64 ResidentBytes();
double ResidentMegabytes();

// One exchange as navix-sim traced it: the characters of the command and of the reply (0: silence).
struct TracedExchange
{
    int commandCharacters = 0;
    int replyCharacters = 0;
};

// The exchanges of a navix-sim trace (its standard error with --trace), in order.
QList<TracedExchange> ReadTrace(const QString &traceFile);

// How the program paces and times out its exchanges.
struct ExchangeTiming
{
    int baud = 9600;
    int pacingMs = 0;  // delay before each command ("Very fast": none)
    int timeOutMs = 0; // what a silent exchange costs after its command was written
};

// The shortest time the exchanges could take: each its pacing delay, then the line time of command and
// reply, or, for silence, the time-out.
double BoundSeconds(const QList<TracedExchange> &exchanges, const ExchangeTiming &timing);

} // namespace navix
