#include "serial_platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace navix {

const char *const UsbSerialDevicesFolder = "/sys/bus/usb-serial/devices";

QString UserRuntimeFolder()
{
    const QString given = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!given.isEmpty())
        return given;
    // The same fallback Qt takes, named after the user as the password database knows them.
    QString user = QString::number(getuid());
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_name)
        user = QFile::decodeName(entry->pw_name);
    const QString folder = QDir::tempPath() + QStringLiteral("/runtime-") + user;
    // The folder holds the links to this user's ports: nobody else may put a port there.
    mkdir(QFile::encodeName(folder).constData(), S_IRWXU);
    return folder;
}
QString SerialDeviceFolder()
{
    return QStringLiteral("/dev");
}

QString ResolveSerialDevice(const QString &path)
{
    if (path.isEmpty())
        return QString();
    // canonicalFilePath() is empty for a dangling link: a simulator that has stopped leaves its link behind.
    return QFileInfo(path).canonicalFilePath();
}

bool SerialDeviceAccessible(const QString &device)
{
    // Asked with the effective user and groups, the ones the open itself was refused with.
    return ::faccessat(AT_FDCWD, QFile::encodeName(device).constData(), R_OK | W_OK, AT_EACCESS) == 0;
}

bool SerialInputWaiting(qintptr handle)
{
    int count = 0;
    return handle >= 0 && ::ioctl(static_cast<int>(handle), FIONREAD, &count) == 0 && count > 0;
}

qint64 SerialWriteNow(qintptr handle, const char *data, qint64 size)
{
    if (handle < 0 || size <= 0)
        return 0;
    ssize_t written = -1;
    do
        written = ::write(static_cast<int>(handle), data, static_cast<size_t>(size));
    while (written < 0 && errno == EINTR);
    return written > 0 ? written : 0;
}

bool RequestLowLatency(qintptr handle)
{
#ifdef Q_OS_LINUX
    serial_struct settings{};
    if (handle < 0 || ::ioctl(static_cast<int>(handle), TIOCGSERIAL, &settings) != 0)
        return false;
    if (settings.flags & ASYNC_LOW_LATENCY)
        return true;
    settings.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(static_cast<int>(handle), TIOCSSERIAL, &settings) == 0;
#else
    Q_UNUSED(handle);
    return false;
#endif
}

int AdapterLatencyMs(const QString &adaptersFolder, const QString &device)
{
    if (device.isEmpty())
        return -1;
    QFile timer(adaptersFolder + "/" + QFileInfo(device).fileName() + "/latency_timer");
    if (!timer.open(QIODevice::ReadOnly))
        return -1;
    bool isNumber = false;
    const int milliseconds = timer.readAll().trimmed().toInt(&isNumber);
    return isNumber ? milliseconds : -1;
}

} // namespace navix
