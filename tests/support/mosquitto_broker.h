#pragma once
// A mosquitto broker for tests: Debian's /usr/sbin/mosquitto, started by the test on 127.0.0.1 on a free port
// with a tiny configuration in a temporary folder of its own, stopped and started again on the same port when
// a test asks, and killed at the end. Header only; needs Qt6::Network and Qt6::Test.
//
//     MosquittoBroker broker;
//     QVERIFY2(broker.Start(), qPrintable(broker.Log()));
//     settings.port = broker.Port();
//     broker.Stop();  // the clients lose it
//     broker.Start(); // the same port again
//
// AddUser before the first Start turns anonymous access off and writes a password file with mosquitto_passwd.
// The broker keeps nothing on disk (persistence false): a restart forgets the retained messages, as a broker
// that lost its disk would.

#include "free_port.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace navix {

class MosquittoBroker
{
public:
    MosquittoBroker() = default;
    ~MosquittoBroker() { Kill(); }
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // Where mosquitto is installed (Debian puts it into /usr/sbin); empty where it is not.
    static QString FindProgram() { return FindTool("mosquitto"); }
    // mosquitto_pub, mosquitto_sub, mosquitto_passwd (Debian's mosquitto-clients and mosquitto).
    static QString FindTool(const QString &name)
    {
        const QString found = QStandardPaths::findExecutable(name);
        return found.isEmpty()
                   ? QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/local/sbin"})
                   : found;
    }

    // Before the first Start: the broker asks for a user name and password, and knows this one.
    bool AddUser(const QString &user, const QString &password)
    {
        QProcess passwd;
        const bool create = !QFile::exists(PasswordFile());
        QStringList arguments{"-b"};
        if (create)
            arguments << "-c";
        arguments << PasswordFile() << user << password;
        passwd.start(FindTool("mosquitto_passwd"), arguments);
        if (!passwd.waitForFinished(10000) || passwd.exitCode() != 0)
            return false;
        withPasswords = true;
        return true;
    }

    // Before Start: the listener speaks TLS with this certificate and key; with a CA, it also asks every
    // client for a certificate signed by it.
    void UseTls(const QString &certFile, const QString &keyFile, const QString &clientCaFile = QString())
    {
        tls = QString("certfile %1\nkeyfile %2\n").arg(certFile, keyFile);
        if (!clientCaFile.isEmpty())
            tls += QString("cafile %1\nrequire_certificate true\n").arg(clientCaFile);
    }

    // Starts the broker and returns once it takes connections (within a few seconds) on Port(), which stays
    // the same for every later Start. False when it did not come up; Log() says why.
    bool Start()
    {
        if (process.state() != QProcess::NotRunning)
            return true;
        if (!folder.isValid())
            return false;
        // A free port can be taken between the look and the broker's bind: try a few on the first start.
        for (int attempt = 0; attempt < (port == 0 ? 3 : 1); ++attempt) {
            const bool first = port == 0;
            if (first)
                port = FreeTcpPort();
            if (StartOn(port))
                return true;
            if (first && attempt + 1 < 3)
                port = 0;
        }
        return false;
    }

    // Ends the broker as a service manager would (SIGTERM), so that it closes its clients' connections.
    void Stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            Kill();
    }

    // Ends the broker at once (SIGKILL).
    void Kill()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.kill();
        process.waitForFinished(5000);
    }

    bool IsRunning() const { return process.state() == QProcess::Running; }
    quint16 Port() const { return port; }
    QString Host() const { return QStringLiteral("127.0.0.1"); }
    QString Folder() const { return folder.path(); }
    // Everything the broker logged since the first start (connections, refusals, its own errors).
    QString Log() const
    {
        QFile file(LogFile());
        QString text = file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
        QFile output(OutputFile());
        if (output.open(QIODevice::ReadOnly))
            text += QString::fromLocal8Bit(output.readAll());
        return text;
    }

    // The arguments mosquitto_pub and mosquitto_sub need to reach this broker.
    QStringList ClientArguments() const { return {"-h", Host(), "-p", QString::number(port)}; }

private:
    QString ConfigFile() const { return folder.filePath("mosquitto.conf"); }
    QString LogFile() const { return folder.filePath("mosquitto.log"); }
    QString PasswordFile() const { return folder.filePath("passwords"); }
    QString OutputFile() const { return folder.filePath("mosquitto.out"); }

    // Run as root, mosquitto drops to the user "mosquitto", who could not read the folder: stay who we are.
    static QString CurrentUser()
    {
        const passwd *entry = getpwuid(getuid());
        return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
    }

    bool WriteConfig(quint16 onPort)
    {
        QFile config(ConfigFile());
        if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        QString text = QString("listener %1 127.0.0.1\n").arg(onPort);
        if (withPasswords)
            text += QString("allow_anonymous false\npassword_file %1\n").arg(PasswordFile());
        else
            text += "allow_anonymous true\n";
        text += tls;
        text += "persistence false\n";
        text += QString("log_dest file %1\n").arg(LogFile());
        text += "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n";
        text += "connection_messages true\n";
        const QString user = CurrentUser();
        if (!user.isEmpty())
            text += QString("user %1\n").arg(user);
        config.write(text.toLocal8Bit());
        return true;
    }

    bool StartOn(quint16 onPort)
    {
        if (!WriteConfig(onPort))
            return false;
        // Into a file, not a pipe nobody reads.
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(OutputFile(), QIODevice::Append);
        process.start(FindProgram(), {"-c", ConfigFile()});
        if (!process.waitForStarted(5000))
            return false;
        const bool ready = QTest::qWaitFor(
            [&] {
                if (process.state() == QProcess::NotRunning)
                    return true;
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, onPort);
                return probe.waitForConnected(200);
            },
            10000);
        if (ready && process.state() == QProcess::Running)
            return true;
        Kill();
        return false;
    }

    QTemporaryDir folder{QDir::tempPath() + "/navix-mosquitto-XXXXXX"};
    QProcess process;
    quint16 port = 0;
    bool withPasswords = false;
    QString tls;
};

} // namespace navix
