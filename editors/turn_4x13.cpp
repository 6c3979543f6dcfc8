#include "turn_4x13.h"

#include <array>

namespace navix {

namespace {
// The degree sign is the byte B0 on the wire and in the captions.
const QString TemperatureRangeItem = QString::fromLatin1("temperature -40/+124\xB0"
                                                         "C");
const QString CurrentSpanText = QStringLiteral("Apply 20mA to the module input !");
const QString CurrentOffsetText = QStringLiteral("Apply 4mA to the module input !");
const QString VoltageSpanText = QStringLiteral("Apply 5V to the module input !");
const QString VoltageOffsetText = QStringLiteral("Please, short out the module input!");
constexpr int SensorRangeCount = 1;

const std::array<SensorType, 6> &SensorTypes()
{
    static const std::array<SensorType, 6> table = {{
        {1, "4113", "Navix 755", TemperatureRangeItem, "N755", {}, {}},
        {2, "4213", "Navix 756", "humidity 0-100%", "N756", {}, {}},
        {3, "4313", "Navix 742", "CO 0-300ppm", "N742", CurrentSpanText, CurrentOffsetText},
        {4, "4413", "Navix 743", "CO2 0-300ppm", "N743", CurrentSpanText, CurrentOffsetText},
        {5, "4513", "Navix PKR-2", "AP 0-110kPa", "PKR-02", VoltageSpanText, VoltageOffsetText},
        {6, "4613", "Navix PKR-1", "DP 0-500Pa", "PKR-01", VoltageSpanText, VoltageOffsetText},
    }};
    return table;
}
} // namespace

const SensorType *FindSensorType(const QByteArray &typeId)
{
    for (const SensorType &type : SensorTypes())
        if (typeId.trimmed() == type.typeId)
            return &type;
    return nullptr;
}

Turn4x13::Turn4x13(BusWorkspace &workspace, QObject *parent)
    : AnalogInputTurn(workspace,
                      {.kind = EditorKind::Type4x13, .modelLabel = QString(), .captions = {"Unit :"}}, 0,
                      parent)
{
}

void Turn4x13::NameType(const QByteArray &typeId)
{
    const SensorType *type = FindSensorType(typeId);
    if (!type)
        return;
    sensor = type;
    SetModelLabel(type->modelLabel);
    // The one item is the stored range when the module reports the sensor's range code.
    SetRangeCount(SensorRangeCount);
}

} // namespace navix
