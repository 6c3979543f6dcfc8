#pragma once
// The few questions the serial layer asks the operating system directly. Everything else goes through
// QSerialPort; a build for another system replaces serial_platform_posix.cpp only.

#include <QString>
#include <QtGlobal>

// The folder in which the system's device nodes come and go as devices are plugged in and out.
QString SerialDeviceFolder();

// The device a port path stands for, with links followed, so that one device reached by two names is still
// one device (QSerialPort locks it by name). Empty when the device does not exist.
QString ResolveSerialDevice(const QString &path);

// Whether this process may open the device for reading and writing at all. QSerialPort reports a device
// locked by another user and a device we have no rights to alike; this tells the two apart.
bool SerialDeviceAccessible(const QString &device);

// Whether characters wait unread in the system's input buffer of an open device (handle as QSerialPort gives
// it).
bool SerialInputWaiting(qintptr handle);
