#pragma once
// cli/ is navix-cli, the command-line tool: a windowless workspace over the serial port (CliBus), its
// commands and the live-data readout, on the same engine, search and configuration file code as the windows.
//
// The commands of navix-cli, each on a bus of its own (CliBus) with the program's engine, search and
// configuration file code. Returns the exit code.

#include "cli_arguments.h"

namespace navix {

int RunCommand(const CliRequest &request);
// Parses the command line and runs the command; help and bad arguments end here too.
int RunCommandLine(const QStringList &arguments);

} // namespace navix
