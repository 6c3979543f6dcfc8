#include "module_readout.h"

#include "editors/module_readings.h"

#include <numeric>

namespace navix {

namespace {
QString Caption(const ModuleRecord &record, int index)
{
    QString caption = record.captions.value(index).trimmed();
    if (caption.endsWith(':'))
        caption.chop(1);
    return caption.trimmed();
}

// The unit the editor shows beside the module's values.
QString UnitOf(const ModuleRecord &record, const QString &range)
{
    const int dataFormat = DataFormatOf(record.config);
    switch (record.kind) {
    case EditorKind::Type4013:
    case EditorKind::Type4x13:
        return record.typeId == TvrTypeId ? DegreesUnit() : InputUnitName(record.kind, dataFormat);
    case EditorKind::Type4017:
        return UnitOfRange(range);
    case EditorKind::Type4021:
        return OutputUnit(dataFormat, RangeIndexOfCode(record.kind, Copy(record.config, 3, 2)));
    default:
        return {};
    }
}

bool IsDigital(EditorKind kind)
{
    return kind == EditorKind::Type4050 || kind == EditorKind::Type4060 || kind == EditorKind::Type4052 ||
           kind == EditorKind::Type4152;
}

// The channels' names as the editor shows them; the Tvr 5x's second value is its stack temperature.
QString NameOf(const ModuleRecord &record, int channel)
{
    return record.typeId == TvrTypeId && channel == 1 ? QStringLiteral("Stack") : Caption(record, channel);
}
} // namespace

Readout ReadModule(CliBus &bus, const ModuleRecordPtr &record)
{
    Readout readout;
    readout.range = RangeText(*record);
    const std::optional<ModuleValues> read = bus.PollOnce(record);
    if (!read)
        return readout;
    readout.answered = read->quality == ValueQuality::Good;
    const QString unit = IsDigital(record->kind) ? QString() : UnitOf(*record, readout.range);
    const int shown = IsDigital(record->kind) ? ShownChannelCount(record->kind) : read->texts.size();
    int state = 0;
    for (int channel = 0; channel < read->texts.size(); ++channel) {
        const QString &text = read->texts.at(channel);
        // The state digits hold every channel, also those the editor does not show.
        if (text == QLatin1String("on"))
            state |= 1 << channel;
        // A 4017 channel that is switched off is not read; a digital state that was not read shows nothing.
        if (channel >= shown ||
            (text.isEmpty() && (record->kind == EditorKind::Type4017 || IsDigital(record->kind))))
            continue;
        readout.values.append({NameOf(*record, channel), text, unit});
    }
    if (IsDigital(record->kind) && readout.answered)
        readout.state = HexByte(state);
    return readout;
}

} // namespace navix
