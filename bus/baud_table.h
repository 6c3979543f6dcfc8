#pragma once
// The baud rates a Navix module can be set to, and the baud code of its configuration text (positions 5-6)
// that stands for each: code 03 is 1200 baud, every further code doubles the rate, up to 08 for 38400.

#include <array>

namespace navix {

constexpr std::array<int, 6> ModuleBaudRates{1200, 2400, 4800, 9600, 19200, 38400};
constexpr int FirstBaudCode = 3;
constexpr int DefaultBaud = 9600;

// The rate of a baud code, 0 for a code outside the table.
constexpr int BaudOfCode(int code)
{
    const int index = code - FirstBaudCode;
    return index >= 0 && index < static_cast<int>(ModuleBaudRates.size()) ? ModuleBaudRates[index] : 0;
}

// The baud code of a rate, -1 for a rate outside the table.
constexpr int CodeOfBaud(int baud)
{
    for (int index = 0; index < static_cast<int>(ModuleBaudRates.size()); ++index)
        if (ModuleBaudRates[index] == baud)
            return index + FirstBaudCode;
    return -1;
}

// The bit of the data format byte (positions 7-8 of the configuration text) that switches checksums on: with
// the baud code, what both ends of the line must agree on.
constexpr int ChecksumFormatBit = 0x40;

} // namespace navix
