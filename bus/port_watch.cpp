#include "port_watch.h"

#include "port_names.h"
#include "serial_platform.h"

#include <QDir>

namespace navix {

PortWatch::PortWatch(QObject *parent) : QObject(parent)
{
    settle.setSingleShot(true);
    settle.setInterval(SettleMs);
    connect(&settle, &QTimer::timeout, this, &PortWatch::Changed);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, &settle, qOverload<>(&QTimer::start));
}

void PortWatch::Start()
{
    QDir().mkpath(VirtualPortFolder());
    const QStringList folders = {SerialDeviceFolder(), VirtualPortFolder()};
    for (const QString &folder : folders)
        if (!watcher.directories().contains(folder))
            watcher.addPath(folder);
}

void PortWatch::Stop()
{
    settle.stop();
    if (!watcher.directories().isEmpty())
        watcher.removePaths(watcher.directories());
}

} // namespace navix
