// navix-sim: serves a simulated Navix module bus on a pseudo-terminal that the utility opens as a COM port.

#include "sim/sim_bus.h"
#include "sim/sim_bus_file.h"
#include "sim/sim_pty.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

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

void PrintError(const QString &message)
{
    std::fprintf(stderr, "navix-sim: %s\n", qPrintable(message));
}

const char *Description =
    "Serves a simulated Navix module bus on a pseudo-terminal, registered as a COM port for the utility.\n"
    "At start it prints one line \"navix-sim: COM<n> -> <device>\" on standard output.\n"
    "\n"
    "Without --bus it serves the demo bus: one module of every type at 01..0D, a Tvr 5x at 10..12, a 4113\n"
    "in INIT (answers at 00) and a 4017 at 14 that uses checksums. A bus file lists one module a line:\n"
    "  <type> <AATTCCFF> [options]      e.g.  4013 10200602 tvr\n"
    "with the options init, tvr, frozen, firmware=XXXX, lose=N, lose=all, lose-every=N, bad-checksum,\n"
    "noise, split, late=MS; '#' starts a comment. --print-demo prints the demo bus in that form.\n"
    "\n"
    "The fault options below act on the whole bus, on top of each module's own.\n"
    "\n"
    "The utility may close the port and open it again as often as it likes (it does so whenever the user\n"
    "changes ports). navix-sim ends on SIGINT or SIGTERM, and once a program has had the port open and it\n"
    "then stays closed for the grace time (--close-grace, one minute by default). It removes its COM link\n"
    "when it ends.";
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("navix-sim");

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    const QCommandLineOption comOption("com", "Register as COM<n> (default: first free from COM20).", "n");
    const QCommandLineOption busOption("bus", "Serve the bus described in <file>.", "file");
    const QCommandLineOption demoOption("print-demo", "Print the demo bus as a bus file and exit.");
    const QCommandLineOption loseOption("lose", "Lose the next <n> replies, or every reply with \"all\".",
                                        "n");
    const QCommandLineOption loseEveryOption("lose-every", "Lose every <n>-th reply.", "n");
    const QCommandLineOption badChecksumOption("bad-checksum",
                                               "Send wrong checksums (modules that use them).");
    const QCommandLineOption noiseOption("noise", "Send line noise in front of every reply.");
    const QCommandLineOption splitOption("split", "Send replies in pieces of two characters.");
    const QCommandLineOption lateOption("late", "Start every reply <ms> milliseconds late.", "ms");
    const QCommandLineOption lineTimingOption(
        "line-timing", "Take the time of a real line: 10 bits per character at the baud.");
    const QCommandLineOption adapterLatencyOption(
        "adapter-latency",
        "Hand replies over as a USB adapter with a latency timer of <ms> does: held until <ms> after their "
        "first character.",
        "ms");
    const QCommandLineOption baudOption("baud", "Baud rate of the line (default 9600).", "rate", "9600");
    const QCommandLineOption seedOption("seed", "Seed of the live values (default 1).", "n", "1");
    const QCommandLineOption frozenOption("frozen", "Keep all live values still.");
    const QCommandLineOption traceOption("trace", "Show every command and reply on standard error.");
    const QCommandLineOption closeGraceOption(
        "close-grace", "Exit when the port, once opened, stays closed for <ms> (default 60000; -1: never).",
        "ms", "60000");
    const QCommandLineOption exitOnCloseOption("exit-on-close", "Exit as soon as the program that opened the "
                                                                "port closes it (a grace time of 0).");
    parser.addOptions({comOption, busOption, demoOption, loseOption, loseEveryOption, badChecksumOption,
                       noiseOption, splitOption, lateOption, lineTimingOption, adapterLatencyOption,
                       baudOption, seedOption, frozenOption, traceOption, closeGraceOption,
                       exitOnCloseOption});
    parser.process(app);

    if (parser.isSet(demoOption)) {
        std::fputs(DemoBusText().constData(), stdout);
        return 0;
    }
    const auto number = [&](const QCommandLineOption &option, int low, int high, int &value) {
        bool ok = false;
        value = parser.value(option).toInt(&ok);
        if (ok && value >= low && value <= high)
            return true;
        PrintError(QStringLiteral("--%1 wants a number from %2 to %3, not \"%4\"")
                       .arg(option.names().first())
                       .arg(low)
                       .arg(high)
                       .arg(parser.value(option)));
        return false;
    };

    int seed = 1;
    int baud = 9600;
    if (!number(seedOption, 0, 1 << 30, seed) || !number(baudOption, 50, 1000000, baud))
        return 2;
    SimBus bus(static_cast<quint32>(seed));
    const QString problem =
        parser.isSet(busOption) ? LoadBusFile(bus, parser.value(busOption)) : LoadBusText(bus, DemoBusText());
    if (!problem.isEmpty()) {
        PrintError(problem);
        return 2;
    }
    // Tvr 5x clocks show the time of day, as set controllers on a real bus would.
    for (SimModule *module : bus.Modules())
        if (module->tvr)
            module->SetClock(QDateTime::currentDateTime(), QDate::currentDate().dayOfWeek(), bus.ElapsedMs());
    bus.SetFrozen(parser.isSet(frozenOption));

    SimFaults &faults = bus.faults;
    if (parser.isSet(loseOption)) {
        if (parser.value(loseOption) == "all")
            faults.loseAllReplies = true;
        else if (!number(loseOption, 0, 1 << 30, faults.loseReplies))
            return 2;
    }
    if (parser.isSet(loseEveryOption) && !number(loseEveryOption, 1, 1 << 30, faults.loseEvery))
        return 2;
    if (parser.isSet(lateOption) && !number(lateOption, 0, 60000, faults.lateReplyMs))
        return 2;
    faults.badChecksum = parser.isSet(badChecksumOption);
    faults.noise = parser.isSet(noiseOption);
    faults.splitReplies = parser.isSet(splitOption);
    bus.Line().baud = baud;
    bus.Line().lineTiming = parser.isSet(lineTimingOption);
    // A program on the other end measures its speed against the line: replies must not come late.
    bus.Line().awakeForReplies = true;
    if (parser.isSet(adapterLatencyOption) &&
        !number(adapterLatencyOption, 0, 255, bus.Line().adapterLatencyMs))
        return 2;

    int com = 0;
    if (parser.isSet(comOption) && !number(comOption, 1, 255, com))
        return 2;
    int closeGraceMs = 0;
    if (!parser.isSet(exitOnCloseOption) && !number(closeGraceOption, -1, 24 * 3600 * 1000, closeGraceMs))
        return 2;
    PtyServer pty;
    QString failure = pty.Open(baud);
    if (failure.isEmpty())
        failure = pty.Register(com);
    if (!failure.isEmpty()) {
        PrintError(failure);
        return 1;
    }

    if (::pipe(signalPipe) != 0) {
        PrintError("cannot create the signal pipe");
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    QObject::connect(&pty, &PtyServer::BytesReceived, &bus, &SimBus::TakeBytes);
    bus.SetReplySink([&pty](const QByteArray &bytes) { pty.Write(bytes); });
    // A port that stays closed means the utility has gone; a quick close and reopen (a change of ports, a
    // reconnect) must not end the bus under it.
    QTimer closeGrace;
    closeGrace.setSingleShot(true);
    QObject::connect(&closeGrace, &QTimer::timeout, &app, [] { QCoreApplication::quit(); });
    if (closeGraceMs >= 0) {
        QObject::connect(&pty, &PtyServer::ClientClosed, &app,
                         [&closeGrace, closeGraceMs] { closeGrace.start(closeGraceMs); });
        QObject::connect(&pty, &PtyServer::ClientOpened, &closeGrace, &QTimer::stop);
    }
    if (parser.isSet(traceOption)) {
        QObject::connect(&pty, &PtyServer::ClientOpened, &app, [] { PrintError("port opened"); });
        QObject::connect(&pty, &PtyServer::ClientClosed, &app, [] { PrintError("port closed"); });
        QObject::connect(&bus, &SimBus::Exchanged, &app, [](const SimExchange &exchange) {
            const QString reply = exchange.lost              ? QStringLiteral("(lost)")
                                  : exchange.reply.isEmpty() ? QStringLiteral("(silence)")
                                                             : Visible(exchange.reply);
            PrintError(QStringLiteral("%1 ms  %2  ->  %3")
                           .arg(exchange.timeMs)
                           .arg(Visible(exchange.command), reply));
        });
    }

    std::printf("navix-sim: COM%d -> %s\n", pty.ComNumber(), qPrintable(pty.SlavePath()));
    std::fflush(stdout);
    const int result = app.exec();
    bus.SetReplySink(nullptr);
    pty.Unregister();
    return result;
}
