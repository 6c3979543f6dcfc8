#pragma once
// The bus the gateway's tests poll: the simulated line and the same modules as the utility saved them.

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace navix {

// A 4050 and a 4021 (4 to 20 mA) that may be set, a 4052 that may not, a 4013 that never answers.
inline const QByteArray SimBusFile = "4050 0A400600\n4021 03310600\n4052 05400600\n4013 01200600 lose=all\n";
inline const QByteArray ModuleFile =
    "4050,0A400600\r\nEND\r\n4021,03310600\r\nEND\r\n4052,05400600\r\nEND\r\n4013,01200600\r\nEND\r\n";

// The output writes in a navix-sim trace (--trace), in order: "#AA<CR>" reads an analog input; a write carries
// its data after the address.
inline QStringList OutputWrites(const QByteArray &trace)
{
    static const QRegularExpression write("  (#[0-9A-F]{2}[^<]+)<CR>  ->");
    QStringList writes;
    for (auto match = write.globalMatch(QString::fromLatin1(trace)); match.hasNext();)
        writes.append(match.next().captured(1));
    return writes;
}

} // namespace navix
