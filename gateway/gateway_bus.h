#pragma once
// One bus of the gateway: a bus session on the configured port, the modules of its module file polled by the
// headless poller, absent modules backing off, the port reopened while it is lost, and the sets of outputs
// that the gateway takes from the broker. A set goes out only through the module's own turn, in the turn
// that runs next, and is answered once its value has been read back.

#include "gateway_config.h"
#include "gateway_points.h"

#include "bus/reply_sink.h"
#include "workspace/trend_feed.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

namespace navix {

class BusSession;
class EditorTurn;
class HeadlessPoller;
struct ModuleRecord;

// How a set ended: ok with the value read back, or the reason it did not happen.
struct SetOutcome
{
    bool ok = false;
    double value = 0;
    QString error; // "readonly", "range", "offline", "timeout" or "refused"
};

// Who asked for a set: its outcome goes back the same way.
enum class SetOrigin { Mqtt, Modbus };

struct ModuleMetrics
{
    quint64 exchanges = 0;
    quint64 timeOuts = 0;
    quint64 wrongChecksums = 0;
    quint64 polls = 0;       // reads that reached the gateway, answered or not
    double roundTripP50 = 0; // ms, of the answered exchanges since the metrics were last taken
    double roundTripP95 = 0;
};

struct BusMetrics
{
    double cycleMs = 0; // one pass over the polled modules, averaged since the metrics were last taken
    QMap<QByteArray, ModuleMetrics> modules;
};

class GatewayBus : public QObject, private ReplySink
{
    Q_OBJECT
public:
    static constexpr int FirstBackOffMs = 2000;
    static constexpr int LongestBackOffMs = 60000;
    static constexpr int ReopenMs = 3000;
    static constexpr int MaxWaitingSets = 8; // per module

    explicit GatewayBus(const GatewayBusConfig &config, QObject *parent = nullptr);
    ~GatewayBus() override;
    GatewayBus(const GatewayBus &) = delete;
    GatewayBus &operator=(const GatewayBus &) = delete;

    const GatewayBusConfig &Config() const { return config; }
    // Loads the modules, opens the port (trying again every ReopenMs while it cannot be opened) and starts
    // polling. False when the module file holds no module.
    bool Start();
    const QList<GatewayModule> &Modules() const { return modules; }
    bool IsPortOpen() const;

    // A set of an output point, answered once by SetDone: refused at once where the write rules say no
    // (only outputs of writable modules, in their range, of modules that answer), otherwise once its value
    // has been read back. The one way the gateway writes to a module, for MQTT and Modbus alike.
    void Set(const QByteArray &address, const QString &pointId, double value, const QString &requestId,
             SetOrigin origin = SetOrigin::Mqtt);

    // The figures since the last call (counters since the start).
    BusMetrics TakeMetrics();
    // A module's counters since the start, without the round trips.
    ModuleMetrics Counters(const QByteArray &address) const;

signals:
    // One poll of a module, quality Absent once it missed several polls in a row.
    void ValuesRead(const ModuleValues &values);
    void SetDone(const QByteArray &address, const QString &pointId, const QString &requestId,
                 const SetOutcome &outcome, SetOrigin origin);
    void PortOpened();
    void PortLost(const QString &reason);

private:
    // A set taken and not yet answered.
    struct PendingSet
    {
        QByteArray address;
        QString pointId;
        QString requestId;
        SetOrigin origin = SetOrigin::Mqtt;
        int channel = 0;
        double value = 0;
        enum class Stage { Waiting, ReadingBack } stage = Stage::Waiting;
        bool acknowledged = false;
        qint64 deadlineMs = 0;
    };
    struct ExchangeFigures
    {
        ModuleMetrics counters;
        std::vector<double> roundTrips;
    };

    void DeliverReply(const QByteArray &reply) override;
    void CountExchange(const QByteArray &address);
    void OpenPort();
    void SchedulePortOpen();
    void TakeValues(const ModuleValues &values);
    const GatewayModule *FindModule(const QByteArray &address) const;
    // Why the set cannot be taken; empty when it goes to the module's turn.
    QString RefuseSet(const QByteArray &address, const QString &pointId, double value) const;
    void HandToTurn(PendingSet &set);
    void FinishSet(const QByteArray &address, const SetOutcome &outcome);
    void ExpireSets();

    GatewayBusConfig config;
    std::unique_ptr<BusSession> session;
    std::unique_ptr<HeadlessPoller> poller;
    QList<GatewayModule> modules;
    QHash<QByteArray, EditorTurn *> turns;                    // by address, owned by the poller
    QHash<QByteArray, std::shared_ptr<ModuleRecord>> records; // by address
    // By address: the first is under way, the others wait for it (at most MaxWaitingSets in all).
    QHash<QByteArray, std::deque<PendingSet>> sets;
    QHash<QByteArray, ExchangeFigures> figures; // by address
    QTimer reopenTimer;
    QTimer setTimer;
    QElapsedTimer clock;
    QSet<QByteArray> readOnce; // modules that answered a read since the start
    bool portWasOpen = false;
    qint64 lastOpenMs = 0; // when the port was last opened or tried, on clock
    quint64 cyclesAtLastMetrics = 0;
    qint64 lastMetricsMs = 0;
};

} // namespace navix
