#include "memory_record.h"

#include "bus/temperature_codes.h"
#include "bus/text.h"

#include <QFile>

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
    cells.append(TemperatureFromCode(Copy(record, 11, 2)));
    cells.append(TemperatureFromCode(Copy(record, 13, 2)));
    QByteArray bits = HexToBits(Copy(record, 15, 2));
    // A partly readable status byte would put its bits in the wrong columns; only a whole one is shown.
    if (bits.size() != StatusBitCount)
        bits.clear();
    // The bits come most significant first; the columns run from bit 0.
    for (int bit = 0; bit < StatusBitCount; ++bit)
        cells.append(FromWire(Copy(bits, StatusBitCount - bit, 1)));
    return cells;
}

QByteArray MemoryExtractLine(const QStringList &cells)
{
    return ToWire(cells.join(' ')) + "\r\n";
}

bool WriteMemoryExtract(const QString &fileName, const QList<QStringList> &rows)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    bool written = true;
    for (const QStringList &cells : rows) {
        const QByteArray line = MemoryExtractLine(cells);
        if (file.write(line) != line.size()) {
            written = false;
            break;
        }
    }
    // A full disk shows only when the buffered lines are flushed.
    written = file.flush() && written;
    file.close();
    return written && file.error() == QFileDevice::NoError;
}
