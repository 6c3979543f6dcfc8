#pragma once
// The poll turn of the single-value sensor modules 4113 .. 4613 (Navix 755, 756, 742, 743, PKR-2, PKR-1),
// told apart by the type id of the module record. Each sensor has one fixed measuring range.
//
// A turn: the first one reads the firmware, every turn reads the value, then sends a pending configuration
// or calibration.

#include "analog_input_turn.h"

namespace navix {

// A row of the sensor table.
struct SensorType
{
    int index;
    const char *typeId;
    QString caption;
    QString rangeItem;
    QString modelLabel;
    // Empty for the sensors that take no calibration: their buttons stay disabled.
    QString spanText;
    QString offsetText;
};

// The sensor of a type id; nullptr for a type id of no sensor.
const SensorType *FindSensorType(const QByteArray &typeId);

class Turn4x13 : public AnalogInputTurn
{
    Q_OBJECT
public:
    explicit Turn4x13(BusWorkspace &workspace, QObject *parent = nullptr);

    // The sensor by type id, nullptr until a type id of the table is known.
    const SensorType *Sensor() const { return sensor; }
    int SubType() const { return sensor ? sensor->index : 0; }

protected:
    // Model label and range item by type id; an unknown type id changes nothing.
    void NameType(const QByteArray &typeId) override;
    QString StoredRangeItem() const override { return sensor ? sensor->rangeItem : QString(); }

private:
    const SensorType *sensor = nullptr;
};

} // namespace navix
