#pragma once
// The bus router: who gets the transaction engine's replies. A tool window (search, terminal, memory
// utilities) that holds the bus gets every reply; otherwise the open module editors take turns, list by list
// in editor-kind order and each list from its head. A tool that asks during an editor's turn gets the bus
// when that turn ends; giving the bus back starts the editors' cycle over.

#include "bus/reply_sink.h"
#include "bus/transaction_engine.h"
#include "module_records.h"

#include <QByteArray>
#include <QObject>

#include <array>
#include <deque>
#include <functional>

namespace navix {

// The tool windows that can hold the bus, in the order the router looks at them.
enum class ToolKind { Search = 0, Terminal, Memory, Compare };
inline constexpr int ToolKindCount = 4;

class ToolReplyHandler
{
public:
    virtual ~ToolReplyHandler() = default;
    // Receives every reply while the tool holds the bus; empty for a time-out or a wrong checksum.
    virtual void HandleToolReply(const QByteArray &reply) = 0;
};

enum class RouterState {
    NotStarted, // the bus was never given back: replies reach no editor
    Cycling,    // the open editors take their turns
    Idle,       // no editor is open; the next open editor starts the cycle
    ToolHolds   // the bus went to a tool that asked during an editor's turn
};

class BusRouter : public QObject, public ReplySink
{
public:
    // Becomes the engine's reply sink for its life.
    BusRouter(TransactionEngine &engine, ModuleRegistry &modules, QObject *parent = nullptr);
    ~BusRouter() override;

    void DeliverReply(const QByteArray &reply) override;

    void RegisterTool(ToolKind tool, ToolReplyHandler *handler);
    // true when the tool holds the bus now. Asked during an editor's turn, the bus is noted for it and handed
    // over at the end of that turn. The memory window is granted on its next request.
    bool RequestBus(ToolKind tool);
    // Every tool lets go and forgets its request; the editors' cycle starts over at the first open editor.
    void ReleaseBus();
    bool OwnsBus(ToolKind tool) const;
    // Whether any tool holds the bus now.
    bool ToolHoldsBus() const;

    // The record's editor (a window's turn or a headless one, linked to the record) takes part in the cycle
    // from now on. When the cycle stood idle with no editor open and no tool holding the bus, it starts; a
    // tool that holds the bus starts it when it gives the bus back.
    void OpenEditor(ModuleRecord &record);
    bool BusAsked(ToolKind tool) const; // the tool gets the bus at the end of the current turn

    // The record half of clearing the modules: ends the running editor turn, suspends routing unless asked to
    // keep it, frees every open editor window (later, from the event loop, so that a window whose handler is
    // still running is not destroyed under it) and drops every record. Cursors stay; the next ReleaseBus
    // resets them.
    void ClearModuleRecords(bool keepRouting);

    // While routing is suspended (the modules are being replaced) replies reach nobody.
    bool RoutingSuspended() const { return routingSuspended; }
    void SuspendRouting() { routingSuspended = true; }
    void ResumeRouting() { routingSuspended = false; }

    // An editor is inside its turn: it has sent a command and waits for the reply.
    bool EditorTurnActive() const { return editorTurnActive; }
    // Marks an editor's turn as running, as handing a reply to an editor does.
    void BeginEditorTurn() { editorTurnActive = true; }
    // Ends the running turn without its reply: a waiting tool may take the bus on its next request.
    void EndEditorTurn() { editorTurnActive = false; }

    RouterState State() const { return state; }

    // A program that polls without windows can hold modules back and move one ahead; the windows use
    // neither, so their cycle is as before.
    // Records the filter refuses sit their turns out until it takes them again (a module that backs off);
    // when it refuses every open record, the cycle waits for WakeCycle instead of spinning.
    void SetTurnFilter(std::function<bool(const ModuleRecord &)> filter) { turnFilter = std::move(filter); }
    // The record's editor takes the next turn, before the cycle goes on in its order (a write that waits).
    // A record asked for twice takes one turn.
    void RequestTurnAhead(const ModuleRecordPtr &record);
    // Goes on with a cycle that waits because the filter refused every open record.
    void WakeCycle();
    bool CycleWaits() const { return cycleWaits; }
    // How many times the cycle started from the first list: one per pass over the open editors.
    quint64 CyclesStarted() const { return cyclesStarted; }

private:
    void RunEditorCycle(const QByteArray &reply);
    // The next record with an open editor from the cursors on, stepping past closed ones and through the
    // lists; nullptr when the last list is done.
    ModuleRecordPtr NextOpenRecord();
    // Gives the record's editor the reply; true when its turn is over.
    bool GiveTurn(ModuleRecord &record, const QByteArray &reply);
    bool HandOverToAskingTool();
    void StartCycle();
    void ContinueFromEventLoop();
    // Runs the turns asked ahead while no turn of the cycle is under way; true when one waits for its reply
    // or the bus changed hands.
    bool RunTurnsAhead(const QByteArray &reply);
    bool TakesTurn(const ModuleRecord &record) const;

    struct ToolSlot
    {
        ToolReplyHandler *handler = nullptr;
        bool owner = false;
        bool asked = false;
    };

    TransactionEngine &engine;
    ModuleRegistry &modules;
    std::array<ToolSlot, ToolKindCount> tools;
    bool routingSuspended = false;
    bool editorTurnActive = false;
    RouterState state = RouterState::NotStarted;
    int listIndex = 0; // the list whose editors take their turns while cycling
    std::array<int, EditorKindCount> cursors{};
    bool continuationQueued = false;
    std::function<bool(const ModuleRecord &)> turnFilter;
    std::deque<ModuleRecordPtr> turnsAhead;
    ModuleRecordPtr turnAhead; // the record whose turn asked ahead is under way
    bool cycleWaits = false;
    bool turnRefused = false; // the filter held a record back in the running pass
    quint64 cyclesStarted = 0;
};

} // namespace navix
