// The memory record parser, fed arbitrary record texts as a Tvr 5x memory read-out could bring them. Every
// record fills one list row of the same columns; the status bits are shown whole or not at all; the extract
// file holds one line per row.
//
// Input: two address bytes, then the record text.

#include "fuzz_support.h"

#include "bus/text.h"
#include "tools/memory_record.h"

using namespace navix;

namespace {
constexpr int LeadingCells = 5; // address, time, date, unit and stack temperature
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int address = input.Byte() << 8 | input.Byte();
    const QByteArray record = input.Rest();

    const QStringList cells = DecodeMemoryRecord(address, record);
    FuzzCheck(cells.size() == LeadingCells + StatusBitCount, "every record fills the same columns");
    FuzzCheck(cells.at(0) == FromWire(HexDigits(address, 4)), "the first column is the record's address");
    const QStringList bits = cells.mid(LeadingCells);
    const bool shown = bits.at(0).size() == 1;
    for (const QString &bit : bits)
        FuzzCheck(shown ? bit == "0" || bit == "1" : bit.isEmpty(),
                  "status bits are shown whole or not at all");

    const QByteArray extract = MemoryExtract({cells, cells});
    FuzzCheck(extract.endsWith("\r\n") && extract.startsWith(ToWire(cells.join(' ')) + "\r\n"),
              "the extract holds one line per row, each ended by CR LF");
    return 0;
}
