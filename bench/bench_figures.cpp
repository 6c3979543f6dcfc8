#include "bench_figures.h"

#include <QFile>
#include <QRegularExpression>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace navix {

namespace {
constexpr double BitsPerCharacter = 10.0;

// navix-sim traces wire bytes readably: CR as <CR>, other control and 8-bit characters as <hh>.
int WireCharacters(const QString &visible)
{
    static const QRegularExpression escaped("<CR>|<[0-9a-f]{2}>");
    int characters = static_cast<int>(visible.size());
    for (auto match = escaped.globalMatch(visible); match.hasNext();)
        characters -= static_cast<int>(match.next().capturedLength()) - 1;
    return characters;
}
} // namespace

double ProcessCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

qint64 ResidentBytes()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> pages = statm.readAll().split(' ');
    return pages.size() > 1 ? pages[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

double ResidentMegabytes()
{
    return ResidentBytes() / BytesPerMegabyte;
}

QList<TracedExchange> ReadTrace(const QString &traceFile)
{
    QList<TracedExchange> exchanges;
    QFile file(traceFile);
    if (!file.open(QIODevice::ReadOnly))
        return exchanges;
    static const QRegularExpression line("^navix-sim: \\d+ ms  (.*)  ->  (.*)$");
    while (!file.atEnd()) {
        const QRegularExpressionMatch match = line.match(QString::fromLatin1(file.readLine()).trimmed());
        if (!match.hasMatch())
            continue;
        const QString reply = match.captured(2);
        const bool silent = reply == "(silence)" || reply == "(lost)";
        exchanges.append({WireCharacters(match.captured(1)), silent ? 0 : WireCharacters(reply)});
    }
    return exchanges;
}

double BoundSeconds(const QList<TracedExchange> &exchanges, const ExchangeTiming &timing)
{
    double seconds = 0;
    for (const TracedExchange &exchange : exchanges) {
        seconds += timing.pacingMs / 1000.0;
        if (exchange.replyCharacters == 0)
            seconds += timing.timeOutMs / 1000.0;
        else
            seconds +=
                (exchange.commandCharacters + exchange.replyCharacters) * BitsPerCharacter / timing.baud;
    }
    return seconds;
}

void PrintTable(const QList<BenchRow> &rows)
{
    std::printf("\n| %-46s | %9s | %8s | %9s | %9s | %8s | %6s | %12s | %6s | %-24s |\n", "case", "exchanges",
                "seconds", "rate /s", "bound /s", "of bound", "CPU %", "CPU us/exch.", "RSS MB", "goal");
    std::printf(
        "|%s|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n", QByteArray(48, '-').constData(), QByteArray(11, '-').constData(),
        QByteArray(10, '-').constData(), QByteArray(11, '-').constData(), QByteArray(11, '-').constData(),
        QByteArray(10, '-').constData(), QByteArray(8, '-').constData(), QByteArray(14, '-').constData(),
        QByteArray(8, '-').constData(), QByteArray(26, '-').constData());
    for (const BenchRow &row : rows) {
        const QByteArray bound = row.boundSeconds > 0 ? QByteArray::number(row.BoundRate(), 'f', 1) : "-";
        const QByteArray share = row.boundSeconds > 0
                                     ? QByteArray::number(100.0 * row.Rate() / row.BoundRate(), 'f', 1) + " %"
                                     : "-";
        const double cpuShare = row.seconds > 0 ? 100.0 * row.cpuSeconds / row.seconds : 0;
        const double cpuPerExchange = row.exchanges > 0 ? 1e6 * row.cpuSeconds / row.exchanges : 0;
        std::printf("| %-46s | %9d | %8.3f | %9.1f | %9s | %8s | %6.1f | %12.1f | %6.1f | %-24s |\n",
                    qPrintable(row.name), row.exchanges, row.seconds, row.Rate(), bound.constData(),
                    share.constData(), cpuShare, cpuPerExchange, row.residentMb, qPrintable(row.goal));
    }
    std::fflush(stdout);
}

} // namespace navix
