#include "cli_bus.h"

#include "bus/baud_table.h"
#include "bus/network_port_store.h"
#include "bus/port_names.h"
#include "bus/serial_port.h"
#include "editors/headless_poller.h"
#include "editors/module_protocol.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <cerrno>

namespace navix {

namespace {
// A device path that no COM number stands for still opens under this number, which no listing gives out.
constexpr int UnlistedComNumber = PortDirectory::HighestNumber;

// The port layer names the port in front of its reasons ("COM20: ..."); the tool names it already.
QString WithoutPortName(const QString &message)
{
    static const QRegularExpression portName("^COM[0-9]+: ");
    return QString(message).remove(portName);
}
} // namespace

PortDirectory ListPorts()
{
    const QString settingsFile = qEnvironmentVariable(SettingsFileVariable);
    const auto store = settingsFile.isEmpty() ? std::make_unique<NetworkPortStore>()
                                              : std::make_unique<NetworkPortStore>(settingsFile);
    PortDirectory ports;
    ports.Restore(EnumerateComPorts(), store->Load());
    return ports;
}

PortLookup ResolvePortName(const QString &name, const PortDirectory &directory)
{
    const QMap<int, ComPortTarget> ports = directory.Ports();
    static const QRegularExpression comName("^COM([0-9]{1,5})$", QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = comName.match(name); match.hasMatch()) {
        const int number = match.captured(1).toInt();
        if (ports.contains(number))
            return {NamedPort{number, ports.value(number)}, {}, false};
        // A simulator or a link of the user's that was registered under this number, its device gone.
        const QString link = VirtualPortFolder() + QStringLiteral("/COM%1").arg(number);
        if (QFileInfo(link).isSymLink())
            return {NamedPort{number, {link, std::nullopt}}, {}, false};
        return {std::nullopt,
                QStringLiteral("%1: %2 (navix-cli ports lists the ports)").arg(name, qt_error_string(ENOENT)),
                false};
    }
    if (name.startsWith('/')) {
        for (auto entry = ports.cbegin(); entry != ports.cend(); ++entry) {
            const QString &device = entry.value().device;
            if (!entry.value().IsNetwork() &&
                (device == name || QFileInfo(device).canonicalFilePath() == name))
                return {NamedPort{entry.key(), entry.value()}, {}, false};
        }
        return {NamedPort{0, {name, std::nullopt}}, {}, false};
    }
    return {std::nullopt,
            QStringLiteral("unknown port %1: give COM<n> as the tree shows it, or a device path").arg(name),
            true};
}

CliBus::CliBus(QObject *parent) : QObject(parent)
{
    session.Router().RegisterTool(ToolKind::Search, this);
    session.Router().RequestBus(ToolKind::Search);
}

CliBus::~CliBus() = default;

QString CliBus::Open(const NamedPort &named, int baud)
{
    const int number = named.comNumber > 0 ? named.comNumber : UnlistedComNumber;
    TApdComPort &port = *session.ComPort();
    QString failure;
    const auto failed = connect(&port, &TApdComPort::OpenFailed, this,
                                [&failure](const QString &message) { failure = WithoutPortName(message); });
    if (const QString immediate = session.OpenComPort(number, named.target, baud); !immediate.isEmpty())
        failure = immediate;
    // A network port's connection is made in the background; it stands or fails within the port's own bound.
    while (failure.isEmpty() && port.IsOpening())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    disconnect(failed);
    return failure;
}

void CliBus::WaitFor(const std::function<bool()> &done)
{
    while (!done() && session.Port().IsOpen())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

QByteArray CliBus::Ask(const Exchange &exchange)
{
    reply.reset();
    session.Engine().SendCommand(exchange);
    WaitFor([this] { return reply.has_value(); });
    return reply.value_or(QByteArray());
}

void CliBus::HandleToolReply(const QByteArray &delivered)
{
    if (scanning)
        scan.ReplyStep(delivered);
    else if (compareRun.Running())
        compareRun.ReplyStep(delivered);
    else
        reply = delivered;
}

QList<FoundModule> CliBus::Scan(int first, int last, bool allRates,
                                const std::function<void(int, int)> &progress)
{
    session.ClearModules(true);
    QList<FoundModule> found;
    const auto added = connect(&scan, &ModuleScan::ModuleAdded, this,
                               [&](const ModuleRecordPtr &record, const QString &caption) {
                                   found.append({record, caption, session.LineBaud(), {}});
                               });
    const auto shown = connect(&scan, &ModuleScan::AddressShown, this, [&](int address) {
        if (progress)
            progress(address, static_cast<int>(found.size()));
    });
    bool finished = false;
    const auto ended = connect(&sweep, &BaudSweep::Finished, this, [&] { finished = true; });
    scanning = true;
    sweep.Start(first, last, allRates);
    WaitFor([&] { return finished; });
    scanning = false;
    sweep.Stop();
    disconnect(added);
    disconnect(shown);
    disconnect(ended);
    return found;
}

std::optional<ModuleValues> CliBus::PollOnce(const ModuleRecordPtr &record)
{
    // The tool lends the bus to the editors' cycle for the module's turn, and takes it back once the turn
    // that read the values has ended.
    std::optional<ModuleValues> read;
    HeadlessPoller poller(session);
    session.Router().ReleaseBus();
    connect(&poller, &HeadlessPoller::ValuesRead, this, [&read, &record](const ModuleValues &values) {
        if (read)
            return;
        read = values;
        record->editorState = EditorState::CloseAtTurnEnd;
    });
    if (poller.Open(record))
        WaitFor([this] { return session.Router().State() == RouterState::Idle; });
    session.Router().RequestBus(ToolKind::Search);
    return read;
}

void CliBus::WaitForCompareRun()
{
    WaitFor([this] { return !compareRun.Running(); });
    compareRun.Cancel();
}

CliBus::WrittenConfiguration CliBus::WriteAndReadBack(const ModuleRecordPtr &record,
                                                      const QByteArray &newConfig)
{
    WrittenConfiguration written;
    const auto ended = connect(&compareRun, &BusCompareRun::ConfigurationWritten, this,
                               [&written](const WrittenConfiguration &outcome) { written = outcome; });
    compareRun.WriteConfiguration({record, session.LineBaud()}, newConfig);
    WaitForCompareRun();
    disconnect(ended);
    return written;
}

QList<CompareRow> CliBus::CompareWithFile(const QList<ModuleRecordPtr> &file)
{
    compareRun.Compare(file);
    WaitForCompareRun();
    return compareRun.Rows();
}

QList<std::pair<CompareRow, RestoreOutcome>> CliBus::Restore(const QList<CompareRow> &rows)
{
    QList<std::pair<CompareRow, RestoreOutcome>> results;
    const auto restored = connect(&compareRun, &BusCompareRun::RowRestored, this,
                                  [&](const QByteArray &, RestoreOutcome outcome) {
                                      results.append({rows.at(results.size()), outcome});
                                  });
    compareRun.Restore(rows);
    WaitForCompareRun();
    disconnect(restored);
    return results;
}

QByteArray CliBus::ReadFirmware(const FoundModule &module)
{
    const int baud = session.LineBaud();
    session.SetLineBaud(module.baud);
    const QByteArray answer = Ask({.command = "$" + CommandAddress(*module.record) + "F" + CR,
                                   .checksum = CommandsCarryChecksum(*module.record),
                                   .expectedLength = ReplyLength::Firmware});
    session.SetLineBaud(baud);
    return Copy(answer, 4, 4);
}

} // namespace navix
