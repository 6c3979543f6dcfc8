#include "headless_poller.h"

#include "bus/diagnostics.h"

#include "turn_factory.h"
#include "workspace/workspace.h"

#include <QTimer>

namespace navix {

HeadlessPoller::HeadlessPoller(BusWorkspace &workspace, QObject *parent)
    : QObject(parent), workspace(workspace)
{
    // The cycle of a program without tool windows never waits for a tool to give the bus back.
    if (workspace.Router().State() == RouterState::NotStarted)
        workspace.Router().ReleaseBus();
}

HeadlessPoller::~HeadlessPoller()
{
    if (firstBackOffMs > 0)
        workspace.Router().SetTurnFilter({});
    // The records outlive the turns: unlink them, so that no reply reaches a turn that is gone.
    workspace.Modules().ForEach([this](const ModuleRecordPtr &record) {
        for (const std::unique_ptr<EditorTurn> &turn : turns)
            if (record->Editor() == turn.get())
                record->SetEditor(nullptr, nullptr);
    });
}

EditorTurn *HeadlessPoller::Open(const ModuleRecordPtr &record)
{
    if (!record || record->editorState != EditorState::Closed)
        return nullptr;
    std::unique_ptr<EditorTurn> turn = CreateTurn(workspace, *record);
    if (!turn)
        return nullptr;
    EditorTurn &opened = *turn;
    turns.push_back(std::move(turn));
    connect(&opened, &EditorTurn::ValuesRead, this, &HeadlessPoller::TakeValues);
    // The turn guards itself: the record reaches it only while it exists.
    record->SetEditor(&opened, &opened);
    qCInfo(TurnLog) << "polling" << record->typeId << record->Address();
    workspace.Router().OpenEditor(*record);
    return &opened;
}

int HeadlessPoller::OpenAll()
{
    int opened = 0;
    workspace.Modules().ForEach([&](const ModuleRecordPtr &record) {
        if (Open(record))
            ++opened;
    });
    return opened;
}

void HeadlessPoller::TakeValues(ModuleValues values)
{
    int &missed = missedPolls[values.address];
    missed = values.quality == ValueQuality::Good ? 0 : missed + 1;
    if (missed >= MissedPollsForAbsent) {
        values.quality = ValueQuality::Absent;
        BackOff(values.address);
    } else {
        backOffs.remove(values.address);
    }
    emit ValuesRead(values);
}

void HeadlessPoller::BackOffAbsentModules(int firstMs, int longestMs)
{
    firstBackOffMs = firstMs;
    longestBackOffMs = longestMs;
    clock.start();
    workspace.Router().SetTurnFilter(
        [this](const ModuleRecord &record) { return !IsBackingOff(record.Address()); });
}

void HeadlessPoller::BackOff(const QByteArray &address)
{
    if (firstBackOffMs <= 0)
        return;
    BackOffState &state = backOffs[address];
    state.delayMs = state.delayMs == 0 ? firstBackOffMs : qMin(2 * state.delayMs, longestBackOffMs);
    state.untilMs = clock.elapsed() + state.delayMs;
    qCInfo(TurnLog) << "module" << address << "absent: asked again in" << state.delayMs << "ms";
    // The cycle may stand waiting by then, every other module held back too.
    QTimer::singleShot(state.delayMs, Qt::PreciseTimer, this, [this] { workspace.Router().WakeCycle(); });
}

void HeadlessPoller::EndBackOffs()
{
    for (BackOffState &state : backOffs)
        state.untilMs = 0;
    workspace.Router().WakeCycle();
}

bool HeadlessPoller::IsAbsent(const QByteArray &address) const
{
    return missedPolls.value(address) >= MissedPollsForAbsent;
}

bool HeadlessPoller::IsBackingOff(const QByteArray &address) const
{
    const auto found = backOffs.constFind(address);
    return found != backOffs.cend() && clock.elapsed() < found->untilMs;
}

int HeadlessPoller::BackOffMs(const QByteArray &address) const
{
    return backOffs.value(address).delayMs;
}

} // namespace navix
