#pragma once
// What the commands of navix-cli share: exit codes, failures as a script reads them, and opening the port.

#include "cli_arguments.h"
#include "cli_bus.h"

#include <optional>

namespace navix {

int Code(CliExit exit);
// The model label of the module's type, as the tree shows it.
QString ModelLabel(const ModuleRecord &record);
// A command that failed: the line on standard error, and for a script also a JSON document saying so.
int Failed(const CliRequest &request, CliExit exit, const QString &problem);
int NothingFound(const CliRequest &request, const QString &problem);
// Opens the request's port on bus at the request's rate and time-out, without pacing; the exit code when
// it cannot be opened.
std::optional<int> OpenPort(CliBus &bus, const CliRequest &request);

} // namespace navix
