#pragma once
// Tells when the ports of the machine may have changed: a device node came or went in the system's device
// folder (an adapter plugged in or pulled out) or a virtual port was registered or removed. The system says
// so through file system notifications; nothing is polled, so a quiet machine costs nothing. The notice comes
// once the changes have settled, so that one plug-in (several nodes and links) is listed once.

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace navix {

class PortWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int SettleMs = 300;

    explicit PortWatch(QObject *parent = nullptr);

    // Creates the virtual port folder where it is missing, so that registrations in it are seen too.
    void Start();
    void Stop();

signals:
    void Changed();

private:
    QFileSystemWatcher watcher;
    QTimer settle;
};

} // namespace navix
