// The simulated modules' command parser, fed arbitrary bytes in arbitrary pieces as a program (or a terminal
// user) could write them to the demo bus. Every command ends at its CR; every reply is framed as on a wire:
// a start character, the body, the checksum where the module uses one, then the CR and nothing after it.
//
// Input: a byte whose low four bits give the piece size less one, then the bytes written.

#include "fuzz_support.h"

#include "bus/text.h"
#include "sim/sim_bus.h"
#include "sim/sim_bus_file.h"

using namespace navix;

namespace {
constexpr int PieceMask = 0x0F;

void CheckReply(const SimExchange &exchange, const SimModule *module)
{
    FuzzCheck(exchange.command.endsWith(CR) && exchange.command.count(CR) == 1, "a command ends at its CR");
    if (exchange.reply.isEmpty())
        return;
    FuzzCheck(module != nullptr, "only a module at the command's address answers");
    const QByteArray &reply = exchange.reply;
    FuzzCheck(QByteArray("!?>").contains(reply.front()), "a reply begins with a start character");
    FuzzCheck(reply.endsWith(CR) && reply.count(CR) == 1, "a reply ends with its CR and holds no other");
    if (module->UsesChecksum()) {
        const QByteArray framed = reply.chopped(1);
        FuzzCheck(ComputeChecksum(framed.chopped(2)) == framed.right(2),
                  "the checksum stands right before the CR");
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int piece = (input.Byte() & PieceMask) + 1;

    SimBus bus;
    static const QByteArray demo = DemoBusText();
    FuzzCheck(LoadBusText(bus, demo).isEmpty(), "the demo bus loads");
    QObject::connect(&bus, &SimBus::Exchanged, [&bus](const SimExchange &exchange) {
        // A line feed left over from the previous line precedes no command; an acknowledged address change
        // ("%" old address, new address, ...) comes from the module now at the new address.
        QByteArray command = exchange.command;
        while (command.startsWith('\n'))
            command.remove(0, 1);
        SimModule *module = bus.Module(HexToInt(Copy(command, 2, 2)));
        if (!module && command.startsWith('%'))
            module = bus.Module(HexToInt(Copy(command, 4, 2)));
        CheckReply(exchange, module);
    });
    while (!input.AtEnd())
        bus.TakeBytes(input.Bytes(piece));
    return 0;
}
