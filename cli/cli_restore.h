#pragma once
// navix-cli compare and restore: a saved configuration file held against the modules on the bus, and put
// back onto them through the modules' own editor turns, with the editors' rules.

#include "cli_arguments.h"

namespace navix {

// Prints a row per module of the file and what differs; exit 0 when the bus holds the file, 1 otherwise.
int RunCompare(const CliRequest &request);
// Prints the plan, asks (unless --yes) and writes the chosen rows one module after the other, each read
// back; a spare in INIT at 00 becomes a missing module. --dry-run prints the commands instead.
int RunRestore(const CliRequest &request);

} // namespace navix
