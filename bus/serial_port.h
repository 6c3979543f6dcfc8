#pragma once
// The serial port object of the main window (ApdComPort1): the only path to the bus in the program. It opens
// a COM number (mapped to a device as port_names.h tells), with 8 data bits, no parity, 1 stop bit and no
// flow control, and tells the engine about received characters with TriggerAvail on the user-interface
// thread. A COM number may also stand for a network port, a bus line behind a serial device server; the
// port object then carries that line instead, and the engine sees no difference.

#include "bus_port.h"
#include "network_port.h"

#include <QPointer>
#include <QString>

#include <deque>

#include <functional>
#include <optional>
#include <stdexcept>

class QSerialPort;

namespace navix {

// Opening errors. The main window shows a message for the first three; any other reaches the default handler.
class ESerialError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
class EBadId : public ESerialError // no port with that number
{
public:
    using ESerialError::ESerialError;
};
class ENoPortSelected : public ESerialError // port number 0
{
public:
    using ESerialError::ESerialError;
};
class EAlreadyOpen : public ESerialError // the device is in use
{
public:
    using ESerialError::ESerialError;
};
class EOpenFailed : public ESerialError // any other failure to open the device
{
public:
    using ESerialError::ESerialError;
};
class EPermissionDenied : public EOpenFailed // this user may not use the device at all
{
public:
    using EOpenFailed::EOpenFailed;
};

enum class ParityKind { None = 0, Odd, Even, Mark, Space };

class TApdComPort : public BusPort
{
    Q_OBJECT
public:
    static constexpr int BufferSize = 4096;
    // What DevicePath() says of a line inside this program.
    static constexpr const char *InProgramLine = "simulated bus";

    explicit TApdComPort(QObject *parent = nullptr);
    ~TApdComPort() override;

    quint16 ComNumber() const { return comNumber; }
    // Changed only while the port is closed: a new number while open (or connecting) is ignored, because the
    // port may only be switched by closing it first (the main window's ComTimer1 does exactly that).
    void SetComNumber(quint16 number);
    int Baud() const override { return baud; }
    // Takes effect at once, also while the port is open. A rate the device refuses leaves the previous one
    // in force, so Baud() always tells the rate the line runs at. On a network port the rate is kept but
    // has no effect: the device server sets its line's rate.
    void SetBaud(int rate) override;
    quint16 DataBits() const { return 8; }
    quint16 StopBits() const { return 1; }
    ParityKind Parity() const { return ParityKind::None; }
    bool AutoOpen() const { return false; }
    int InSize() const { return BufferSize; }
    int OutSize() const { return BufferSize; }

    bool IsOpen() const override;
    // A network port's connection is being made; it opens, or OpenFailed says why not.
    bool IsOpening() const { return network.IsOpening(); }
    // Whether the COM number stands for a network port.
    bool IsNetworkPort() const;
    // Opens or closes the device; setting the value it already has does nothing, and closing also gives up
    // a connection being made. Opening throws EBadId, ENoPortSelected, EAlreadyOpen or EOpenFailed
    // (EPermissionDenied where this user may not use the device) and leaves the port closed.
    void SetOpen(bool open);
    // The device the COM number stands for now ("" when there is none); while open, the device in use. For
    // a network port, its address.
    QString DevicePath() const;

    // Does nothing while the port is closed.
    void WriteText(const QByteArray &text) override;
    char ReadChar() override;
    int TakeInArrived() override;

    // Maps a COM number to a device path; the default uses EnumerateComPorts(). Tests may replace it.
    void SetDeviceResolver(std::function<QString(int)> resolver);
    // Maps a COM number to the address of a network port; a number it maps is a network port. None by
    // default.
    void SetNetworkResolver(std::function<std::optional<NetworkAddress>(int)> resolver);
    // Maps a COM number to a line inside this program (the simulated bus of the tests, the benchmarks and
    // the soak run); a number it maps opens that line, which must outlive the port's use of it. None by
    // default.
    void SetLineResolver(std::function<BusPort *(int)> resolver);

    // A USB adapter holds received characters until its latency timer runs out (16 ms unless lowered), which
    // caps polling at about 60 exchanges a second whatever the baud rate. Opening asks the driver for its
    // low-latency mode; what the timer reads afterwards, in milliseconds, is kept here (-1: the device shows
    // no timer, or the port is closed). Above LowAdapterLatencyMs the user has to lower it.
    static constexpr int LowAdapterLatencyMs = 1;
    int AdapterLatencyMs() const { return adapterLatencyMs; }
    // The folder where adapters show their settings; tests point it elsewhere.
    void SetAdaptersFolder(const QString &folder) { adaptersFolder = folder; }

signals:
    // The device went away while open (adapter unplugged, far end of a pseudo-terminal closed, network
    // connection ended); the port is closed already.
    void DeviceLost(const QString &reason);
    // A network port's connection could not be made; the port is closed. The text names the port.
    void OpenFailed(const QString &message);

private:
    void Open();
    void Close();
    void ReadAvailable();
    bool TakeFromDevice();
    void ScheduleAnnouncement();
    void Announce();
    void HandleError(int error);

    quint16 comNumber = 0;
    int baud = 9600;
    QSerialPort *serial = nullptr;
    QString openDevice;
    std::deque<char> received; // at most BufferSize characters, the newest
    bool announcementQueued = false;
    bool announcing = false;
    bool arrivedWhileAnnouncing = false;
    bool taking = false; // TakeInArrived is reading: whatever comes in is announced later, not from inside it
    bool closing = false;
    std::function<QString(int)> resolver;
    QString adaptersFolder;
    int adapterLatencyMs = -1;
    std::function<std::optional<NetworkAddress>(int)> networkResolver;
    NetworkPort network;
    std::function<BusPort *(int)> lineResolver;
    QPointer<BusPort> line; // the line inside this program while it is open
    QMetaObject::Connection lineArrivals;
};

} // namespace navix
