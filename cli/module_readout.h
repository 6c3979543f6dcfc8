#pragma once
// One module's live data as its editor shows it: the analog inputs' value with the unit name of its data
// format, the Tvr 5x's two temperatures in degrees, the 4017's enabled channels, the 4021's output and the
// digital modules' channel states under their channel names, with the range the editor shows. The module's
// own editor turn reads it, run headless for one poll: the same queries and the same decoding as the editor.

#include "cli_bus.h"

#include <QList>
#include <QString>

namespace navix {

struct ReadoutValue
{
    QString name;  // the value label or channel name of the record
    QString value; // as the editor shows it, or "on"/"off" for a digital channel
    QString unit;  // empty where the value has none
};

struct Readout
{
    bool answered = false; // every query got its reply
    QString range;         // the range item the editor shows; empty where the type has none
    QByteArray state;      // the digital modules' two state digits
    QList<ReadoutValue> values;
};

Readout ReadModule(CliBus &bus, const ModuleRecordPtr &record);

} // namespace navix
