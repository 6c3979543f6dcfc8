#include "sim_command_line.h"

#include <QCoreApplication>

#include <cstdio>

namespace navix {

namespace {
const char *Description =
    "Serves a simulated Navix module bus on a pseudo-terminal, registered as a COM port for the utility.\n"
    "At start it prints one line \"navix-sim: COM<n> -> <device>\" on standard output.\n"
    "\n"
    "Without --bus it serves the demo bus: one module of every type at 01..0D, a Tvr 5x at 10..12, a 4113\n"
    "in INIT (answers at 00) and a 4017 at 14 that uses checksums; the 4060 at 06 talks at 19200 baud and\n"
    "the 4513 at 0B at 4800, all others at 9600. Every module answers only at its own rate (the baud code\n"
    "of its configuration), at the rate the program sets on its port. A bus file lists one module a line:\n"
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

SimCommandLine::SimCommandLine(const QCoreApplication &app)
    : com("com", "Register as COM<n> (default: first free from COM20).", "n"),
      bus("bus", "Serve the bus described in <file>.", "file"),
      printDemo("print-demo", "Print the demo bus as a bus file and exit."),
      lose("lose", "Lose the next <n> replies, or every reply with \"all\".", "n"),
      loseEvery("lose-every", "Lose every <n>-th reply.", "n"),
      badChecksum("bad-checksum", "Send wrong checksums (modules that use them)."),
      noise("noise", "Send line noise in front of every reply."),
      split("split", "Send replies in pieces of two characters."),
      late("late", "Start every reply <ms> milliseconds late.", "ms"),
      lineTiming("line-timing", "Take the time of a real line: 10 bits per character at the baud."),
      adapterLatency("adapter-latency",
                     "Hand replies over as a USB adapter with a latency timer of <ms> does: held until <ms> "
                     "after their first character.",
                     "ms"),
      baud("baud", "Baud rate of the line until the program sets its own (default 9600).", "rate", "9600"),
      garble("garble", "A module addressed at another rate than its own sends a few characters of garbage."),
      seed("seed", "Seed of the live values (default 1).", "n", "1"),
      frozen("frozen", "Keep all live values still."),
      trace("trace", "Show every command and reply on standard error."),
      closeGrace("close-grace",
                 "Exit when the port, once opened, stays closed for <ms> (default 60000; -1: never).", "ms",
                 "60000"),
      exitOnClose("exit-on-close",
                  "Exit as soon as the program that opened the port closes it (a grace time of 0)."),
      control("control",
              "Read changes to the modules from standard input, one a line: \"inputs AA HH\" sets the "
              "digital inputs of the module at AA to the hex value HH.")
{
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    parser.addOptions({com, bus, printDemo, lose, loseEvery, badChecksum, noise, split, late, lineTiming,
                       adapterLatency, baud, garble, seed, frozen, trace, closeGrace, exitOnClose, control});
    parser.process(app);
}

bool SimCommandLine::Number(const QCommandLineOption &option, int low, int high, int &value) const
{
    bool ok = false;
    value = parser.value(option).toInt(&ok);
    if (ok && value >= low && value <= high)
        return true;
    PrintSimError(QStringLiteral("--%1 wants a number from %2 to %3, not \"%4\"")
                      .arg(option.names().first())
                      .arg(low)
                      .arg(high)
                      .arg(parser.value(option)));
    return false;
}

void PrintSimError(const QString &message)
{
    std::fprintf(stderr, "navix-sim: %s\n", qPrintable(message));
}

} // namespace navix
