#include "sim_bus.h"

#include "bus/text.h"
#include "sim/memory_port.h"
#include "sim_replies.h"

#include <algorithm>

namespace navix {

namespace {
// Characters without a CR beyond this are no command any module would wait for.
constexpr qsizetype InputLimit = 4096;
} // namespace

SimBus::SimBus(quint32 seed, QObject *parent) : QObject(parent), seed(seed)
{
    clock.start();
}

SimBus::~SimBus()
{
    Detach();
}

SimModule &SimBus::AddModule(const QByteArray &typeId, const QByteArray &config)
{
    const quint32 moduleSeed = seed + 7919u * static_cast<quint32>(modules.size() + 1);
    modules.push_back(std::make_unique<SimModule>(typeId, config, moduleSeed));
    modules.back()->frozen = frozenDefault;
    return *modules.back();
}

SimModule *SimBus::Module(int address)
{
    return FindResponder(address).module;
}

QList<SimModule *> SimBus::Modules() const
{
    QList<SimModule *> list;
    for (const auto &module : modules)
        list.append(module.get());
    return list;
}

void SimBus::RemoveModule(SimModule *module)
{
    std::erase_if(modules, [module](const auto &held) { return held.get() == module; });
}

void SimBus::SetFrozen(bool frozen)
{
    frozenDefault = frozen;
    for (const auto &module : modules)
        module->frozen = frozen;
}

SimBus::Responder SimBus::FindResponder(int address) const
{
    // Two modules at one address would both talk at once; the first one added is the one heard. Modules at
    // another rate than the line's hear nothing, so one at the line's rate is heard before them.
    Responder offRate;
    for (const auto &module : modules) {
        const int offset = module->OffsetAt(address);
        if (offset < 0)
            continue;
        if (module->Baud() == scheduler.line.baud)
            return {module.get(), offset};
        if (!offRate.module)
            offRate = {module.get(), offset};
    }
    return offRate;
}

SimReply SimBus::Respond(const QByteArray &command, SimModule *&module, bool &offRate)
{
    // A module acts on a command only when its CR has come.
    if (!command.endsWith(CR))
        return {};
    QByteArray body = command.chopped(1);
    // A line feed that a terminal sends after the CR of the previous line belongs to no command.
    while (body.startsWith('\n'))
        body.remove(0, 1);
    const char commandCharacter = CharAt(body, 1);
    const QByteArray addressText = Copy(body, 2, 2);
    if (!QByteArray("$#%@").contains(commandCharacter) || addressText.size() != 2 || !IsHexText(addressText))
        return {};
    const int address = HexToInt(addressText);
    const Responder responder = FindResponder(address);
    if (!responder.module)
        return {};
    if (responder.module->Baud() != scheduler.line.baud) {
        // At another rate the module's receiver makes no sense of the characters and acts on nothing.
        offRate = true;
        return {};
    }
    module = responder.module;
    if (module->UsesChecksum()) {
        // A module that uses checksums ignores a command whose checksum is missing or wrong.
        const QByteArray received = body.right(2);
        body.chop(2);
        if (body.size() < 3 || ComputeChecksum(body) != received)
            return {};
    }
    const SimReply reply = module->Respond(body, responder.offset, HexByte(address), clock.elapsed());
    module->Advance(clock.elapsed());
    return reply;
}

SimOutgoing SimBus::Exchange(const QByteArray &command)
{
    SimExchange record{command, {}, clock.elapsed(), false};
    SimOutgoing outgoing;
    outgoing.commandLength = static_cast<int>(command.size());
    SimModule *module = nullptr;
    bool offRate = false;
    const SimReply reply = Respond(command, module, offRate);
    if (offRate && faults.garble) {
        outgoing.bytes = SimFaults::GarbleText;
        record.reply = outgoing.bytes;
    }
    if (!reply.IsSilent()) {
        // Each fault holder counts the replies it sees; the bus sees those the module did not swallow.
        record.lost = module->TakeLoss() || faults.TakeLoss();
        if (!record.lost) {
            // Body, checksum, CR: the checksum stands directly in front of the CR in every reply, also in one
            // that the program reads by length without its CR.
            QByteArray line = reply.body;
            if (module->UsesChecksum()) {
                QByteArray checksum = ComputeChecksum(reply.body);
                if (module->badChecksum || faults.badChecksum)
                    checksum = HexByte(HexToInt(checksum) + 1);
                line += checksum;
            }
            line += CR;
            const bool noise = module->noise || faults.noise;
            outgoing.bytes = (noise ? SimFaults::NoiseText : QByteArray()) + line;
            outgoing.split = module->splitReplies || faults.splitReplies;
            outgoing.lateMs = std::max(module->lateReplyMs, faults.lateReplyMs);
            record.reply = outgoing.bytes;
        }
    }
    transcript.append(record);
    emit Exchanged(record);
    return outgoing;
}

QByteArray SimBus::Answer(const QByteArray &command)
{
    return Exchange(command).bytes;
}

void SimBus::TakeBytes(const QByteArray &bytes)
{
    // The replies' line time counts from the command's arrival, not from when the module got round to it.
    const qint64 takenAtUs = MonotonicAlarm::NowUs();
    pendingInput += bytes;
    qsizetype end;
    while ((end = pendingInput.indexOf(CR)) >= 0) {
        const QByteArray command = pendingInput.left(end + 1);
        pendingInput.remove(0, end + 1);
        const SimOutgoing outgoing = Exchange(command);
        if (!outgoing.bytes.isEmpty())
            scheduler.Send(outgoing, takenAtUs);
    }
    if (pendingInput.size() > InputLimit)
        pendingInput.clear();
}

void SimBus::SetReplySink(std::function<void(const QByteArray &)> sink)
{
    scheduler.SetSink(std::move(sink));
}

void SimBus::Attach(MemoryPort &port)
{
    Detach();
    attachedPort = &port;
    QPointer<MemoryPort> target(&port);
    SetReplySink([target](const QByteArray &bytes) {
        if (target)
            target->Receive(bytes);
    });
    port.onWrite = [this, target](const QByteArray &text) {
        if (target)
            scheduler.line.baud = target->baud;
        TakeBytes(text);
    };
}

void SimBus::Detach()
{
    if (attachedPort)
        attachedPort->onWrite = nullptr;
    attachedPort = nullptr;
    scheduler.Clear();
    SetReplySink(nullptr);
    pendingInput.clear();
}

QList<QByteArray> SimBus::Commands() const
{
    QList<QByteArray> commands;
    for (const SimExchange &exchange : transcript)
        commands.append(exchange.command);
    return commands;
}

} // namespace navix
