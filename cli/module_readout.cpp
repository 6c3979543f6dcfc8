#include "module_readout.h"

#include "editors/module_protocol.h"
#include "editors/module_readings.h"

namespace navix {

namespace {
constexpr int TvrStackOffset = 1; // the Tvr 5x answers for its stack input at the next address

struct Query
{
    CliBus &bus;
    const ModuleRecord &record;
    bool answered = true;

    QByteArray Ask(char command, const QByteArray &tail, char start, int length,
                   const QByteArray &address = {})
    {
        const QByteArray reply =
            bus.Ask({.command = command + (address.isEmpty() ? CommandAddress(record) : address) + tail + CR,
                     .checksum = CommandsCarryChecksum(record),
                     .startChar = start,
                     .expectedLength = length});
        answered = answered && !reply.isEmpty();
        return reply;
    }
};

QString Caption(const ModuleRecord &record, int index)
{
    QString caption = record.captions.value(index).trimmed();
    if (caption.endsWith(':'))
        caption.chop(1);
    return caption.trimmed();
}

void ReadTvr(Query &query, Readout &readout)
{
    const int dataFormat = DataFormatOf(query.record.config);
    const int length = InputValueLength(dataFormat) + ValueFrameCharacters;
    const int address = HexToInt(CommandAddress(query.record));
    const QStringList names = {Caption(query.record, 0), "Stack"};
    // At FF the stack address would be past the bus, where the module at the bottom would answer.
    for (int offset = 0; offset <= TvrStackOffset && address + offset <= HighestBusAddress; ++offset) {
        const QByteArray reply = query.Ask('#', {}, '>', length, HexByte(address + offset));
        readout.values.append(
            {names[offset], TvrDegreesText(InputValueText(reply, dataFormat)), DegreesUnit()});
    }
}

void ReadInput(Query &query, Readout &readout)
{
    if (query.record.typeId == TvrTypeId)
        return ReadTvr(query, readout);
    const int dataFormat = DataFormatOf(query.record.config);
    const QByteArray reply = query.Ask('#', {}, '>', InputValueLength(dataFormat) + ValueFrameCharacters);
    readout.values.append({Caption(query.record, 0), FromWire(InputValueText(reply, dataFormat)),
                           InputUnitName(query.record.kind, dataFormat)});
}

void Read4017(Query &query, Readout &readout)
{
    const int mask = ChannelMaskOf(query.Ask('$', "6", '!', MaskReplyLength));
    if (mask < 0) {
        query.answered = false;
        return;
    }
    const QString unit = UnitOfRange(readout.range);
    for (int channel = 0; channel < ChannelCount4017; ++channel) {
        if ((mask >> channel & 1) == 0)
            continue;
        const QByteArray reply = query.Ask('#', QByteArray::number(channel), '>', ChannelReplyLength);
        readout.values.append({Caption(query.record, channel), FromWire(ChannelValueText(reply)), unit});
    }
}

void Read4021(Query &query, Readout &readout)
{
    const QByteArray &config = query.record.config;
    const int dataFormat = DataFormatOf(config);
    const QByteArray reply = query.Ask('$', "8", '!', OutputDataLength(dataFormat) + OutputFrameCharacters);
    const int range = RangeIndexOfCode(query.record.kind, Copy(config, 3, 2));
    readout.values.append({Caption(query.record, 0), FromWire(OutputDataText(reply, dataFormat)),
                           OutputUnit(dataFormat, range)});
}

void ReadDigital(Query &query, Readout &readout)
{
    const QByteArray reply = query.Ask('$', "6", '!', ReplyLength::DigitalState);
    readout.state = DigitalStateText(reply);
    const int state = DigitalStateOf(reply);
    if (state < 0) {
        query.answered = false;
        return;
    }
    for (int channel = 0; channel < ShownChannelCount(query.record.kind); ++channel)
        readout.values.append({Caption(query.record, channel), (state >> channel & 1) ? "on" : "off", {}});
}
} // namespace

Readout ReadModule(CliBus &bus, const ModuleRecord &record)
{
    Readout readout;
    readout.range = RangeText(record);
    Query query{bus, record};
    switch (record.kind) {
    case EditorKind::Type4013:
    case EditorKind::Type4x13:
        ReadInput(query, readout);
        break;
    case EditorKind::Type4017:
        Read4017(query, readout);
        break;
    case EditorKind::Type4021:
        Read4021(query, readout);
        break;
    case EditorKind::Type4050:
    case EditorKind::Type4060:
    case EditorKind::Type4052:
    case EditorKind::Type4152:
        ReadDigital(query, readout);
        break;
    }
    readout.answered = query.answered;
    return readout;
}

} // namespace navix
