#include "serial_port.h"

#include "diagnostics.h"

#include "port_names.h"
#include "serial_platform.h"

#include <QPointer>
#include <QScopedValueRollback>
#include <QSerialPort>

#include <algorithm>
#include <cerrno>

namespace navix {

namespace {

QString PortName(quint16 number)
{
    return QStringLiteral("COM%1").arg(number);
}

std::string Message(quint16 number, const QString &text)
{
    return (PortName(number) + QStringLiteral(": ") + text).toStdString();
}

} // namespace

TApdComPort::TApdComPort(QObject *parent)
    : BusPort(parent), serial(new QSerialPort(this)),
      resolver([](int number) { return EnumerateComPorts().value(number); }),
      adaptersFolder(UsbSerialDevicesFolder)
{
    // The layer keeps its own receive buffer; QSerialPort hands over everything it reads at once.
    serial->setReadBufferSize(0);
    connect(serial, &QSerialPort::readyRead, this, &TApdComPort::ReadAvailable);
    connect(serial, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { HandleError(error); });
    connect(&network, &BusPort::TriggerAvail, this, &BusPort::TriggerAvail);
    connect(&network, &NetworkPort::Lost, this, &TApdComPort::DeviceLost);
    connect(&network, &NetworkPort::OpenFailed, this, [this](const QString &reason) {
        emit OpenFailed(QString::fromStdString(Message(comNumber, network.Address().Text() + ": " + reason)));
    });
}

TApdComPort::~TApdComPort()
{
    Close();
}

void TApdComPort::SetComNumber(quint16 number)
{
    if (IsOpen() || IsOpening())
        return;
    comNumber = number;
}

void TApdComPort::SetBaud(int rate)
{
    if (rate <= 0 || rate == baud)
        return;
    if (line)
        line->SetBaud(rate);
    if (serial->isOpen() && !serial->setBaudRate(rate))
        return;
    baud = rate;
}

bool TApdComPort::IsOpen() const
{
    return serial->isOpen() || network.IsOpen() || line;
}

bool TApdComPort::IsNetworkPort() const
{
    if (network.IsOpen() || network.IsOpening())
        return true;
    return comNumber != 0 && networkResolver && networkResolver(comNumber).has_value();
}

void TApdComPort::SetOpen(bool open)
{
    if (!open)
        Close();
    else if (!IsOpen() && !IsOpening())
        Open();
}

QString TApdComPort::DevicePath() const
{
    if (network.IsOpen() || network.IsOpening())
        return network.Address().Text();
    if (line)
        return QString::fromLatin1(InProgramLine);
    if (IsOpen())
        return openDevice;
    if (comNumber == 0)
        return QString();
    if (networkResolver)
        if (const std::optional<NetworkAddress> address = networkResolver(comNumber))
            return address->Text();
    if (!resolver)
        return QString();
    return ResolveSerialDevice(resolver(comNumber));
}

void TApdComPort::SetDeviceResolver(std::function<QString(int)> newResolver)
{
    resolver = std::move(newResolver);
}

void TApdComPort::SetNetworkResolver(std::function<std::optional<NetworkAddress>(int)> newResolver)
{
    networkResolver = std::move(newResolver);
}

void TApdComPort::SetLineResolver(std::function<BusPort *(int)> newResolver)
{
    lineResolver = std::move(newResolver);
}

void TApdComPort::Open()
{
    if (comNumber == 0)
        throw ENoPortSelected("no port selected");
    if (lineResolver)
        if (BusPort *inProgram = lineResolver(comNumber)) {
            line = inProgram;
            lineArrivals = connect(inProgram, &BusPort::TriggerAvail, this, &BusPort::TriggerAvail);
            line->SetBaud(baud);
            return;
        }
    if (networkResolver)
        if (const std::optional<NetworkAddress> address = networkResolver(comNumber)) {
            received.clear();
            network.Open(*address);
            return;
        }
    const QString path = resolver ? resolver(comNumber) : QString();
    if (path.isEmpty())
        throw EBadId(Message(comNumber, QStringLiteral("no such port")));
    const QString device = ResolveSerialDevice(path);
    if (device.isEmpty())
        throw EBadId(Message(comNumber, path + QStringLiteral(": ") + qt_error_string(ENOENT)));

    serial->setPortName(device);
    serial->setBaudRate(baud);
    serial->setDataBits(QSerialPort::Data8);
    serial->setParity(QSerialPort::NoParity);
    serial->setStopBits(QSerialPort::OneStop);
    serial->setFlowControl(QSerialPort::NoFlowControl);
    if (serial->open(QIODevice::ReadWrite)) {
        openDevice = device;
        received.clear();
        RequestLowLatency(serial->handle());
        adapterLatencyMs = navix::AdapterLatencyMs(adaptersFolder, device);
        qCInfo(BusLog) << "COM" << comNumber << "opened:" << device << "at" << baud << "Bd";
        return;
    }

    const QSerialPort::SerialPortError error = serial->error();
    const QString reason = device + QStringLiteral(": ") + serial->errorString();
    serial->clearError();
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        throw EBadId(Message(comNumber, reason));
    case QSerialPort::PermissionError:
        // QSerialPort says PermissionError both for a device that another program (or another port object)
        // holds locked and for one we may not open at all; only the first is "already open".
        if (SerialDeviceAccessible(device))
            throw EAlreadyOpen(Message(comNumber, reason));
        throw EPermissionDenied(Message(comNumber, reason));
    default:
        throw EOpenFailed(Message(comNumber, reason));
    }
}

void TApdComPort::Close()
{
    disconnect(lineArrivals);
    line = nullptr;
    network.Close();
    if (serial->isOpen() && !closing) {
        // Restoring the line settings of a device that has gone away fails and reports an error from inside
        // close(); that error must not start a second close.
        const QScopedValueRollback guard(closing, true);
        serial->close();
        qCInfo(BusLog) << "COM" << comNumber << "closed:" << openDevice;
    }
    openDevice.clear();
    received.clear();
    adapterLatencyMs = -1;
}

void TApdComPort::WriteText(const QByteArray &text)
{
    if (line)
        line->WriteText(text);
    if (network.IsOpen())
        network.WriteText(text);
    if (!serial->isOpen() || text.isEmpty())
        return;
    // The command goes to the device at once: the module's answer can only start once it is on the line,
    // and QSerialPort would hand it over on a later turn of the event loop, after whatever else waits there
    // (a repaint, say), and take one more turn to notice its buffer empty. What the device does not take at
    // once (a full output buffer), and everything behind text QSerialPort still holds, goes its way.
    qint64 written = 0;
    if (serial->bytesToWrite() == 0)
        written = SerialWriteNow(serial->handle(), text.constData(), text.size());
    if (written < text.size()) {
        serial->write(text.constData() + written, text.size() - written);
        serial->flush();
    }
}

char TApdComPort::ReadChar()
{
    if (line)
        return line->ReadChar();
    if (network.IsOpen())
        return network.ReadChar();
    if (received.empty())
        return 0;
    const char character = received.front();
    received.pop_front();
    return character;
}

int TApdComPort::TakeInArrived()
{
    if (line)
        return line->TakeInArrived();
    if (network.IsOpen())
        return network.TakeInArrived();
    if (IsOpen()) {
        const QScopedValueRollback inTake(taking, true);
        // While the event loop is held up, what the device has received waits unread in the system; a read
        // now, without waiting, brings it in as the read notification would have.
        if (SerialInputWaiting(serial->handle()))
            serial->waitForReadyRead(0);
        // QSerialPort also reads while a handler of its notification runs an event loop of its own (a modal
        // message box), but tells nobody until the handler has returned.
        TakeFromDevice();
    }
    return static_cast<int>(std::min<size_t>(received.size(), 65535));
}

bool TApdComPort::TakeFromDevice()
{
    const QByteArray bytes = serial->readAll();
    if (bytes.isEmpty())
        return false;
    received.insert(received.end(), bytes.begin(), bytes.end());
    // The port holds as much as a module line of the bus could fill before anyone reads; older characters
    // give way. The engine keeps no more than that either, so nothing it would still use is lost.
    if (received.size() > static_cast<size_t>(BufferSize))
        received.erase(received.begin(), received.end() - BufferSize);
    if (announcing)
        arrivedWhileAnnouncing = true;
    return true;
}

void TApdComPort::ReadAvailable()
{
    if (!TakeFromDevice() || announcing)
        return;
    if (taking) {
        ScheduleAnnouncement();
        return;
    }
    // Announced at once, from QSerialPort's notification: a reply costs one turn of the event loop, not
    // two. While its handlers run, QSerialPort keeps reading but raises no further notification, so what
    // came in meanwhile is taken and announced from a fresh turn once they have returned.
    const QPointer<TApdComPort> alive(this);
    Announce();
    if (alive && IsOpen() && TakeFromDevice())
        ScheduleAnnouncement();
}

void TApdComPort::ScheduleAnnouncement()
{
    if (announcementQueued)
        return;
    announcementQueued = true;
    QMetaObject::invokeMethod(this, &TApdComPort::Announce, Qt::QueuedConnection);
}

void TApdComPort::Announce()
{
    announcementQueued = false;
    if (received.empty() || !IsOpen())
        return;
    announcing = true;
    arrivedWhileAnnouncing = false;
    const QPointer<TApdComPort> alive(this);
    emit TriggerAvail(static_cast<quint16>(std::min<size_t>(received.size(), 65535)));
    if (!alive)
        return;
    announcing = false;
    // Characters that came in while the handler ran get a notification of their own, once it has returned.
    if (arrivedWhileAnnouncing && !received.empty())
        ScheduleAnnouncement();
}

void TApdComPort::HandleError(int error)
{
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        break;
    default:
        return;
    }
    if (!serial->isOpen() || closing)
        return;
    // A device that has gone away (adapter pulled, far end of a pseudo-terminal closed) keeps reporting
    // itself readable: QSerialPort would raise ReadError on every turn of the event loop and keep a core
    // busy. Close at the first error; the engine then sees a closed port and its exchanges time out.
    const QString reason = openDevice + QStringLiteral(": ") + serial->errorString();
    Close();
    qCInfo(BusLog) << "COM" << comNumber << "lost:" << reason;
    emit DeviceLost(reason);
}

} // namespace navix
