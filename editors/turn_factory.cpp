#include "turn_factory.h"

#include "digital_turns.h"
#include "turn_4013.h"
#include "turn_4017.h"
#include "turn_4021.h"
#include "turn_4x13.h"

namespace navix {

std::unique_ptr<EditorTurn> CreateTurnOfKind(BusWorkspace &workspace, EditorKind kind)
{
    switch (kind) {
    case EditorKind::Type4013:
        return std::make_unique<Turn4013>(workspace);
    case EditorKind::Type4x13:
        return std::make_unique<Turn4x13>(workspace);
    case EditorKind::Type4017:
        return std::make_unique<Turn4017>(workspace);
    case EditorKind::Type4021:
        return std::make_unique<Turn4021>(workspace);
    case EditorKind::Type4050:
        return std::make_unique<OutputTurn>(workspace, OutputTurn::Outputs4050);
    case EditorKind::Type4060:
        return std::make_unique<OutputTurn>(workspace, OutputTurn::Relays4060);
    case EditorKind::Type4052:
        return std::make_unique<InputTurn>(workspace, InputTurn::Inputs4052);
    case EditorKind::Type4152:
        return std::make_unique<InputTurn>(workspace, InputTurn::Inputs4152);
    }
    return nullptr;
}

std::unique_ptr<EditorTurn> CreateTurn(BusWorkspace &workspace, const ModuleRecord &record)
{
    std::unique_ptr<EditorTurn> turn = CreateTurnOfKind(workspace, record.kind);
    if (turn)
        SetUpTurn(*turn, record);
    return turn;
}

} // namespace navix
