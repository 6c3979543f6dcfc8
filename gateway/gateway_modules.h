#pragma once
// The modules of a gateway's bus (loaded from the utility's module file), described as points (aiN, diN,
// doN, ao0) from what their turns read, so that the gateway names and scales them as the editors do.

#include "gateway_points.h"

#include "editors/editor_turn.h"
#include "workspace/module_records.h"

#include <QString>

#include <optional>

namespace navix {

class BusWorkspace;
class Turn4021;

// The kind of the points a module of this kind offers.
PointKind PointKindOf(EditorKind kind);
// "ai", "di", "do" or "ao".
QString PointStem(PointKind kind);

// The module as its turn describes it: one point per channel of its reads.
GatewayModule DescribeModule(const QString &bus, const ModuleRecord &record, const EditorTurn &turn,
                             bool writable);

// The value one step of the 4021's output position stands for, in the unit its configuration sets.
double OutputPositionStep(const Turn4021 &turn);

// The channel a point id of the module stands for; nothing for an id the module does not offer.
std::optional<int> PointChannel(const GatewayModule &module, const QString &pointId);

} // namespace navix
