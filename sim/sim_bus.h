#pragma once
// sim/ is our stand-in for the modules on a wire: the simulated bus, its modules, faults and line timing, an
// in-memory port for tests, and the program navix-sim that serves the bus on a pseudo-terminal.
//
// A bus of simulated Navix modules. It takes command texts as the program writes them and produces the
// replies that the modules would send (or silence), with per-module checksum use, the INIT state at address
// 00, the three-address Tvr 5x, live values and switchable faults. It keeps a transcript of every exchange.
//
// In tests the bus answers an in-memory port (Attach); the navix-sim program serves it on a pseudo-terminal.
// Both feed the written bytes through TakeBytes and hand the replies to a sink at the times the faults and
// the line timing give.

#include "sim/sim_delivery.h"
#include "sim/sim_faults.h"
#include "sim/sim_module.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

namespace navix {

class MemoryPort;

struct SimExchange
{
    QByteArray command; // exact bytes, CR included
    QByteArray reply;   // exact bytes sent back (noise included); empty for silence or a lost reply
    qint64 timeMs = 0;  // since the bus was created
    bool lost = false;  // a module answered but a fault swallowed the reply
};

class SimBus : public QObject
{
    Q_OBJECT
public:
    explicit SimBus(quint32 seed = 1, QObject *parent = nullptr);
    ~SimBus() override;

    // Adds a module; config is AATTCCFF (address = characters 1-2, checksum use = bit 0x40 of FF). Type id
    // "20" adds a Tvr 5x. The reference stays valid for the life of the bus.
    SimModule &AddModule(const QByteArray &typeId, const QByteArray &config);
    // The module that answers commands sent to address (an INIT module at 00, a Tvr 5x at its three
    // addresses), nullptr where nothing answers.
    SimModule *Module(int address);
    QList<SimModule *> Modules() const;
    void RemoveModule(SimModule *module);

    // The reply bytes to one complete command (ending in CR); empty = silence. Records the exchange.
    QByteArray Answer(const QByteArray &command);

    // Bytes as they arrive from the program: split into commands at each CR and answered; the replies go to
    // the reply sink, later, as faults and line timing say.
    void TakeBytes(const QByteArray &bytes);
    void SetReplySink(std::function<void(const QByteArray &)> sink);
    // Answers every command written to port, through port.Receive, from the event loop.
    void Attach(MemoryPort &port);
    void Detach();
    bool RepliesPending() const { return !scheduler.Idle(); }

    QList<SimExchange> Transcript() const { return transcript; }
    QList<QByteArray> Commands() const;
    void ClearTranscript() { transcript.clear(); }

    SimFaults faults; // faults of the whole bus, on top of each module's own
    // Freezes (or releases) the live values of every module, also of modules added later.
    void SetFrozen(bool frozen);
    bool Frozen() const { return frozenDefault; }
    // The line's rate is the rate the program has set on its port: a module answers only at its own.
    LineSettings &Line() { return scheduler.line; }
    qint64 ElapsedMs() const { return clock.elapsed(); }

signals:
    void Exchanged(const SimExchange &exchange);

private:
    struct Responder
    {
        SimModule *module = nullptr;
        int offset = 0;
    };
    Responder FindResponder(int address) const;
    SimOutgoing Exchange(const QByteArray &command);
    // module is the module that answers; offRate tells that the addressed module talks at another rate than
    // the line's and heard nothing.
    SimReply Respond(const QByteArray &command, SimModule *&module, bool &offRate);

    quint32 seed;
    bool frozenDefault = false;
    std::vector<std::unique_ptr<SimModule>> modules;
    QList<SimExchange> transcript;
    QByteArray pendingInput; // characters of a command whose CR has not come yet
    QElapsedTimer clock;
    ReplyScheduler scheduler;
    QPointer<MemoryPort> attachedPort;
};

} // namespace navix
