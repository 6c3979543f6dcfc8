#include "bus_session.h"

#include "bus/port_routing.h"
#include "bus/serial_port.h"

#include <QRegularExpression>

namespace navix {

BusSession::BusSession(QObject *parent) : BusSession(std::make_unique<TApdComPort>(), parent) {}

BusSession::BusSession(std::unique_ptr<BusPort> busPort, QObject *parent)
    : QObject(parent), port(std::move(busPort))
{
    // The engine takes the port's data notifications itself; nobody else listens to them.
    engine.SetPort(port.get());
    engine.SetTimeOutMs(timeOutFieldMs);
}

BusSession::~BusSession()
{
    engine.SetPort(nullptr);
    if (TApdComPort *serial = ComPort())
        serial->SetOpen(false);
}

TApdComPort *BusSession::ComPort() const
{
    return qobject_cast<TApdComPort *>(port.get());
}

QString BusSession::OpenComPort(int number, const ComPortTarget &target, int baud)
{
    TApdComPort *serial = ComPort();
    if (!serial)
        return QStringLiteral("no serial port in this session");
    QMap<int, QString> serialPorts;
    if (target.IsNetwork())
        directory.AddNetworkPort(*target.address, number);
    else
        serialPorts.insert(number, target.device);
    // The port opens as the utility's port opens: through a directory, here one of this port alone.
    directory.UpdateSerialPorts(serialPorts);
    RoutePortThroughDirectory(*serial, directory, [serialPorts] { return serialPorts; });
    serial->SetComNumber(static_cast<quint16>(number));
    serial->SetBaud(baud);
    try {
        serial->SetOpen(true);
    } catch (const ESerialError &error) {
        // The port layer names the port in front of its reasons; the caller names it already.
        static const QRegularExpression portName("^COM[0-9]+: ");
        return QString::fromLocal8Bit(error.what()).remove(portName);
    }
    return {};
}

void BusSession::OfferLine(int number, BusPort &line)
{
    if (TApdComPort *serial = ComPort())
        serial->SetLineResolver([number, &line](int asked) { return asked == number ? &line : nullptr; });
}

void BusSession::SetTimeOutField(int ms)
{
    timeOutFieldMs = ms;
    engine.SetTimeOutMs(ms);
}

void BusSession::ClearModules(bool keepRouting)
{
    captions.clear();
    pendingCaptions.clear();
    router.ClearModuleRecords(keepRouting);
}

void BusSession::FlushModuleItems()
{
    captions.append(pendingCaptions);
    pendingCaptions.clear();
}

void BusSession::UpdateModuleRecord(const QByteArray &address, const QByteArray &config,
                                    EditorState editorState)
{
    modules.UpdateRecord(address, config, editorState);
}

void BusSession::RelabelModule(const QByteArray &address, const QString &caption)
{
    for (QString &item : captions)
        if (CaptionAddress(item) == address)
            item = RelabeledCaption(item, caption);
}

} // namespace navix
