#include "sim_pty.h"

#include "bus/port_names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace navix {

namespace {
constexpr int FirstVirtualCom = 20;
constexpr int LastVirtualCom = 255;
constexpr int PresencePollMs = 20;
const QString PseudoTerminalFolder = QStringLiteral("/dev/pts/");

speed_t SpeedOf(int baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

int BaudOf(speed_t speed)
{
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

QString SystemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

int TakeComNumberLock(int number)
{
    const QString folder = QFileInfo(VirtualPortFolder()).path() + QStringLiteral("/port-locks");
    if (!QDir().mkpath(folder))
        return -1;
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/COM%1.lock").arg(number));
    const int descriptor = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return -1;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

bool VirtualComEntryFree(const QString &entryPath)
{
    const QFileInfo entry(entryPath);
    if (!entry.isSymLink())
        return !entry.exists();
    const QString target = entry.symLinkTarget();
    return !QFileInfo::exists(target) || target.startsWith(PseudoTerminalFolder);
}

PtyServer::PtyServer(QObject *parent) : QObject(parent)
{
    presencePoll.setInterval(PresencePollMs);
    connect(&presencePoll, &QTimer::timeout, this, &PtyServer::ReadMaster);
}

PtyServer::~PtyServer()
{
    Unregister();
    if (master >= 0)
        ::close(master);
}

QString PtyServer::Open(int baud)
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return SystemError("posix_openpt");
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return SystemError("grantpt/unlockpt");
    const char *name = ::ptsname(master);
    if (!name)
        return SystemError("ptsname");
    slavePath = QString::fromLocal8Bit(name);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    // Raw mode on the line, so that no CR becomes a line feed and nothing is echoed before a program has set
    // the line up itself.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0)
        return SystemError("open slave");
    termios settings{};
    if (::tcgetattr(slave, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, SpeedOf(baud));
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    ::close(slave);

    readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &PtyServer::ReadMaster);
    readNotifier->setEnabled(false);
    writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    connect(writeNotifier, &QSocketNotifier::activated, this, &PtyServer::FlushOutput);
    writeNotifier->setEnabled(false);
    presencePoll.start();
    return {};
}

QString PtyServer::Register(int requested)
{
    const QString folder = VirtualPortFolder();
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot create the port folder %1").arg(folder);
    const QMap<int, QString> ports = EnumerateComPorts();
    const auto entry = [&](int number) { return folder + QStringLiteral("/COM%1").arg(number); };
    // A system device with that number; the folder's own entry is judged by VirtualComEntryFree.
    const auto device = [&](int number) {
        const QString path = ports.value(number);
        return path == entry(number) ? QString() : path;
    };
    // Holds the lock of number when the number can be served; otherwise says why not.
    const auto take = [&](int number) -> QString {
        if (!device(number).isEmpty())
            return QStringLiteral("COM%1 is the device %2").arg(number).arg(device(number));
        const int lock = TakeComNumberLock(number);
        if (lock < 0)
            return QStringLiteral("COM%1 is in use by another navix-sim").arg(number);
        if (!VirtualComEntryFree(entry(number))) {
            ::close(lock);
            return QStringLiteral("COM%1 is in use (%2)").arg(number).arg(entry(number));
        }
        comLock = lock;
        return {};
    };
    int number = 0;
    if (requested > 0) {
        const QString refusal = take(requested);
        if (!refusal.isEmpty())
            return refusal;
        number = requested;
    } else {
        for (int candidate = FirstVirtualCom; candidate <= LastVirtualCom && number == 0; ++candidate)
            if (take(candidate).isEmpty())
                number = candidate;
        if (number == 0)
            return QStringLiteral("no free COM number from COM%1 up").arg(FirstVirtualCom);
    }
    QFile::remove(entry(number)); // a link left behind by a simulator that did not end cleanly
    if (!QFile::link(slavePath, entry(number))) {
        ReleaseComLock();
        return QStringLiteral("cannot create the link %1").arg(entry(number));
    }
    linkPath = entry(number);
    comNumber = number;
    return {};
}

void PtyServer::Unregister()
{
    // Only our own link goes: another simulator may have taken the number since.
    if (!linkPath.isEmpty() && QFileInfo(linkPath).symLinkTarget() == slavePath)
        QFile::remove(linkPath);
    linkPath.clear();
    ReleaseComLock();
}

void PtyServer::ReleaseComLock()
{
    if (comLock >= 0)
        ::close(comLock);
    comLock = -1;
}

void PtyServer::ReadMaster()
{
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(master, buffer, sizeof buffer);
        if (count > 0) {
            SetClientPresent(true);
            emit BytesReceived(QByteArray(buffer, static_cast<qsizetype>(count)));
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            SetClientPresent(true);
            return;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // EIO (or end of file): no program has the slave open.
        SetClientPresent(false);
        return;
    }
}

void PtyServer::SetClientPresent(bool present)
{
    if (present == clientPresent)
        return;
    clientPresent = present;
    readNotifier->setEnabled(present);
    if (present) {
        presencePoll.stop();
        emit ClientOpened();
    } else {
        output.clear();
        writeNotifier->setEnabled(false);
        presencePoll.start();
        emit ClientClosed();
    }
}

int PtyServer::LineBaud() const
{
    // Asked on the master, the terminal settings are those of the slave side the program opened.
    termios settings{};
    if (master < 0 || ::tcgetattr(master, &settings) != 0)
        return 0;
    return BaudOf(::cfgetospeed(&settings));
}

void PtyServer::Write(const QByteArray &bytes)
{
    if (!clientPresent || master < 0)
        return;
    output += bytes;
    FlushOutput();
}

void PtyServer::FlushOutput()
{
    while (!output.isEmpty()) {
        const ssize_t count = ::write(master, output.constData(), static_cast<size_t>(output.size()));
        if (count > 0) {
            output.remove(0, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            writeNotifier->setEnabled(true); // the line is full; go on when the program has read
            return;
        }
        output.clear(); // the far end is gone
        break;
    }
    writeNotifier->setEnabled(false);
}

} // namespace navix
