#include "gateway_modules.h"

#include "config/module_file.h"
#include "editors/turn_4021.h"
#include "workspace/workspace.h"

namespace navix {

double OutputPositionStep(const Turn4021 &turn)
{
    switch (turn.Mode()) {
    case Turn4021::ScrollMode::EngineeringUnits:
        return 0.001;
    case Turn4021::ScrollMode::PercentOfRange:
        return 0.01;
    case Turn4021::ScrollMode::Hexadecimal:
        break;
    }
    return 1;
}

PointKind PointKindOf(EditorKind kind)
{
    switch (kind) {
    case EditorKind::Type4050:
    case EditorKind::Type4060:
        return PointKind::DigitalOutput;
    case EditorKind::Type4052:
    case EditorKind::Type4152:
        return PointKind::DigitalInput;
    case EditorKind::Type4021:
        return PointKind::AnalogOutput;
    case EditorKind::Type4013:
    case EditorKind::Type4x13:
    case EditorKind::Type4017:
        break;
    }
    return PointKind::AnalogInput;
}

QString PointStem(PointKind kind)
{
    switch (kind) {
    case PointKind::DigitalInput:
        return QStringLiteral("di");
    case PointKind::DigitalOutput:
        return QStringLiteral("do");
    case PointKind::AnalogOutput:
        return QStringLiteral("ao");
    case PointKind::AnalogInput:
        break;
    }
    return QStringLiteral("ai");
}

GatewayModule DescribeModule(const QString &bus, const ModuleRecord &record, const EditorTurn &turn,
                             bool writable)
{
    const ModuleValues described = turn.Describe();
    GatewayModule module;
    module.bus = bus;
    module.address = record.Address();
    module.typeId = record.typeId;
    module.model = turn.ModelLabel();
    module.writable = writable;
    const PointKind kind = PointKindOf(record.kind);
    const bool digital = kind == PointKind::DigitalInput || kind == PointKind::DigitalOutput;
    if (described.channels.size() == 1)
        module.name = described.channels.first().name;
    for (qsizetype channel = 0; channel < described.channels.size(); ++channel) {
        GatewayPoint point{.id = PointStem(kind) + QString::number(channel),
                           .kind = kind,
                           .name = described.channels[channel].name,
                           .unit = digital ? QString() : described.unit};
        if (const auto *output = qobject_cast<const Turn4021 *>(&turn)) {
            point.minimum = output->Minimum() * OutputPositionStep(*output);
            point.maximum = output->Maximum() * OutputPositionStep(*output);
        }
        module.points.append(point);
    }
    return module;
}

std::optional<int> PointChannel(const GatewayModule &module, const QString &pointId)
{
    for (qsizetype channel = 0; channel < module.points.size(); ++channel)
        if (module.points[channel].id == pointId)
            return static_cast<int>(channel);
    return std::nullopt;
}

} // namespace navix
