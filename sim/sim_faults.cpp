#include "sim_faults.h"

namespace navix {

// Line noise as a disturbed line produces it: odd characters, none of them a start character or a CR, so that
// a receiver that drops what stands in front of the start character loses nothing of the reply.
const QByteArray SimFaults::NoiseText = QByteArray("~\x7f*#", 4);
const QByteArray SimFaults::GarbleText = QByteArray("\xf8\x86\x1e\xe0", 4);

bool SimFaults::TakeLoss()
{
    ++repliesSeen;
    if (loseAllReplies)
        return true;
    if (loseReplies > 0) {
        --loseReplies;
        return true;
    }
    return loseEvery > 0 && repliesSeen % loseEvery == 0;
}

} // namespace navix
