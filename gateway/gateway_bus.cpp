#include "gateway_bus.h"

#include "gateway_log.h"
#include "gateway_modules.h"

#include "bus/serial_port.h"
#include "bus/text.h"
#include "cli/cli_bus.h"
#include "config/module_file.h"
#include "editors/digital_turns.h"
#include "editors/headless_poller.h"
#include "editors/turn_4021.h"
#include "workspace/bus_session.h"

#include <algorithm>
#include <cmath>

namespace navix {

namespace {
// A device path or device server that no COM number stands for opens under this number, which no listing
// gives out.
constexpr int UnlistedComNumber = PortDirectory::HighestNumber;
constexpr int PortWatchMs = 500;
constexpr int SetWatchMs = 100;
// Round trips kept per module between two metrics: enough for the percentiles of a busy line.
constexpr size_t MaxRoundTrips = 8192;

// How long a set may take from its hand-over to the turn to its read-back: a few turns of the module.
int SetBoundMs(int timeOutMs)
{
    return 2000 + 20 * timeOutMs;
}

double Percentile(std::vector<double> &sorted, double share)
{
    if (sorted.empty())
        return 0;
    const auto index = static_cast<size_t>(std::ceil(share * static_cast<double>(sorted.size()))) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}
} // namespace

GatewayBus::GatewayBus(const GatewayBusConfig &busConfig, QObject *parent)
    : QObject(parent), config(busConfig), session(std::make_unique<BusSession>())
{
    session->SetTimeOutField(config.timeOutMs);
    // No pause between exchanges: the modules answer within the time-out, and the line is the gateway's
    // alone.
    session->Engine().SetPacingTag(VeryFast);
    // Every reply passes here on its way to the router, for the figures and the sets' outcomes.
    session->Engine().SetReplySink(this);
    clock.start();
    reopenTimer.setInterval(PortWatchMs);
    connect(&reopenTimer, &QTimer::timeout, this, &GatewayBus::OpenPort);
    setTimer.setInterval(SetWatchMs);
    connect(&setTimer, &QTimer::timeout, this, &GatewayBus::ExpireSets);
    connect(session->ComPort(), &TApdComPort::DeviceLost, this, [this](const QString &reason) {
        qCWarning(GatewayLog) << "bus" << config.name << "lost its port:" << reason;
        emit PortLost(reason);
    });
    connect(session->ComPort(), &TApdComPort::OpenFailed, this, [this](const QString &reason) {
        qCWarning(GatewayLog) << "bus" << config.name << "cannot open its port:" << reason;
    });
}

GatewayBus::~GatewayBus()
{
    session->Engine().SetReplySink(&session->Router());
    // The turns go before the session whose records link them.
    poller.reset();
}

bool GatewayBus::Start()
{
    if (LoadModuleFile(config.modules, *session) <= 0)
        return false;
    portWasOpen = false;
    OpenPort();
    reopenTimer.start();
    poller = std::make_unique<HeadlessPoller>(*session);
    poller->BackOffAbsentModules(FirstBackOffMs, LongestBackOffMs);
    connect(poller.get(), &HeadlessPoller::ValuesRead, this, &GatewayBus::TakeValues);
    session->Modules().ForEach([this](const ModuleRecordPtr &record) {
        EditorTurn *turn = poller->Open(record);
        if (!turn)
            return;
        const QByteArray address = record->Address();
        turns.insert(address, turn);
        records.insert(address, record);
        modules.append(DescribeModule(config.name, *record, *turn, config.writable.contains(address)));
    });
    qCInfo(GatewayLog) << "bus" << config.name << "polls" << modules.size() << "modules on" << config.port;
    return true;
}

bool GatewayBus::IsPortOpen() const
{
    return session->Port().IsOpen();
}

// The port watch: reports a port that opened or was lost, and opens a closed one again every ReopenMs.
void GatewayBus::OpenPort()
{
    TApdComPort &port = *session->ComPort();
    const bool open = port.IsOpen();
    if (open != portWasOpen) {
        portWasOpen = open;
        if (open) {
            qCInfo(GatewayLog) << "bus" << config.name << "port" << config.port << "open";
            // The modules that backed off while the line was gone are asked at once.
            if (poller)
                poller->EndBackOffs();
            emit PortOpened();
        }
    }
    if (open || port.IsOpening() || (lastOpenMs > 0 && clock.elapsed() - lastOpenMs < ReopenMs))
        return;
    lastOpenMs = clock.elapsed();
    std::optional<NamedPort> named;
    if (const auto address = NetworkAddress::FromText(config.port); address && !config.port.startsWith('/')) {
        named = NamedPort{UnlistedComNumber, {QString(), *address}};
    } else {
        const PortLookup lookup = ResolvePortName(config.port, ListPorts());
        if (!lookup.port) {
            qCWarning(GatewayLog) << "bus" << config.name << "cannot open" << config.port << ":"
                                  << lookup.problem;
            return;
        }
        named = lookup.port;
    }
    const int number = named->comNumber > 0 ? named->comNumber : UnlistedComNumber;
    if (const QString failure = session->OpenComPort(number, named->target, config.baud); !failure.isEmpty())
        qCWarning(GatewayLog) << "bus" << config.name << "cannot open" << config.port << ":" << failure;
    else if (port.IsOpen())
        OpenPort();
}

void GatewayBus::DeliverReply(const QByteArray &reply)
{
    const QByteArray command = session->Engine().PendingCommand();
    const QByteArray address = Copy(command, 2, 2);
    CountExchange(address);
    // The write of the set under way: taken, or not; its read-back follows in the module's next turn.
    if (command.startsWith('#')) {
        const auto queue = sets.find(address);
        if (queue != sets.end() && !queue->empty() && queue->front().stage == PendingSet::Stage::Waiting) {
            PendingSet &set = queue->front();
            set.acknowledged =
                session->Engine().LastReplyStatus() == ReplyStatus::Answered && reply.startsWith('>');
            set.stage = PendingSet::Stage::ReadingBack;
            qCInfo(GatewayLog) << "bus" << config.name << "wrote" << command.trimmed()
                               << (set.acknowledged ? "taken" : "not taken");
            session->Router().RequestTurnAhead(records.value(address));
        }
    }
    session->Router().DeliverReply(reply);
}

void GatewayBus::CountExchange(const QByteArray &address)
{
    ExchangeFigures &figure = figures[address];
    ++figure.counters.exchanges;
    switch (session->Engine().LastReplyStatus()) {
    case ReplyStatus::Answered:
        if (figure.roundTrips.size() < MaxRoundTrips)
            figure.roundTrips.push_back(session->Engine().LastRoundTripMs());
        break;
    case ReplyStatus::WrongChecksum:
        ++figure.counters.wrongChecksums;
        break;
    case ReplyStatus::TimedOut:
    case ReplyStatus::PortClosed:
        ++figure.counters.timeOuts;
        break;
    }
}

void GatewayBus::TakeValues(const ModuleValues &values)
{
    ++figures[values.address].counters.polls;
    if (values.quality == ValueQuality::Good)
        readOnce.insert(values.address);
    const auto queue = sets.find(values.address);
    if (queue != sets.end() && !queue->empty() && queue->front().stage == PendingSet::Stage::ReadingBack) {
        const PendingSet &set = queue->front();
        const double value = values.values.value(set.channel, LostValue);
        const bool digital = qobject_cast<OutputTurn *>(turns.value(set.address)) != nullptr;
        SetOutcome outcome;
        if (values.quality != ValueQuality::Good || IsLost(value))
            outcome.error = QStringLiteral("timeout");
        else if (!set.acknowledged || (digital && value != set.value))
            outcome.error = QStringLiteral("refused");
        else
            outcome = {true, value, {}};
        FinishSet(values.address, outcome);
    }
    emit ValuesRead(values);
}

const GatewayModule *GatewayBus::FindModule(const QByteArray &address) const
{
    for (const GatewayModule &module : modules)
        if (module.address == address)
            return &module;
    return nullptr;
}

QString GatewayBus::RefuseSet(const QByteArray &address, const QString &pointId, double value) const
{
    const GatewayModule *module = FindModule(address);
    const std::optional<int> channel = module ? PointChannel(*module, pointId) : std::nullopt;
    if (!module || !module->writable || !channel || !module->points[*channel].IsOutput())
        return QStringLiteral("readonly");
    const GatewayPoint &point = module->points[*channel];
    if (std::isnan(value))
        return QStringLiteral("range");
    if (point.kind == PointKind::DigitalOutput && value != 0 && value != 1)
        return QStringLiteral("range");
    // Half a step of slack, so that a value the module reads back as in range is taken.
    const double slack = point.kind == PointKind::AnalogOutput
                             ? OutputPositionStep(*qobject_cast<Turn4021 *>(turns.value(address))) / 2
                             : 0;
    if (point.kind == PointKind::AnalogOutput &&
        (value < point.minimum - slack || value > point.maximum + slack))
        return QStringLiteral("range");
    // Until the module has been read, its turn knows nothing of its outputs to write around.
    if (!IsPortOpen() || poller->IsAbsent(address) || !readOnce.contains(address))
        return QStringLiteral("offline");
    return {};
}

void GatewayBus::Set(const QByteArray &address, const QString &pointId, double value,
                     const QString &requestId, SetOrigin origin)
{
    const QString refusal = RefuseSet(address, pointId, value);
    std::deque<PendingSet> &queue = sets[address];
    if (refusal.isEmpty() && static_cast<int>(queue.size()) >= MaxWaitingSets)
        qCWarning(GatewayLog) << "bus" << config.name << "module" << address << "has too many sets waiting";
    if (!refusal.isEmpty() || static_cast<int>(queue.size()) >= MaxWaitingSets) {
        qCInfo(GatewayLog) << "bus" << config.name << "set" << address << pointId
                           << "refused:" << (refusal.isEmpty() ? QStringLiteral("refused") : refusal);
        emit SetDone(address, pointId, requestId,
                     {false, 0, refusal.isEmpty() ? QStringLiteral("refused") : refusal}, origin);
        return;
    }
    const GatewayModule &module = *FindModule(address);
    queue.push_back({.address = address,
                     .pointId = pointId,
                     .requestId = requestId,
                     .origin = origin,
                     .channel = *PointChannel(module, pointId),
                     .value = value});
    if (queue.size() == 1)
        HandToTurn(queue.front());
}

void GatewayBus::HandToTurn(PendingSet &set)
{
    EditorTurn *turn = turns.value(set.address);
    if (auto *output = qobject_cast<OutputTurn *>(turn)) {
        const bool on = set.value != 0;
        const bool shown = (output->ShownChannels() >> set.channel & 1) != 0;
        output->ClickChannel(set.channel);
        // Already shown so: a second click writes the outputs as the module last reported them.
        if (shown == on)
            output->ClickChannel(set.channel);
    } else if (auto *analog = qobject_cast<Turn4021 *>(turn)) {
        analog->MovePosition(static_cast<int>(std::lround(set.value / OutputPositionStep(*analog))));
    }
    set.deadlineMs = clock.elapsed() + SetBoundMs(config.timeOutMs);
    qCInfo(GatewayLog) << "bus" << config.name << "set" << set.address << set.pointId << set.value;
    session->Router().RequestTurnAhead(records.value(set.address));
    setTimer.start();
}

void GatewayBus::FinishSet(const QByteArray &address, const SetOutcome &outcome)
{
    std::deque<PendingSet> &queue = sets[address];
    const PendingSet done = queue.front();
    queue.pop_front();
    if (!queue.empty())
        HandToTurn(queue.front());
    emit SetDone(address, done.pointId, done.requestId, outcome, done.origin);
}

void GatewayBus::ExpireSets()
{
    QList<QByteArray> expired;
    bool waiting = false;
    for (auto queue = sets.cbegin(); queue != sets.cend(); ++queue) {
        if (queue->empty())
            continue;
        waiting = true;
        if (clock.elapsed() >= queue->front().deadlineMs)
            expired.append(queue.key());
    }
    for (const QByteArray &address : expired)
        FinishSet(address, {false, 0, QStringLiteral("timeout")});
    if (!waiting)
        setTimer.stop();
}

ModuleMetrics GatewayBus::Counters(const QByteArray &address) const
{
    return figures.value(address).counters;
}

BusMetrics GatewayBus::TakeMetrics()
{
    BusMetrics metrics;
    const qint64 now = clock.elapsed();
    const quint64 cycles = session->Router().CyclesStarted();
    if (cycles > cyclesAtLastMetrics)
        metrics.cycleMs =
            static_cast<double>(now - lastMetricsMs) / static_cast<double>(cycles - cyclesAtLastMetrics);
    cyclesAtLastMetrics = cycles;
    lastMetricsMs = now;
    for (const GatewayModule &module : modules) {
        ExchangeFigures &figure = figures[module.address];
        std::sort(figure.roundTrips.begin(), figure.roundTrips.end());
        figure.counters.roundTripP50 = Percentile(figure.roundTrips, 0.5);
        figure.counters.roundTripP95 = Percentile(figure.roundTrips, 0.95);
        figure.roundTrips.clear();
        metrics.modules.insert(module.address, figure.counters);
    }
    return metrics;
}

} // namespace navix
