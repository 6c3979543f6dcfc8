#pragma once
// A pseudo-terminal for tests that open a real serial device: the slave side stands in for an adapter, the
// master side for the bus behind it. It can be registered as a virtual COM port the way navix-sim registers
// its own.

#include "bus/port_names.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace navix {

class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slavePath = QString::fromLocal8Bit(ptsname(master));
    }
    ~PseudoTerminal()
    {
        Close();
        if (!linkPath.isEmpty())
            QFile::remove(linkPath);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool IsValid() const { return master >= 0 && !slavePath.isEmpty(); }
    QString SlavePath() const { return slavePath; }

    // Makes the slave known as COM<number> (replacing an earlier link of that name).
    bool Register(int number)
    {
        const QString folder = VirtualPortFolder();
        if (!QDir().mkpath(folder))
            return false;
        linkPath = folder + "/COM" + QString::number(number);
        QFile::remove(linkPath);
        return QFile::link(slavePath, linkPath);
    }

    // The far end goes away, as when an adapter is unplugged.
    void Close()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

private:
    int master = -1;
    QString slavePath;
    QString linkPath;
};

} // namespace navix
