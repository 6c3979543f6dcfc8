#pragma once
// The gateway's buses under measurement, each on a navix-sim process with a real line's timing: how often
// every module is read against the bound of its line, what one dead module costs the others, how soon a
// changed digital input reaches the values the gateway publishes, the processor time per exchange with
// four buses in one process, and the Modbus server: requests a second served to eight clients from the held
// values, and a coil write from its request to its response.

#include "bench_figures.h"
#include "bench_real_path.h"

namespace navix {

QList<BenchCase> GatewayCases(const BenchPlace &place, int secondsPerCase);

} // namespace navix
