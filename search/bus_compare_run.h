#pragma once
// The step machine that holds a saved bus against the modules on the line and puts it back: it looks for each
// module of the file (at the file's rate, then at every rate), asks address 00 with reads alone for a module
// in INIT, makes the rows with CompareFile, and restores chosen rows one module after the other, each through
// the module's own editor turn run headless (the editors' configuration command, address rule and raised
// time-out), then reads the module back. It knows no widget: the compare window and navix-cli hold the bus as
// a tool, feed it the replies they receive and show what it reports.

#include "baud_sweep.h"
#include "module_scan.h"

#include "editors/bus_compare.h"
#include "workspace/workspace.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace navix {

class EditorTurn;
class HeadlessPoller;

// The module that answered for a row of the file, at the rate it answered at: what a restore writes to.
struct AnsweredModule
{
    ModuleRecordPtr record; // a record of the run's own, never one of the workspace's tree
    int baud = 0;
};

// The file's modules by address, as a compare goes through them.
QList<ModuleRecordPtr> ModulesByAddress(const ModuleRegistry &file);

// How a configuration write through the module's turn ended, and what the module reported afterwards.
enum class ConfigurationWrite { Written, NotAcknowledged, NoTurn };
struct WrittenConfiguration
{
    ConfigurationWrite outcome = ConfigurationWrite::NotAcknowledged;
    QByteArray readBack; // AATTCCFF as read back, empty when not written or not answered
    bool verified = false;
};

enum class CompareStep {
    Idle,
    Looking,       // a scan of one address at one rate or at every rate
    ZeroName,      // "$00M" at one rate
    ZeroConfig,    // "$002" at that rate
    Lending,       // the module's editor turn writes its configuration in the editors' cycle
    WaitingForBus, // the turn is over; the bus comes back to the tool
    ReadBack       // "$AA2" after the write
};

class BusCompareRun : public QObject
{
    Q_OBJECT
public:
    // tool: the tool that holds the bus for the run; the run lends the bus to the editors' cycle for a write
    // and asks for it back as that tool.
    BusCompareRun(BusWorkspace &workspace, ToolKind tool, QObject *parent = nullptr);
    ~BusCompareRun() override;

    // Holds the file against the bus; the tool must hold the bus. Ends with RowsReady and Finished.
    void Compare(const QList<ModuleRecordPtr> &file);
    // Restores the rows (of the last compare) one after the other: RowRestored for each, then Finished.
    // Rows that a restore cannot write are reported as such and cost no exchange.
    void Restore(const QList<CompareRow> &rows);
    // Writes one configuration to the module through its turn, then reads it back: at the new rate and
    // address (00 while in INIT), with the new checksum use; verified when it holds what was written. Ends
    // with ConfigurationWritten and Finished. The tool must hold the bus.
    void WriteConfiguration(const AnsweredModule &module, const QByteArray &newConfig);
    // Breaks the run off: a reply still to come finds no step; a turn lent the bus ends after its exchange
    // and its record goes; a bus asked for back is given back as soon as it arrives.
    void Cancel();
    // One reply of an exchange the run sent, empty for a time-out or a wrong checksum.
    void ReplyStep(const QByteArray &reply);

    bool Running() const { return running; }
    CompareStep Step() const { return step; }
    const QList<CompareRow> &Rows() const { return rows; }
    std::optional<AnsweredModule> Answered(const QByteArray &address) const;

signals:
    // The run looks for the module at address (two hex digits) now.
    void Looking(const QByteArray &address);
    void RowsReady(const QList<CompareRow> &rows);
    void RowRestored(const QByteArray &address, RestoreOutcome outcome);
    void ConfigurationWritten(const WrittenConfiguration &written);
    void Finished();

private:
    using Found = std::function<void(const std::optional<AnsweredModule> &)>;
    using ZeroAnswer = std::function<void(const std::optional<BusAnswer> &)>;

    void LookFor(int address, int fileBaud, Found then);
    void SweepFinished();
    void AskAtZero(ZeroAnswer then);
    void AskZeroAtNextRate();
    void ZeroReply(const QByteArray &reply);

    void NextLookup();
    void LookupsDone();
    void RowsDone(const std::optional<BusAnswer> &spare);

    void NextRestore();
    void RowDone(RestoreOutcome outcome);
    void Write(const AnsweredModule &module, const QByteArray &config);
    void WriteEnded(const WrittenConfiguration &outcome);
    void TurnEnded();
    void AskForBusBack();
    void BusBack();
    void ReadBackReply(const QByteArray &reply);
    void DropLentRecord();
    // Breaks off what runs and starts a new run.
    void Begin();
    void Stop();

    class ScanWorkspace;

    BusWorkspace &workspace;
    ToolKind tool;
    std::unique_ptr<ScanWorkspace> scanWorkspace;
    std::unique_ptr<ModuleScan> scan;
    std::unique_ptr<BaudSweep> sweep;
    QTimer busTimer; // asks for the bus back every time-out interval until it is granted

    bool running = false;
    CompareStep step = CompareStep::Idle;
    quint64 generation = 0; // a deferred step of a run broken off finds another generation

    // Looking for one module
    int lookAddress = 0;
    bool lookAllRates = false;
    std::optional<AnsweredModule> lookFound;
    Found lookThen;
    // Asking at 00
    QList<int> zeroRates;
    int zeroRateIndex = 0;
    QByteArray zeroName;
    ZeroAnswer zeroThen;

    // The compare
    QList<ModuleRecordPtr> file;
    int fileIndex = 0;
    QHash<QByteArray, std::optional<AnsweredModule>> atAddress;
    QList<CompareRow> rows;
    QHash<QByteArray, AnsweredModule> answered;

    // The restore
    QList<CompareRow> chosen;
    int chosenIndex = 0;
    std::unique_ptr<HeadlessPoller> poller;
    ModuleRecordPtr lent; // the record whose turn writes, in the workspace's records while it does
    std::optional<ConfigurationWrite> written;
    bool restoring = false; // a write ends a row of the restore, else it ends the run
    QByteArray newConfig;
    bool writtenInInit = false;
    QByteArray writtenType;
    bool releaseWhenGranted = false; // broken off while the bus was asked back
};

} // namespace navix
