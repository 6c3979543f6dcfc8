// The simulator's bus file reader, fed arbitrary file contents. A file is taken whole or refused whole with a
// message naming its line; a bus taken has modules with well-formed configurations, never two at one address.
//
// Input: the file's bytes.

#include "fuzz_support.h"

#include "bus/text.h"
#include "sim/sim_bus.h"
#include "sim/sim_bus_file.h"

using namespace navix;

namespace {
constexpr int AddressCount = 256;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    SimBus bus;
    const QString problem = LoadBusText(bus, text);
    if (!problem.isEmpty()) {
        FuzzCheck(problem.startsWith("line "), "a refusal names the line");
        FuzzCheck(bus.Modules().isEmpty(), "a refused file adds nothing");
        return 0;
    }
    const QList<SimModule *> modules = bus.Modules();
    for (const SimModule *module : modules) {
        const QByteArray config = module->Config();
        FuzzCheck(config.size() == 8 && IsUpperHex(config), "a module's configuration is eight hex digits");
    }
    for (int address = 0; address < AddressCount; ++address) {
        int answering = 0;
        for (const SimModule *module : modules)
            answering += module->OffsetAt(address) >= 0 ? 1 : 0;
        FuzzCheck(answering <= 1, "no two modules answer at one address");
    }
    return 0;
}
