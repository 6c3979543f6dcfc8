#pragma once
// What a test or a benchmark does to a running navix-sim through its standard input, one line a change:
//   inputs AA HH    the digital inputs of the module at AA (4050, 4052, 4152) become HH
//   lose AA all     the module at AA stops answering (it looks pulled off the bus)
//   lose AA none    it answers again
//   power-up        every module in INIT is powered up again without its INIT wire: it answers at its own
//                   address, with the settings it holds
// AA is the module's own address, also for one in INIT.

#include "sim/sim_bus.h"

#include <QByteArray>
#include <QString>

namespace navix {

// Applies one line to the bus; what is wrong with it, empty when it was applied.
QString ApplyControlLine(SimBus &bus, const QByteArray &line);

} // namespace navix
