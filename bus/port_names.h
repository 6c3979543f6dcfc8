#pragma once
// How the program names serial ports. The module tree shows ports as "COM" + number; on Linux each number
// stands for a device:
//  - the simulated bus (navix-sim) registers its pseudo-terminal as a link named COM<n> in the folder
//    navix/ports under the per-user runtime folder ($XDG_RUNTIME_DIR, or /tmp/runtime-<user> where unset);
//    the link takes number n as long as its target exists;
//  - /dev/ttyS<k> is COM<k+1> (a system device already named COM<n>, as on Windows, keeps n);
//  - every other serial device (ttyUSB, ttyACM, ...) takes the lowest free numbers, in name order. So does a
//    ttyS device whose number a registered link has taken: the link was registered on purpose.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace navix {

// The folder in which virtual ports are registered.
QString VirtualPortFolder();

// COM number -> device path, for the ports that exist now.
QMap<int, QString> EnumerateComPorts();

// An entry of the virtual port folder whose target exists.
struct VirtualPortLink
{
    QString path;   // the link itself, <folder>/COM<n>
    QString target; // the device it leads to
};

// The numbering rule above, free of the system: systemDevices are the device paths the system lists, links
// the entries of the virtual port folder. A system device that a link already leads to is listed once, under
// the link's number. Names that fit no rule (a link not named COM<n>, numbers outside 1..65535) are left out.
QMap<int, QString> NumberComPorts(const QStringList &systemDevices, const QList<VirtualPortLink> &links);

} // namespace navix
