// navix-sim: serves a simulated Navix module bus on a pseudo-terminal that the utility opens as a COM port.
// main reads the command line, sets up the bus with its faults and serves it until a signal or the close
// grace ends the program.

#include "sim/sim_bus.h"
#include "sim/sim_bus_file.h"
#include "sim/sim_command_line.h"
#include "sim/sim_control.h"
#include "sim/sim_pty.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace navix;

namespace {
int signalPipe[2] = {-1, -1};

// Exit codes: a port that cannot be served, and a command line or bus file that cannot be used.
constexpr int ServingFailed = 1;
constexpr int BadCommandLine = 2;

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

QString Visible(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '\r')
            text += QStringLiteral("<CR>");
        else if (code < 0x20 || code >= 0x7F)
            text += QStringLiteral("<%1>").arg(code, 2, 16, QLatin1Char('0'));
        else
            text += QLatin1Char(c);
    }
    return text;
}

// Loads the bus file (or the demo bus) and sets the clocks and live values; false after saying what is wrong.
bool SetUpModules(SimBus &bus, const SimCommandLine &line)
{
    const QString problem =
        line.IsSet(line.bus) ? LoadBusFile(bus, line.Value(line.bus)) : LoadBusText(bus, DemoBusText());
    if (!problem.isEmpty()) {
        PrintSimError(problem);
        return false;
    }
    // Tvr 5x clocks show the time of day, as set controllers on a real bus would.
    for (SimModule *module : bus.Modules())
        if (module->tvr)
            module->SetClock(QDateTime::currentDateTime(), QDate::currentDate().dayOfWeek(), bus.ElapsedMs());
    bus.SetFrozen(line.IsSet(line.frozen));
    return true;
}

// The faults of the whole bus and the timing of its line; false after saying what is wrong.
bool SetUpFaults(SimBus &bus, const SimCommandLine &line, int baud)
{
    SimFaults &faults = bus.faults;
    if (line.IsSet(line.lose)) {
        if (line.Value(line.lose) == "all")
            faults.loseAllReplies = true;
        else if (!line.Number(line.lose, 0, 1 << 30, faults.loseReplies))
            return false;
    }
    if (line.IsSet(line.loseEvery) && !line.Number(line.loseEvery, 1, 1 << 30, faults.loseEvery))
        return false;
    if (line.IsSet(line.late) && !line.Number(line.late, 0, 60000, faults.lateReplyMs))
        return false;
    faults.badChecksum = line.IsSet(line.badChecksum);
    faults.noise = line.IsSet(line.noise);
    faults.splitReplies = line.IsSet(line.split);
    faults.garble = line.IsSet(line.garble);
    bus.Line().baud = baud;
    bus.Line().lineTiming = line.IsSet(line.lineTiming);
    // A program on the other end measures its speed against the line: replies must not come late.
    bus.Line().awakeForReplies = true;
    if (line.IsSet(line.adapterLatency) &&
        !line.Number(line.adapterLatency, 0, 255, bus.Line().adapterLatencyMs))
        return false;
    return true;
}

// SIGINT and SIGTERM end the event loop through a pipe, the one thing a signal handler may safely do.
bool QuitOnSignals(QSocketNotifier *&notifier)
{
    if (::pipe(signalPipe) != 0) {
        PrintSimError("cannot create the signal pipe");
        return false;
    }
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    return true;
}

void TraceExchanges(PtyServer &pty, SimBus &bus)
{
    QCoreApplication *app = QCoreApplication::instance();
    QObject::connect(&pty, &PtyServer::ClientOpened, app, [] { PrintSimError("port opened"); });
    QObject::connect(&pty, &PtyServer::ClientClosed, app, [] { PrintSimError("port closed"); });
    QObject::connect(&bus, &SimBus::Exchanged, app, [](const SimExchange &exchange) {
        const QString reply = exchange.lost              ? QStringLiteral("(lost)")
                              : exchange.reply.isEmpty() ? QStringLiteral("(silence)")
                                                         : Visible(exchange.reply);
        PrintSimError(
            QStringLiteral("%1 ms  %2  ->  %3").arg(exchange.timeMs).arg(Visible(exchange.command), reply));
    });
}

// How the bus is served: on which COM number, how long a closed port is waited for, whether it is traced.
struct Serving
{
    int baud = 9600;
    int com = 0;
    int closeGraceMs = 0;
    bool trace = false;
    bool control = false;
};

// Lines on standard input change the modules (--control); a line that cannot be applied is told on
// standard error and changes nothing.
void TakeControlLines(SimBus &bus, QSocketNotifier &notifier)
{
    static QByteArray pending;
    char buffer[256];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
        notifier.setEnabled(false); // standard input ended: no more changes
        return;
    }
    pending.append(buffer, got);
    for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
        const QByteArray line = pending.left(end);
        pending.remove(0, end + 1);
        if (const QString problem = ApplyControlLine(bus, line); !problem.isEmpty())
            PrintSimError(problem);
    }
}

int Serve(QCoreApplication &app, SimBus &bus, const Serving &serving)
{
    PtyServer pty;
    QString failure = pty.Open(serving.baud);
    if (failure.isEmpty())
        failure = pty.Register(serving.com);
    if (!failure.isEmpty()) {
        PrintSimError(failure);
        return ServingFailed;
    }
    QSocketNotifier *signalNotifier = nullptr;
    if (!QuitOnSignals(signalNotifier))
        return ServingFailed;

    // Each module answers only at its own rate: the commands are heard at the rate the program has set on
    // the line when they arrive.
    QObject::connect(&pty, &PtyServer::BytesReceived, &bus, [&pty, &bus](const QByteArray &bytes) {
        if (const int lineBaud = pty.LineBaud(); lineBaud > 0)
            bus.Line().baud = lineBaud;
        bus.TakeBytes(bytes);
    });
    bus.SetReplySink([&pty](const QByteArray &bytes) { pty.Write(bytes); });
    // A port that stays closed means the utility has gone; a quick close and reopen (a change of ports, a
    // reconnect) must not end the bus under it.
    QTimer closeGrace;
    closeGrace.setSingleShot(true);
    QObject::connect(&closeGrace, &QTimer::timeout, &app, [] { QCoreApplication::quit(); });
    if (serving.closeGraceMs >= 0) {
        QObject::connect(&pty, &PtyServer::ClientClosed, &app,
                         [&closeGrace, &serving] { closeGrace.start(serving.closeGraceMs); });
        QObject::connect(&pty, &PtyServer::ClientOpened, &closeGrace, &QTimer::stop);
    }
    if (serving.trace)
        TraceExchanges(pty, bus);
    QSocketNotifier controlNotifier(STDIN_FILENO, QSocketNotifier::Read);
    controlNotifier.setEnabled(serving.control);
    QObject::connect(&controlNotifier, &QSocketNotifier::activated, &bus,
                     [&bus, &controlNotifier] { TakeControlLines(bus, controlNotifier); });

    std::printf("navix-sim: COM%d -> %s\n", pty.ComNumber(), qPrintable(pty.SlavePath()));
    std::fflush(stdout);
    const int result = app.exec();
    bus.SetReplySink(nullptr);
    pty.Unregister();
    return result;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("navix-sim");
    const SimCommandLine line(app);
    if (line.IsSet(line.printDemo)) {
        std::fputs(DemoBusText().constData(), stdout);
        return 0;
    }

    int seed = 1;
    Serving serving;
    if (!line.Number(line.seed, 0, 1 << 30, seed) || !line.Number(line.baud, 50, 1000000, serving.baud))
        return BadCommandLine;
    SimBus bus(static_cast<quint32>(seed));
    if (!SetUpModules(bus, line) || !SetUpFaults(bus, line, serving.baud))
        return BadCommandLine;
    if (line.IsSet(line.com) && !line.Number(line.com, 1, 255, serving.com))
        return BadCommandLine;
    if (!line.IsSet(line.exitOnClose) &&
        !line.Number(line.closeGrace, -1, 24 * 3600 * 1000, serving.closeGraceMs))
        return BadCommandLine;
    serving.trace = line.IsSet(line.trace);
    serving.control = line.IsSet(line.control);
    return Serve(app, bus, serving);
}
