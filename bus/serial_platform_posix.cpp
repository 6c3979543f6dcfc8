#include "serial_platform.h"

#include <QFileInfo>

#include <unistd.h>

QString ResolveSerialDevice(const QString &path)
{
    if (path.isEmpty())
        return QString();
    // canonicalFilePath() is empty for a dangling link: a simulator that has stopped leaves its link behind.
    return QFileInfo(path).canonicalFilePath();
}

bool SerialDeviceAccessible(const QString &device)
{
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
}
