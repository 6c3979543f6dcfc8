#include "sim_control.h"

#include "bus/text.h"

#include <QList>

namespace navix {

namespace {

bool IsHexByte(const QByteArray &text)
{
    static const QByteArray digits = "0123456789ABCDEFabcdef";
    return text.size() == 2 && digits.contains(text[0]) && digits.contains(text[1]);
}

SimModule *ModuleAt(SimBus &bus, const QByteArray &addressText)
{
    if (!IsHexByte(addressText))
        return nullptr;
    const int address = HexToInt(addressText.toUpper());
    for (SimModule *module : bus.Modules())
        if (module->address == address)
            return module;
    return nullptr;
}

bool HasInputs(const SimModule &module)
{
    return module.kind == SimKind::Digital4050 || module.kind == SimKind::Input4052 ||
           module.kind == SimKind::Input4152;
}

} // namespace

QString ApplyControlLine(SimBus &bus, const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const QByteArray &verb = words.first();
    if (verb == "power-up" && words.size() == 1) {
        for (SimModule *module : bus.Modules())
            module->initMode = false;
        return {};
    }
    if ((verb != "inputs" && verb != "lose") || words.size() != 3)
        return QStringLiteral("unknown control \"%1\"").arg(QString::fromLatin1(line.trimmed()));
    SimModule *module = ModuleAt(bus, words[1]);
    if (!module)
        return QStringLiteral("no module at %1").arg(QString::fromLatin1(words[1]));
    if (verb == "inputs") {
        if (!HasInputs(*module) || !IsHexByte(words[2]))
            return QStringLiteral("inputs wants a module with digital inputs and two hex digits");
        module->inputs = static_cast<quint8>(HexToInt(words[2].toUpper()));
        return {};
    }
    if (words[2] != "all" && words[2] != "none")
        return QStringLiteral("lose wants all or none");
    module->loseAllReplies = words[2] == "all";
    return {};
}

} // namespace navix
