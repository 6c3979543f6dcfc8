#include "memory_record.h"

#include "bus/temperature_codes.h"
#include "bus/text.h"

namespace navix {

namespace {
QString Digits(const QByteArray &record, int first)
{
    return FromWire(Copy(record, first, 2));
}
} // namespace

QStringList DecodeMemoryRecord(int address, const QByteArray &record)
{
    QStringList cells;
    cells.append(FromWire(HexDigits(address, 4)));
    // The controller keeps its clock as seconds, minutes, hours, day, month.
    cells.append(Digits(record, 5) + ':' + Digits(record, 3) + ':' + Digits(record, 1));
    cells.append(Digits(record, 7) + '.' + Digits(record, 9));
    // The extracts show the temperatures as a 6-byte real holds them, as the files kept so far do.
    cells.append(TemperatureFromCode(Copy(record, 11, 2), TemperatureHolding::SixByteReal));
    cells.append(TemperatureFromCode(Copy(record, 13, 2), TemperatureHolding::SixByteReal));
    QByteArray bits = HexToBits(Copy(record, 15, 2));
    // A partly readable status byte would put its bits in the wrong columns; only a whole one is shown.
    if (bits.size() != StatusBitCount)
        bits.clear();
    // The bits come most significant first; the columns run from bit 0.
    for (int bit = 0; bit < StatusBitCount; ++bit)
        cells.append(FromWire(Copy(bits, StatusBitCount - bit, 1)));
    return cells;
}

QByteArray MemoryExtract(const QList<QStringList> &rows)
{
    QByteArray text;
    for (const QStringList &cells : rows)
        text += ToWire(cells.join(' ')) + "\r\n";
    return text;
}

} // namespace navix
