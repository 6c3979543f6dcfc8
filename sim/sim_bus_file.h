#pragma once
// A bus described as text, one module a line:
//
//     # type  configuration  options
//     4013    01200600
//     4013    10200602       tvr
//     4113    00200600       init firmware=B2.0
//     4060    06400640       lose=2 late=30
//
// type is the four-digit type id ("20" for a Tvr 5x), configuration the module's AATTCCFF (address, type or
// range code, baud code, data format with 40 = checksum in use). Options: init, tvr, frozen, firmware=XXXX
// and the faults lose=N, lose=all, lose-every=N, bad-checksum, noise, split, late=MS. A '#' starts a comment.

#include "sim/sim_bus.h"

#include <QByteArray>
#include <QString>

namespace navix {

// Adds the modules a description lists. Returns an empty text on success; otherwise a message that names the
// first bad line by number and text, and nothing is added.
QString LoadBusText(SimBus &bus, const QByteArray &text);
QString LoadBusFile(SimBus &bus, const QString &path);

// The demo bus: one module of every type, a Tvr 5x, a module in INIT at 00 and one that uses checksums.
QByteArray DemoBusText();

} // namespace navix
