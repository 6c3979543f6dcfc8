#pragma once
// The command line of navix-cli: one command and its options, checked before anything touches a port. A bad
// input gives one line saying what is wrong; nothing is guessed.

#include "editors/module_readings.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace navix {

enum class CliCommand { Ports, Scan, Read, Send, Backup, Set, Compare, Restore };

// Exit codes of the tool.
enum class CliExit : int {
    Done = 0,
    NothingFound = 1, // no module found, or the module did not answer
    BadArguments = 2,
    PortFailed = 3 // the port could not be opened
};

struct CliRequest
{
    CliCommand command = CliCommand::Ports;
    QString port;
    bool json = false;
    bool quiet = false;
    int timeOutMs = 100;
    int baud = 9600;       // scan, send, read: the rate to talk at; set: the new rate (when newBaud)
    bool allRates = false; // scan, backup: every rate of the table; read: the default
    int first = 0;
    int last = 255;
    int address = -1;
    std::optional<int> newAddress;
    std::optional<int> newBaud;
    std::optional<bool> checksum;
    std::optional<DataFormat> format;
    bool addChecksum = false; // send: the command gets a checksum and the reply's is checked
    bool raw = false;         // send: the reply exactly as it came, checksum and all
    QString text;             // send
    QString file;             // backup, compare, restore
    QList<int> only;          // restore: the addresses to write, all when empty
    bool yes = false;         // restore: no question before writing
    bool dryRun = false;      // restore: the commands printed, nothing written
};

struct ParsedCommandLine
{
    std::optional<CliRequest> request; // set when the command is to run
    QString output;                    // help text to print (exit 0) when no request
    QString error;                     // one line for stderr (exit 2) when no request
};

ParsedCommandLine ParseCommandLine(const QStringList &arguments);

} // namespace navix
