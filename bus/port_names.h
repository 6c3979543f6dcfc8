#pragma once
// How the program names serial ports. The module tree shows ports as "COM" + number; on Linux each number
// stands for a device:
//  - /dev/ttyS<k> is COM<k+1>;
//  - the simulated bus (navix-sim) registers its pseudo-terminal as a link named COM<n> in the folder
//    navix/ports under the per-user runtime folder ($XDG_RUNTIME_DIR, or /tmp/runtime-<user> where unset);
//  - every other serial device (ttyUSB, ttyACM, ...) takes the lowest free numbers, in name order.

#include <QMap>
#include <QString>

// The folder in which virtual ports are registered.
QString VirtualPortFolder();

// COM number -> device path, for the ports that exist now.
QMap<int, QString> EnumerateComPorts();
