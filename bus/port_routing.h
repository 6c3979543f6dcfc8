#pragma once
// How a port object finds what a COM number stands for: the utility's main window and navix-cli both open
// the ports a port directory offers, serial devices and network ports alike, through this one routing.

#include "port_directory.h"
#include "serial_port.h"

#include <QMap>
#include <QString>

#include <functional>

namespace navix {

// Lets port open what directory offers under its number: a network port by its address, a serial port by its
// device. The serial ports are listed anew (listSerialPorts) before each open, because a device may have come
// back since the last look. The directory must outlive the port's use of it.
void RoutePortThroughDirectory(TApdComPort &port, PortDirectory &directory,
                               std::function<QMap<int, QString>()> listSerialPorts);

} // namespace navix
