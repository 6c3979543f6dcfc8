// The Tvr 5x controller's own command set ('@'): clock, limits X1..X9, constant, interval and the data
// memory. The program reads most of these replies by length without their CR (receive mode 2); on the line
// they end like every other reply, with the checksum (where used) and the CR.

#include "sim_replies.h"

#include "bus/text.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace navix {

namespace {
// The sensor characteristic of the controller: temperature codes at the breakpoints of its linear pieces.
constexpr double KnotCelsius[] = {-50, -40, 40, 60, 70, 100, 125, 135, 160, 180, 300};
constexpr double KnotCode[] = {0, 8, 68, 83, 91, 113, 131, 138, 156, 171, 255};
constexpr int KnotCount = 11;

double Interpolate(double x, const double *from, const double *to)
{
    if (x <= from[0])
        return to[0];
    for (int i = 1; i < KnotCount; ++i)
        if (x <= from[i])
            return to[i - 1] + (x - from[i - 1]) * (to[i] - to[i - 1]) / (from[i] - from[i - 1]);
    return to[KnotCount - 1];
}

QByteArray TwoDigits(int value)
{
    return QByteArray::number(value % 100).rightJustified(2, '0');
}

QByteArray ClockText(const SimModule &module, qint64 busTimeMs)
{
    const QDateTime now = module.ClockAt(busTimeMs);
    return TwoDigits(now.date().year()) + "/" + TwoDigits(now.date().month()) + "/" +
           TwoDigits(now.date().day()) + " " + QByteArray::number(module.WeekdayAt(busTimeMs) % 10) + " " +
           now.time().toString("hh:mm:ss").toLatin1();
}

// "@AAP" + yymmdd0whhmmss.
bool SetClock(SimModule &module, const QByteArray &digits, qint64 busTimeMs)
{
    if (digits.size() != 14 || !IsDecimalText(digits))
        return false;
    const auto number = [&](int position) { return Copy(digits, position, 2).toInt(); };
    const QDate date(2000 + number(1), number(3), number(5));
    const QTime time(number(9), number(11), number(13));
    if (!date.isValid() || !time.isValid())
        return false;
    module.SetClock(QDateTime(date, time), CharAt(digits, 8) - '0', busTimeMs);
    return true;
}

QByteArray MemoryRecord(const SimModule &module, int address)
{
    QByteArray record;
    for (int i = 0; i < 8; ++i) {
        const qsizetype at = (address + i) % 0x10000;
        record += HexByte(at < module.memory.size() ? static_cast<quint8>(module.memory[at]) : 0xFF);
    }
    return record;
}
} // namespace

int TemperatureCode(double celsius)
{
    return std::clamp(static_cast<int>(std::lround(Interpolate(celsius, KnotCelsius, KnotCode))), 0, 255);
}

double CodeTemperature(int code)
{
    return Interpolate(code, KnotCode, KnotCelsius);
}

namespace {
// The controller's reads: each answers ">" and the value, and takes no argument but the record address.
std::optional<SimReply> RespondTvrRead(const SimModule &module, char letter, const QByteArray &argument,
                                       qint64 busTimeMs)
{
    const bool wordArgument = argument.size() == 4 && IsHexText(argument);
    switch (letter) {
    case 'G':
        if (argument.isEmpty())
            return SimReply{">" + ClockText(module, busTimeMs)};
        break;
    case 'R':
        if (argument.isEmpty()) {
            QByteArray codes;
            for (quint8 limit : module.limits)
                codes += HexByte(limit);
            return SimReply{">" + codes};
        }
        break;
    case 'C':
        if (argument.isEmpty())
            return SimReply{">" + HexByte(module.constant)};
        break;
    case 'I':
        if (argument.isEmpty())
            return SimReply{">" + HexByte(module.interval)};
        break;
    case 'E':
        if (argument.isEmpty())
            return SimReply{">" + HexDigits(module.pointer, 4)};
        break;
    case 'D':
        if (wordArgument)
            return SimReply{">" + MemoryRecord(module, HexToInt(argument))};
        break;
    default:
        break;
    }
    return std::nullopt;
}

// The controller's writes: true when the argument was taken.
bool RespondTvrWrite(SimModule &module, char letter, const QByteArray &argument, qint64 busTimeMs)
{
    const bool byteArgument = argument.size() == 2 && IsHexText(argument);
    const bool wordArgument = argument.size() == 4 && IsHexText(argument);
    switch (letter) {
    case 'P':
        return SetClock(module, argument, busTimeMs);
    case 'T': {
        const int limit = CharAt(argument, 1) - '0';
        const QByteArray code = Copy(argument, 2, 2);
        if (argument.size() != 3 || limit < 1 || limit > 9 || !IsHexText(code))
            return false;
        module.limits[limit - 1] = static_cast<quint8>(HexToInt(code));
        return true;
    }
    case 'K':
        if (byteArgument)
            module.constant = static_cast<quint8>(HexToInt(argument));
        return byteArgument;
    case 'N':
        if (byteArgument)
            module.interval = static_cast<quint8>(HexToInt(argument));
        return byteArgument;
    case 'S':
        if (wordArgument)
            module.pointer = static_cast<quint16>(HexToInt(argument));
        return wordArgument;
    default:
        return false;
    }
}
} // namespace

SimReply RespondTvr(SimModule &module, const QByteArray &body, const QByteArray &addressText,
                    qint64 busTimeMs)
{
    const QByteArray rest = CommandRest(body);
    const char letter = CharAt(rest, 1);
    const QByteArray argument = Copy(rest, 2, rest.size());
    if (const std::optional<SimReply> read = RespondTvrRead(module, letter, argument, busTimeMs))
        return *read;
    if (RespondTvrWrite(module, letter, argument, busTimeMs))
        return {"!" + addressText};
    return UnknownReply(addressText);
}

} // namespace navix
