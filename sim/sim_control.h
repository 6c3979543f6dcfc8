#pragma once
// Changes to the simulated modules while the bus runs, one line each (navix-sim --control reads them from
// standard input):
//   inputs AA HH    the digital inputs of the module at AA become the hex value HH (4050, 4052, 4152)
// A test or a benchmark changes an input this way and measures how soon the program shows it.

#include <QByteArray>
#include <QString>

namespace navix {

class SimBus;

// Applies one line to the bus; an empty text, or what is wrong with the line.
QString ApplyControlLine(SimBus &bus, const QByteArray &line);

} // namespace navix
