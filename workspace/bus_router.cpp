#include "bus_router.h"

#include "bus/diagnostics.h"

#include <algorithm>
#include <utility>

#include <QTimer>

namespace navix {

namespace {
int ToolIndex(ToolKind tool)
{
    return static_cast<int>(tool);
}

} // namespace

BusRouter::BusRouter(TransactionEngine &engine, ModuleRegistry &modules, QObject *parent)
    : QObject(parent), engine(engine), modules(modules)
{
    engine.SetReplySink(this);
}

BusRouter::~BusRouter()
{
    engine.SetReplySink(nullptr);
}

void BusRouter::RegisterTool(ToolKind tool, ToolReplyHandler *handler)
{
    tools[ToolIndex(tool)].handler = handler;
}

bool BusRouter::OwnsBus(ToolKind tool) const
{
    return tools[ToolIndex(tool)].owner;
}

bool BusRouter::BusAsked(ToolKind tool) const
{
    return tools[ToolIndex(tool)].asked;
}

bool BusRouter::RequestBus(ToolKind tool)
{
    ToolSlot &slot = tools[ToolIndex(tool)];
    if (slot.owner)
        return true;
    if (editorTurnActive) {
        slot.asked = true; // granted at the end of the running editor turn
        return false;
    }
    slot.owner = true;
    slot.asked = false; // granted now: a request noted earlier must not hand it the bus again later
    qCDebug(RouterLog) << "tool" << ToolIndex(tool) << "holds the bus";
    if (tool == ToolKind::Memory)
        return false; // the memory window is granted on its next request; routing stays as it is
    routingSuspended = false;
    return true;
}

void BusRouter::ReleaseBus()
{
    // Requests noted during an editor turn are forgotten too: a tool that still wants the bus asks again from
    // its timer, and a closed one must not be handed the bus at the end of some later turn.
    for (ToolSlot &slot : tools) {
        slot.owner = false;
        slot.asked = false;
    }
    qCDebug(RouterLog) << "bus given back: the editors' cycle starts";
    StartCycle();
    routingSuspended = false;
    DeliverReply(QByteArray());
}

bool BusRouter::ToolHoldsBus() const
{
    return std::any_of(tools.cbegin(), tools.cend(), [](const ToolSlot &slot) { return slot.owner; });
}

void BusRouter::OpenEditor(ModuleRecord &record)
{
    const bool cycleIdle = !modules.AnyEditorOpen() && state == RouterState::Idle && !ToolHoldsBus();
    record.editorState = EditorState::Open;
    if (cycleIdle)
        ReleaseBus();
}

void BusRouter::StartCycle()
{
    ++cyclesStarted;
    cursors.fill(0);
    listIndex = 0;
    state = RouterState::Cycling;
}

void BusRouter::DeliverReply(const QByteArray &reply)
{
    if (routingSuspended)
        return;
    for (ToolSlot &slot : tools) {
        if (slot.owner) {
            if (slot.handler)
                slot.handler->HandleToolReply(reply);
            return;
        }
    }
    RunEditorCycle(reply);
}

bool BusRouter::HandOverToAskingTool()
{
    for (ToolSlot &slot : tools) {
        if (slot.asked) {
            slot.asked = false;
            slot.owner = true;
            state = RouterState::ToolHolds;
            qCDebug(RouterLog) << "bus handed over to the tool that asked during an editor's turn";
            return true;
        }
    }
    return false;
}

ModuleRecordPtr BusRouter::NextOpenRecord()
{
    for (; listIndex < EditorKindCount; ++listIndex) {
        const ModuleRegistry::List &list = modules.Records(static_cast<EditorKind>(listIndex));
        for (int &cursor = cursors[listIndex]; cursor >= 0 && cursor < static_cast<int>(list.size());
             ++cursor) {
            const ModuleRecordPtr &record = list[cursor];
            if (record->editorState == EditorState::Closed)
                continue;
            // A turn under way is served to its end, whatever the filter says meanwhile.
            if (record->Editor() && !editorTurnActive && !TakesTurn(*record)) {
                turnRefused = true;
                continue;
            }
            if (record->Editor())
                return record;
            // The window is gone without telling its record: it can take no turn.
            record->editorState = EditorState::Closed;
        }
    }
    return nullptr;
}

bool BusRouter::GiveTurn(ModuleRecord &record, const QByteArray &reply)
{
    editorTurnActive = true;
    if (!record.Editor()->HandleReply(reply))
        return false;
    editorTurnActive = false;
    if (record.editorState == EditorState::CloseAtTurnEnd) {
        if (ModuleEditor *closing = record.Editor())
            closing->CloseAtTurnEnd();
        record.editorState = EditorState::Closed;
        record.SetEditor(nullptr, nullptr);
    }
    return true;
}

void BusRouter::RunEditorCycle(const QByteArray &reply)
{
    if (state != RouterState::Cycling)
        return;
    cycleWaits = false;
    turnRefused = false;
    if ((turnAhead || !editorTurnActive) && RunTurnsAhead(reply))
        return;
    bool turnGiven = false;
    // Two passes over the lists at most: when every open editor ended its turn without sending, the cycle
    // goes on from the event loop instead of spinning.
    for (int pass = 0; pass < 2; ++pass) {
        while (const ModuleRecordPtr record = NextOpenRecord()) { // kept alive while its editor runs
            const int turnList = listIndex;
            turnGiven = true;
            if (!GiveTurn(*record, reply) || HandOverToAskingTool())
                return;
            if (state != RouterState::Cycling)
                return; // the bus changed hands while the editor ran
            ++cursors[turnList];
            if (RunTurnsAhead(reply))
                return;
        }
        if (!modules.AnyEditorOpen()) {
            editorTurnActive = false;
            state = RouterState::Idle;
            qCDebug(RouterLog) << "no editor open: the cycle stands idle";
            return;
        }
        StartCycle();
    }
    if (!turnGiven && turnRefused) {
        // Every open editor is held back: nothing is sent until one may take its turn again.
        cycleWaits = true;
        qCDebug(RouterLog) << "every open editor is held back: the cycle waits";
        return;
    }
    ContinueFromEventLoop();
}

bool BusRouter::TakesTurn(const ModuleRecord &record) const
{
    return !turnFilter || turnFilter(record);
}

bool BusRouter::RunTurnsAhead(const QByteArray &reply)
{
    while (turnAhead || !turnsAhead.empty()) {
        if (!turnAhead) {
            turnAhead = turnsAhead.front();
            turnsAhead.pop_front();
            if (turnAhead->editorState == EditorState::Closed || !turnAhead->Editor()) {
                turnAhead.reset();
                continue;
            }
        }
        const ModuleRecordPtr record = turnAhead; // kept alive while its editor runs
        if (!GiveTurn(*record, reply))
            return true;
        turnAhead.reset();
        if (HandOverToAskingTool() || state != RouterState::Cycling)
            return true;
    }
    return false;
}

void BusRouter::RequestTurnAhead(const ModuleRecordPtr &record)
{
    if (!record || std::find(turnsAhead.cbegin(), turnsAhead.cend(), record) != turnsAhead.cend())
        return;
    turnsAhead.push_back(record);
    WakeCycle();
}

void BusRouter::WakeCycle()
{
    if (!std::exchange(cycleWaits, false))
        return;
    ContinueFromEventLoop();
}

void BusRouter::ContinueFromEventLoop()
{
    if (continuationQueued)
        return;
    continuationQueued = true;
    QTimer::singleShot(0, this, [this] {
        continuationQueued = false;
        DeliverReply(QByteArray());
    });
}

void BusRouter::ClearModuleRecords(bool keepRouting)
{
    editorTurnActive = false;
    routingSuspended = !keepRouting;
    turnsAhead.clear();
    turnAhead.reset();
    cycleWaits = false;
    modules.Clear([](ModuleRecord &record) {
        if (QObject *window = record.EditorObject())
            window->deleteLater();
        record.SetEditor(nullptr, nullptr);
        record.editorState = EditorState::Closed;
    });
}

} // namespace navix
