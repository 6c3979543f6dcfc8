#include "sim_module.h"

#include "bus/baud_table.h"

#include "bus/text.h"
#include "sim_replies.h"

#include <QtMath>

#include <algorithm>

namespace navix {

namespace {
// The moment a fresh Tvr 5x clock shows, so that a bus built twice shows the same values.
const QDateTime DefaultClock(QDate(2007, 12, 24), QTime(12, 30, 5));
constexpr int DefaultWeekday = 1; // 24.12.2007 was a Monday
constexpr int MemorySize = 0x10000;
constexpr int PrefilledRecords = 40;

int Bcd(int value)
{
    return (value / 10) * 16 + value % 10;
}
} // namespace

SimKind KindOfType(const QByteArray &typeId)
{
    if (typeId == "4013" || typeId == "20")
        return SimKind::Temperature4013;
    if (typeId == "4113" || typeId == "4213" || typeId == "4313" || typeId == "4413" || typeId == "4513" ||
        typeId == "4613")
        return SimKind::Sensor4x13;
    if (typeId == "4017")
        return SimKind::Input4017;
    if (typeId == "4021")
        return SimKind::Output4021;
    if (typeId == "4050")
        return SimKind::Digital4050;
    if (typeId == "4052")
        return SimKind::Input4052;
    if (typeId == "4060")
        return SimKind::Relay4060;
    if (typeId == "4152")
        return SimKind::Input4152;
    return SimKind::Generic;
}

SimModule::SimModule(const QByteArray &id, const QByteArray &config, quint32 seed)
    : typeId(id == "20" ? QByteArray("4013") : id), kind(KindOfType(id)), tvr(id == "20"),
      randomState(seed * 2654435761u ^ 0x9E3779B9u)
{
    if (randomState == 0)
        randomState = 1;
    // Defaults that make a module usable when the configuration text leaves fields out.
    switch (kind) {
    case SimKind::Temperature4013:
    case SimKind::Sensor4x13:
        typeCode = "20";
        break;
    case SimKind::Input4017:
        typeCode = "08";
        break;
    case SimKind::Output4021:
        typeCode = "30";
        break;
    case SimKind::Generic:
        typeCode = "00";
        break;
    default:
        typeCode = "40";
        break;
    }
    SetConfig(config);
    if (config.size() >= 2 && IsHexText(Copy(config, 1, 2)))
        address = HexToInt(Copy(config, 1, 2));

    const AnalogRange range = RangeOf(*this);
    if (kind == SimKind::Sensor4x13)
        value = range.low + (range.high - range.low) * 0.37;
    for (int channel = 0; channel < 8; ++channel)
        channels[channel] = range.high * (channel + 1) / 10.0;
    outputValue = outputReadback = range.low;
    outputs = 0;
    inputs = kind == SimKind::Digital4050 ? 0x00 : 0xA5;
    limits = {0x02, 0x44, 0x5A, 0x6E, 0x9C, 0x71, 0xC8, 0x4A, 0x58};

    clockSetAt = DefaultClock;
    weekdayAtSet = DefaultWeekday;
    if (kind == SimKind::Temperature4013) {
        // A logging module that has been at work for a while: records every ten minutes up to now.
        memory = QByteArray(MemorySize, '\xff');
        const QDateTime now = clockSetAt;
        for (int record = 0; record < PrefilledRecords; ++record) {
            clockSetAt = now.addSecs(-600 * (PrefilledRecords - record));
            value = 21.5 + 0.1 * record;
            stackValue = 140.0 + (record % 7) * 3.5;
            status = static_cast<quint8>(record % 3 == 0 ? 0x21 : 0x3B);
            LogRecord(0);
        }
        clockSetAt = now;
        value = 21.5;
        stackValue = 142.0;
        status = 0x21;
    }
}

int SimModule::Baud() const
{
    return BaudOfCode(baudCode);
}

QByteArray SimModule::Config() const
{
    return HexByte(address) + typeCode + HexByte(baudCode) + HexByte(format);
}

bool SimModule::SetConfig(const QByteArray &config)
{
    if (config.size() != 8 || !IsHexText(config))
        return false;
    address = HexToInt(Copy(config, 1, 2));
    typeCode = Copy(config, 3, 2);
    baudCode = HexToInt(Copy(config, 5, 2));
    format = HexToInt(Copy(config, 7, 2));
    return true;
}

int SimModule::OffsetAt(int busAddress) const
{
    const int base = initMode ? 0 : address;
    const int offset = busAddress - base;
    return offset >= 0 && offset < AddressSpan() ? offset : -1;
}

SimReply SimModule::Respond(const QByteArray &body, int offset, const QByteArray &addressText,
                            qint64 busTimeMs)
{
    const char command = CharAt(body, 1);
    const QByteArray rest = CommandRest(body);
    if (offset == 0 && command == '$') {
        if (rest == "M")
            return {"!" + addressText + typeId};
        if (rest == "2")
            return {"!" + addressText + Config().mid(2)};
        if (rest == "F")
            return {"!" + addressText + firmware.leftJustified(4, ' ', true)};
    }
    if (offset == 0 && command == '%') {
        // %, old address, new address, type code, baud code, data format.
        if (rest.size() != 8 || !IsHexText(rest))
            return UnknownReply(addressText);
        const QByteArray newTypeCode = Copy(rest, 3, 2);
        const int newBaud = HexToInt(Copy(rest, 5, 2));
        const int newFormat = HexToInt(Copy(rest, 7, 2));
        if (!AcceptsSettings(*this, newTypeCode, newBaud, newFormat))
            return UnknownReply(addressText);
        // Baud rate and checksum use change only while the INIT terminal is wired.
        const bool lineChange = newBaud != baudCode || (newFormat & 0x40) != (format & 0x40);
        if (lineChange && !initMode)
            return UnknownReply(addressText);
        SetConfig(rest);
        return {"!" + Copy(rest, 1, 2)};
    }
    switch (kind) {
    case SimKind::Temperature4013:
        return RespondThermometer(*this, body, offset, addressText, busTimeMs);
    case SimKind::Sensor4x13:
        return RespondSensor(*this, body, addressText);
    case SimKind::Input4017:
        return RespondAnalogInputs(*this, body, addressText);
    case SimKind::Output4021:
        return RespondAnalogOutput(*this, body, addressText);
    case SimKind::Digital4050:
    case SimKind::Input4052:
    case SimKind::Relay4060:
    case SimKind::Input4152:
        return RespondDigital(*this, body, addressText);
    case SimKind::Generic:
        break;
    }
    return command == '@' ? SimReply{} : UnknownReply(addressText);
}

quint32 SimModule::NextRandom()
{
    // xorshift32: small, fast and the same on every platform, so a seed always gives the same bus.
    randomState ^= randomState << 13;
    randomState ^= randomState >> 17;
    randomState ^= randomState << 5;
    return randomState;
}

double SimModule::Noise()
{
    return (NextRandom() % 20001) / 10000.0 - 1.0;
}

void SimModule::Advance(qint64 busTimeMs)
{
    if (frozen)
        return;
    ++step;
    const AnalogRange range = RangeOf(*this);
    const double span = range.high - range.low;
    const auto drift = [&](double current, double low, double high, double amount) {
        const double margin = (high - low) * 0.05;
        return std::clamp(current + amount * Noise(), low + margin, high - margin);
    };
    switch (kind) {
    case SimKind::Temperature4013:
        value = drift(value, range.low, range.high, 0.15);
        if (tvr) {
            stackValue = drift(stackValue, -50.0, 299.0, 0.8);
            // The burner runs in cycles; the fan follows the burner input.
            if (step % 7 == 0)
                status ^= 0x01;
            status = static_cast<quint8>((status & ~0x02) | ((status & 0x01) << 1));
            if (step % 16 == 0)
                LogRecord(busTimeMs);
        }
        break;
    case SimKind::Sensor4x13:
        value = drift(value, range.low, range.high, span * 0.002);
        break;
    case SimKind::Input4017:
        for (double &channel : channels)
            channel = drift(channel, range.low, range.high, span * 0.001);
        break;
    case SimKind::Output4021: {
        // Slew rate codes 1..11 double the speed each step up; code 0 follows at once.
        const int slew = (format >> 2) & 0x0F;
        const double stepSize = slew == 0 ? span : span * std::pow(2.0, slew - 1) / 512.0;
        const double gap = outputValue - outputReadback;
        outputReadback += std::clamp(gap, -stepSize, stepSize);
        break;
    }
    case SimKind::Digital4050:
    case SimKind::Input4052:
    case SimKind::Input4152:
        if (step % 4 == 0)
            inputs ^= static_cast<quint8>(1u << (NextRandom() % 8));
        break;
    case SimKind::Relay4060:
    case SimKind::Generic:
        break;
    }
}

QDateTime SimModule::ClockAt(qint64 busTimeMs) const
{
    return frozen ? clockSetAt : clockSetAt.addMSecs(busTimeMs - clockSetAtMs);
}

int SimModule::WeekdayAt(qint64 busTimeMs) const
{
    const qint64 days = clockSetAt.date().daysTo(ClockAt(busTimeMs).date());
    if (days == 0)
        return weekdayAtSet;
    return static_cast<int>(((weekdayAtSet - 1 + days) % 7 + 7) % 7) + 1;
}

void SimModule::SetClock(const QDateTime &time, int weekday, qint64 busTimeMs)
{
    clockSetAt = time;
    clockSetAtMs = busTimeMs;
    weekdayAtSet = weekday;
}

void SimModule::LogRecord(qint64 busTimeMs)
{
    if (memory.size() < MemorySize)
        memory = QByteArray(MemorySize, '\xff');
    const QDateTime now = ClockAt(busTimeMs);
    const int bytes[8] = {Bcd(now.time().second()),    Bcd(now.time().minute()),
                          Bcd(now.time().hour()),      Bcd(now.date().day()),
                          Bcd(now.date().month()),     TemperatureCode(value),
                          TemperatureCode(stackValue), status};
    for (int i = 0; i < 8; ++i)
        memory[(pointer + i) % MemorySize] = static_cast<char>(bytes[i]);
    pointer = static_cast<quint16>(pointer + 8);
}

} // namespace navix
