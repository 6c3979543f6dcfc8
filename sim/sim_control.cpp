#include "sim_control.h"

#include "sim_bus.h"
#include "sim_module.h"

#include <QList>

namespace navix {

QString ApplyControlLine(SimBus &bus, const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() != 3 || words[0] != "inputs")
        return QStringLiteral("unknown control line \"%1\" (inputs AA HH)")
            .arg(QString::fromLatin1(line.trimmed()));
    bool addressOk = false;
    bool valueOk = false;
    const int address = words[1].toInt(&addressOk, 16);
    const int value = words[2].toInt(&valueOk, 16);
    if (!addressOk || words[1].size() != 2 || !valueOk || value < 0 || value > 0xFF)
        return QStringLiteral("inputs wants an address and a value of two hex digits each");
    SimModule *module = bus.Module(address);
    if (!module)
        return QStringLiteral("no module at %1").arg(QString::fromLatin1(words[1]));
    if (module->kind != SimKind::Digital4050 && module->kind != SimKind::Input4052 &&
        module->kind != SimKind::Input4152)
        return QStringLiteral("the module at %1 has no digital inputs").arg(QString::fromLatin1(words[1]));
    module->inputs = static_cast<quint8>(value);
    return {};
}

} // namespace navix
