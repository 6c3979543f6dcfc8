#pragma once
// The program's real path under measurement: the serial layer and the whole main window on a pseudo-terminal
// served by a navix-sim process that takes a real line's time for every character.

#include "bench_figures.h"

#include <QString>

namespace navix {

// Where the cases keep their files (bus files, traces, the virtual port links).
struct BenchPlace
{
    QString folder;
};

// A plain blocking client on the pseudo-terminal (the rig's own ceiling), then the engine on the serial
// layer, asking one module for its name over and over, at 9600 and 38400 Bd (the highest rate of a module), with and without a USB
// adapter's 16 ms latency timer in the way.
QList<BenchCase> SerialLayerCases(const BenchPlace &place);

// The main window polling 1 and 8 editors of mixed kinds at 9600 and 38400 Bd (the highest rate of a module), in "Very fast" and "Fast".
QList<BenchCase> MainWindowCases(const BenchPlace &place, int secondsPerCase);

// The memory utilities window reading 300 records of a Tvr 5x at 38400 Bd (the highest rate of a module), "Very fast"; the search over
// all 256 addresses of a bus with no module, at the program's defaults; and the time from starting the
// program to its main window on the screen with its memory then (benchProgram is this program, run again
// with StartUpProbeOption).
QList<BenchCase> ToolCases(const BenchPlace &place, const QString &benchProgram);
inline constexpr const char *StartUpProbeOption = "--start-up-probe";
// The probe itself: shows the main window, prints its resident memory in megabytes and ends.
int RunStartUpProbe(int argc, char **argv);

} // namespace navix
