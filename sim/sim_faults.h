#pragma once
// Faults of a real bus that the simulated one can show, for one module or for the whole bus. A module's
// faults and the bus's faults add up: a reply is lost when either loses it, late by the larger delay, and so
// on.

#include <QByteArray>

namespace navix {

struct SimFaults
{
    int loseReplies = 0;         // the next n replies are lost (counts down)
    bool loseAllReplies = false; // every reply is lost: the module looks absent
    int loseEvery = 0;           // every n-th reply is lost (0 = never)
    bool badChecksum = false;    // replies of a module that uses checksums carry a wrong one
    bool noise = false;          // characters of line noise arrive in front of every reply
    bool splitReplies = false;   // replies arrive in pieces of two characters, a millisecond apart
    int lateReplyMs = 0;         // replies start this many milliseconds after the command
    // A module addressed at a rate other than its own hears no command; with garble set, the line brings a
    // few characters of garbage instead, as a real line does when both ends disagree about the rate.
    bool garble = false;

    // Decides for one reply whether it is lost, and counts it.
    bool TakeLoss();

    static const QByteArray NoiseText;  // what the noise fault sends; it holds no start character and no CR
    static const QByteArray GarbleText; // what a module at another rate brings; no start character, no CR

private:
    int repliesSeen = 0;
};

} // namespace navix
