#pragma once
// Which poll turn serves which kind of module: the one table that the editor windows, the headless poller and
// the tests take their turns from. Widget-free.

#include "editor_turn.h"
#include "workspace/module_records.h"

#include <memory>

namespace navix {

class BusWorkspace;

// The turn that polls modules of this kind, not yet set up for a module; nullptr for a kind no turn polls.
std::unique_ptr<EditorTurn> CreateTurnOfKind(BusWorkspace &workspace, EditorKind kind);

// The turn of the record's kind set up from the record (module name, configuration, INIT mode, captions);
// nullptr for a kind no turn polls.
std::unique_ptr<EditorTurn> CreateTurn(BusWorkspace &workspace, const ModuleRecord &record);

// The turn of a kind as the class a window of that kind shows, created without a parent for the window to
// take as its child.
template <typename Turn> Turn &NewTurnOfKind(BusWorkspace &workspace, EditorKind kind)
{
    std::unique_ptr<EditorTurn> turn = CreateTurnOfKind(workspace, kind);
    auto *typed = dynamic_cast<Turn *>(turn.get());
    Q_ASSERT(typed);
    turn.release();
    return *typed;
}

} // namespace navix
