#pragma once
// A pseudo-terminal for tests that open a real serial device: the slave side stands in for an adapter, the
// master side (non-blocking) for the bus behind it. It can be registered as a virtual COM port the way
// navix-sim registers its own.

#include "bus/port_names.h"

#include <QByteArray>
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
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0)
            return;
        const char *name = nullptr;
        if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || (name = ::ptsname(master)) == nullptr) {
            Close();
            return;
        }
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        slavePath = QString::fromLocal8Bit(name);
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
    int Master() const { return master; }

    // Makes the slave known as COM<number> (replacing an earlier link of that name) until this goes.
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

    // Writes as much of pending as the terminal takes now and removes it from pending; true when all is out.
    bool WriteSome(QByteArray &pending)
    {
        while (!pending.isEmpty()) {
            const ssize_t written = ::write(master, pending.constData(), static_cast<size_t>(pending.size()));
            if (written <= 0)
                return false;
            pending.remove(0, written);
        }
        return true;
    }
    bool Write(QByteArray bytes) { return WriteSome(bytes); }

    // Everything the port has sent so far.
    QByteArray Received()
    {
        char chunk[512];
        ssize_t count;
        while ((count = ::read(master, chunk, sizeof chunk)) > 0)
            received.append(chunk, static_cast<qsizetype>(count));
        return received;
    }

private:
    int master = -1;
    QString slavePath;
    QString linkPath;
    QByteArray received;
};

} // namespace navix
