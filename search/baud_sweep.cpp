#include "baud_sweep.h"

#include "bus/baud_table.h"

namespace navix {

BaudSweep::BaudSweep(BusWorkspace &workspace, ModuleScan &scan, QObject *parent)
    : QObject(parent), workspace(workspace), scan(scan)
{
    connect(&scan, &ModuleScan::Finished, this, &BaudSweep::ScanFinished);
    connect(&scan, &ModuleScan::ModuleAdded, this, &BaudSweep::Found);
}

QString BaudSweep::RateSuffix(int baud)
{
    return QStringLiteral(" @%1").arg(baud);
}

void BaudSweep::Start(int firstAddress, int lastAddress, bool everyRate)
{
    scan.Stop();
    first = firstAddress;
    last = lastAddress;
    allRates = everyRate;
    rateIndex = 0;
    startBaud = workspace.LineBaud();
    lastFoundBaud = 0;
    foundBauds.clear();
    running = true;
    StartRate();
}

void BaudSweep::Stop()
{
    scan.Stop();
    scan.SetCaptionSuffix({});
    // Broken off between rates, the port goes where a finished search would leave it so far.
    if (running && allRates)
        workspace.SetLineBaud(lastFoundBaud ? lastFoundBaud : startBaud);
    running = false;
}

void BaudSweep::StartRate()
{
    if (allRates) {
        const int baud = ModuleBaudRates[rateIndex];
        workspace.SetLineBaud(baud);
        scan.SetCaptionSuffix(RateSuffix(baud));
        emit RateShown(baud);
    }
    scan.Start(first, last);
}

void BaudSweep::Found()
{
    foundBauds.append(workspace.LineBaud());
    if (allRates)
        lastFoundBaud = workspace.LineBaud();
}

void BaudSweep::ScanFinished()
{
    if (!running)
        return;
    if (allRates && ++rateIndex < static_cast<int>(ModuleBaudRates.size())) {
        StartRate();
        return;
    }
    running = false;
    scan.SetCaptionSuffix({});
    if (allRates)
        workspace.SetLineBaud(lastFoundBaud ? lastFoundBaud : startBaud);
    emit Finished();
}

} // namespace navix
