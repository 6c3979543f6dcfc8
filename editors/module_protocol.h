#pragma once
// The rules of talking to a module that every front end keeps alike: the editors' turns, navix-cli and
// whatever polls without windows. Widget-free.
//  - A module in INIT answers at address 00 and never uses checksums, whatever its configuration says.
//  - A configuration write is "%" + the address it answers at + the new configuration text (address, type
//    code, baud code, format byte); the module acknowledges with "!" + its new address + CR, and takes a
//    while to store it (RaisedTimeOutMs).
//  - The baud rate and the checksum use (what both ends of the line must agree on) change only in INIT.

#include "workspace/module_records.h"

#include <QByteArray>

namespace navix {

// Configuration writes and calibrations wait this long for their acknowledgement.
constexpr int RaisedTimeOutMs = 500;

// The address commands go to: the module's own, "00" in INIT.
QByteArray CommandAddress(int address, bool init);
QByteArray CommandAddress(const ModuleRecord &record);

// Whether commands and replies carry a checksum: as the format byte says, never in INIT.
bool CommandsCarryChecksum(bool checksumOn, bool init);
bool CommandsCarryChecksum(const ModuleRecord &record);
// Whether a configuration text's format byte (positions 7-8) switches checksums on.
bool ChecksumOn(const QByteArray &config);

// The configuration command for a module answering at commandAddress.
QByteArray ConfigurationCommand(const QByteArray &commandAddress, const QByteArray &newConfig);

// Whether going from one configuration text to another changes the line (baud code or checksum use), which
// only a module in INIT takes.
bool ChangesLine(const QByteArray &oldConfig, const QByteArray &newConfig);

} // namespace navix
