#pragma once
// One exchange on the bus as a caller hands it to the transaction engine: the command text, whether it
// carries a checksum, how its reply is read and how long that reply is. Callers write it with designated
// initialisers, naming only what differs from the common case of a checked frame that starts with "!" and
// ends in CR:
//
//     engine.SendCommand({.command = "$0AF\r", .expectedLength = ReplyLength::Firmware});

#include "text.h"

#include <QByteArray>

namespace navix {

// How the engine reads the reply of a command.
enum class ReceiveMode : int {
    NoMode = 0,         // nothing is read: characters wait in the buffer
    CheckedFrame = 1,   // start character, fixed length, the last character must be the end character
    UncheckedFrame = 2, // start character and fixed length only
    RawMode = 3,        // whatever arrives, as it arrives
    LineMode = 4        // every line up to its CR
};

// Reply lengths as the modules send them, counting the start character and the CR but never the checksum.
namespace ReplyLength {
constexpr int WriteAcknowledge = 2; // ">" + CR: an output write taken
constexpr int Acknowledge = 4;      // "!" + address + CR: a configuration or calibration taken
constexpr int ModuleName = 8;       // "!" + address + four type digits + CR
constexpr int Firmware = 8;         // "!" + address + four firmware characters + CR
constexpr int DigitalState = 8;     // "!" + six state digits + CR
constexpr int Configuration = 10;   // "!" + the eight characters of the configuration text + CR
constexpr int VariantClock = 20;    // ">" + the Tvr 5x clock "yy/mm/dd w hh:mm:ss", read without its CR
} // namespace ReplyLength

struct Exchange
{
    QByteArray command; // ends in CR; the engine puts the checksum in front of it
    bool checksum = false;
    ReceiveMode receiveMode = ReceiveMode::CheckedFrame;
    char startChar = '!';
    char endChar = CR;
    int expectedLength = 0;
};

} // namespace navix
