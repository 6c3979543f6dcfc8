#pragma once
// The format byte of the analog input modules (4013, 4x13, 4017): bit 7 is the integration time (0 = 50 ms
// against 60 Hz mains hum, 1 = 60 ms against 50 Hz), bit 6 the checksum use that the common window handles,
// bits 5..2 are zero and bits 1..0 the data format.

#include "bus/text.h"

namespace navix {

struct InputFormat
{
    int integrationTime = 0;
    int dataFormat = 0;

    // From positions 7-8 of a configuration text.
    static InputFormat FromConfig(const QByteArray &config)
    {
        const QByteArray bits = HexToBits(Copy(config, 7, 2));
        return {CharAt(bits, 1) == '1' ? 1 : 0, BitsToInt(Copy(bits, 7, 2))};
    }
    // What the two combo boxes choose; a box whose text is no item (-1) keeps this format's value, so that a
    // code the lists do not hold goes back to the module as it reported it.
    InputFormat Chosen(int integrationIndex, int formatIndex) const
    {
        return {integrationIndex >= 0 ? integrationIndex : integrationTime,
                formatIndex >= 0 ? formatIndex : dataFormat};
    }
    // The byte without the checksum bit.
    int Bits() const { return (integrationTime & 1) << 7 | (dataFormat & 0x03); }
};

} // namespace navix
