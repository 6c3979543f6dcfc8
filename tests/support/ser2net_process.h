#pragma once
// A ser2net process for tests of network ports: Debian's serial device server, started by the test on the
// loopback address, bridging one raw TCP port to a serial device (a navix-sim pseudo-terminal).

#include "free_port.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace navix {

// A ser2net process serving one raw TCP port on 127.0.0.1 for one serial device.
class Ser2Net
{
public:
    Ser2Net(QString program, const QString &folder) : program(std::move(program)), folder(folder) {}
    // Where ser2net is installed (Debian puts it into /usr/sbin); empty where it is not.
    static QString FindProgram()
    {
        const QString found = QStandardPaths::findExecutable("ser2net");
        return found.isEmpty()
                   ? QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/sbin", "/usr/local/sbin"})
                   : found;
    }
    ~Ser2Net() { Stop(); }

    bool Start(const QString &device, quint16 tcpPort)
    {
        port = tcpPort;
        QFile config(folder + "/ser2net.yaml");
        if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        config.write(QString("connection: &navix\n"
                             "  accepter: tcp,127.0.0.1,%1\n"
                             "  connector: serialdev,%2,9600n81,local\n")
                         .arg(port)
                         .arg(device)
                         .toLocal8Bit());
        config.close();
        // -n: stay in the foreground, -u: no UUCP lock files, -P: a pid file of the test's own.
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {"-n", "-u", "-c", config.fileName(), "-P", folder + "/ser2net.pid"});
        if (!process.waitForStarted(5000))
            return false;
        // Ready once it takes connections.
        return QTest::qWaitFor(
                   [&] {
                       QTcpSocket probe;
                       probe.connectToHost(QHostAddress::LocalHost, port);
                       return probe.waitForConnected(200) || process.state() == QProcess::NotRunning;
                   },
                   5000) &&
               process.state() == QProcess::Running;
    }

    void Stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(2000);
        }
    }

    QString Output() { return QString::fromLocal8Bit(process.readAll()); }

    QProcess process;

private:
    QString program;
    QString folder;
    quint16 port = 0;
};

} // namespace navix
