#pragma once
// The few questions the serial layer asks the operating system directly. Everything else goes through
// QSerialPort; a build for another system replaces serial_platform_posix.cpp only.

#include <QString>
#include <QtGlobal>

namespace navix {

// The user's runtime folder: $XDG_RUNTIME_DIR, or /tmp/runtime-<user> where it is unset (cron, su, a
// service), made for the user alone when it is missing. Found without QStandardPaths, which warns on standard
// error about the unset variable, in front of a script's own line.
QString UserRuntimeFolder();

// The folder in which the system's device nodes come and go as devices are plugged in and out.
QString SerialDeviceFolder();

// The device a port path stands for, with links followed, so that one device reached by two names is still
// one device (QSerialPort locks it by name). Empty when the device does not exist.
QString ResolveSerialDevice(const QString &path);

// Whether this process may open the device for reading and writing at all. QSerialPort reports a device
// locked by another user and a device we have no rights to alike; this tells the two apart.
bool SerialDeviceAccessible(const QString &device);

// Asks the driver of an open device to hand received characters over at once instead of collecting them
// for a while (a USB adapter's driver then sets its latency timer to 1 ms). Returns whether the driver took
// it; many drivers (and pseudo-terminals) have no such mode.
bool RequestLowLatency(qintptr handle);

// Where USB serial adapters show their settings: one folder per device name, holding latency_timer.
extern const char *const UsbSerialDevicesFolder;

// How long the USB adapter behind the device holds received characters before it hands them over, in
// milliseconds, as its latency_timer in the folder of adapters tells; -1 where the device shows none.
int AdapterLatencyMs(const QString &adaptersFolder, const QString &device);
// Whether characters wait unread in the system's input buffer of an open device (handle as QSerialPort gives
// it).
bool SerialInputWaiting(qintptr handle);

// Writes what the device takes at once without waiting (the device is open non-blocking, as QSerialPort opens
// it); returns how many characters it took, 0 when it took none or failed.
qint64 SerialWriteNow(qintptr handle, const char *data, qint64 size);

} // namespace navix
