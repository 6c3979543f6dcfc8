#pragma once
// A search over an address range at one rate, or at every rate of the module baud table in turn. At each
// rate the port is set as the port panel sets it, the range is scanned with ModuleScan and the captions of
// the modules found carry their rate (" (0A) N720 @19200"). At the end the port stays at the rate where the
// last module was found, or goes back to the rate it had when no module answered at all. It knows no widget:
// the search window and the command-line tool drive it alike.

#include "module_scan.h"

#include "workspace/workspace.h"

#include <QList>
#include <QObject>

namespace navix {

class BaudSweep : public QObject
{
    Q_OBJECT
public:
    BaudSweep(BusWorkspace &workspace, ModuleScan &scan, QObject *parent = nullptr);

    // Starts the scan of first..last; with allRates at each rate of the table, else at the port's rate
    // exactly as a single scan.
    void Start(int first, int last, bool allRates);
    // Breaks the search off; a search over every rate leaves the port as if it had ended here.
    void Stop();

    bool Running() const { return running; }
    bool AllRates() const { return allRates; }
    // The rate being tried (the port's rate for a single scan).
    int CurrentBaud() const { return workspace.LineBaud(); }
    // The rate of the last module found in a search over every rate; 0 while none was found.
    int LastFoundBaud() const { return lastFoundBaud; }
    // The rate each module was found at, in the order found.
    const QList<int> &FoundBauds() const { return foundBauds; }

    static QString RateSuffix(int baud);

signals:
    // A search over every rate moved on to baud.
    void RateShown(int baud);
    // The search is over at every rate it was to try.
    void Finished();

private:
    void StartRate();
    void ScanFinished();
    void Found();

    BusWorkspace &workspace;
    ModuleScan &scan;
    bool running = false;
    bool allRates = false;
    int first = 0;
    int last = 0;
    int rateIndex = 0;
    int startBaud = 0;
    int lastFoundBaud = 0;
    QList<int> foundBauds;
};

} // namespace navix
