#pragma once
// One command exchange as the transaction engine runs it: the command text, whether the checksum is added,
// how the reply is read and what frames it.

#include <QByteArray>

// How the engine reads the reply to a command.
enum class ReceiveMode : int {
    NoMode = 0,         // nothing sent yet: characters only wait in the buffer
    CheckedFrame = 1,   // start character, fixed length, last character must be the end character
    UncheckedFrame = 2, // start character and fixed length; the last character is not looked at
    RawMode = 3,        // whatever has come, as it comes
    LineMode = 4        // every line up to its CR
};

struct Exchange
{
    QByteArray text;       // the command, ending with its CR
    bool checksum = false; // the checksum goes in front of the CR, and the reply carries one
    ReceiveMode mode = ReceiveMode::NoMode;
    char startChar = ' ';
    char endChar = ' ';
    int length = 0; // the reply's length without checksum, for the frame modes
};
