#include "serial_platform.h"

#include <QFileInfo>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

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
