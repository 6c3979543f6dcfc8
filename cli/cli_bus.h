#pragma once
// The bus of the command-line tool, and how the tool names its ports.

#include "bus/port_directory.h"
#include "search/baud_sweep.h"
#include "search/bus_compare_run.h"
#include "search/module_scan.h"
#include "workspace/bus_session.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <optional>

namespace navix {

// Names a settings file of the utility's kind to take the remembered network ports from, instead of the
// user's own (~/.config/navix/navix-utility.conf).
constexpr const char *SettingsFileVariable = "NAVIX_SETTINGS";

// The ports as the utility's tree numbers them when it starts: the serial ports, then the network ports it
// remembers.
PortDirectory ListPorts();

// A port named on the command line: "COM20" as in the tree (a serial or a network port), or a device path
// such as /dev/ttyUSB0.
struct NamedPort
{
    int comNumber = 0; // 0 for a device that no COM number stands for
    ComPortTarget target;
};
// What a port name on the command line stands for.
struct PortLookup
{
    std::optional<NamedPort> port;
    // Why there is no port: a name that is neither COM<n> nor a device path is a mistyped command line; a
    // COM number that no device stands for any more (an adapter unplugged) is a port that cannot be opened.
    QString problem;
    bool mistyped = false;
};
// The port a name stands for among ports. A device path that does not exist, or a COM number whose registered
// link has lost its device, still stands for that device: opening it then tells the system's reason.
PortLookup ResolvePortName(const QString &name, const PortDirectory &ports);

// One module found by a scan, at the rate it answered at.
struct FoundModule
{
    ModuleRecordPtr record;
    QString caption;
    int baud = 0;
    QByteArray firmware; // empty when the module did not tell it
};

// The bus of the command-line tool: a bus session on the serial port, held by the tool the whole time as a
// tool window holds the bus while shown, so that the search's step machines run on it unchanged.
class CliBus : public QObject, public ToolReplyHandler
{
    Q_OBJECT
public:
    explicit CliBus(QObject *parent = nullptr);
    ~CliBus() override;

    // Opens the port at baud (a network port: connects to its device server); an empty text, or the
    // reason why it could not be opened.
    QString Open(const NamedPort &port, int baud);

    // One exchange: the reply, or an empty text after the time-out (or a wrong checksum).
    QByteArray Ask(const Exchange &exchange);

    // Scans first..last as the search window does, at the port's rate or at every rate of the table.
    // progress is told each address asked.
    QList<FoundModule> Scan(int first, int last, bool allRates,
                            const std::function<void(int address, int found)> &progress = {});
    // Reads the firmware of a found module ("$AAF") at its rate.
    QByteArray ReadFirmware(const FoundModule &module);
    // One poll of the module by its editor's own turn, run headless: its values as the editor shows them.
    // Nothing when no turn polls the module's kind.
    std::optional<ModuleValues> PollOnce(const ModuleRecordPtr &record);
    // Writes a configuration to a found module through its editor's own turn, run headless (the editors'
    // configuration command, address rule and raised time-out), then reads it back: at the new rate and
    // address (00 while in INIT), with the new checksum use. Verified when it holds what was written.
    using ConfigurationWrite = navix::ConfigurationWrite;
    using WrittenConfiguration = navix::WrittenConfiguration;
    WrittenConfiguration WriteAndReadBack(const ModuleRecordPtr &record, const QByteArray &newConfig);

    // The file held against the bus by the compare's step machine: a row per module of the file.
    QList<CompareRow> CompareWithFile(const QList<ModuleRecordPtr> &file);
    // The module that answered for a row of the last compare.
    std::optional<AnsweredModule> Answered(const QByteArray &address) const
    {
        return compareRun.Answered(address);
    }
    // Restores the rows of the last compare one module after the other: the outcome of each.
    QList<std::pair<CompareRow, RestoreOutcome>> Restore(const QList<CompareRow> &rows);

    TransactionEngine &Engine() { return session.Engine(); }
    ModuleRegistry &Modules() { return session.Modules(); }
    int LineBaud() const { return session.LineBaud(); }
    void SetLineBaud(int baud) { session.SetLineBaud(baud); }
    // The reply time-out, and the one the editors' turns restore after raising it.
    void SetTimeOutField(int ms) { session.SetTimeOutField(ms); }

    // ToolReplyHandler
    void HandleToolReply(const QByteArray &reply) override;

private:
    // Runs the event loop until done() holds or the port was lost.
    void WaitFor(const std::function<bool()> &done);
    // Runs the event loop until the compare's step machine has finished; a port lost meanwhile breaks it off.
    void WaitForCompareRun();

    BusSession session;
    ModuleScan scan{session};
    BaudSweep sweep{session, scan};
    BusCompareRun compareRun{session, ToolKind::Search};
    bool scanning = false;
    std::optional<QByteArray> reply; // the reply of the exchange asked with Ask
};

} // namespace navix
