#pragma once
// A navix-sim program run by a test: started with a private runtime folder, so that its port link lands where
// the test's own port listing looks, and killed when the test is done. The including test defines
// NAVIX_SIM_PATH, the path of the built program.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

namespace navix {

// Points this process's runtime folder, where virtual ports are registered, at a private folder of the test,
// so that the navix-sim processes it starts and its own port listing meet there and nowhere else.
inline bool UsePrivateRuntimeFolder(const QTemporaryDir &folder)
{
    if (!folder.isValid())
        return false;
    // The runtime folder must belong to the user alone, or Qt does not take it.
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
    return true;
}

// A running navix-sim; comNumber and device name the port it serves.
class SimProcess
{
public:
    bool Start(const QString &runtimeFolder, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtimeFolder);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(QStringLiteral(NAVIX_SIM_PATH), arguments);
        if (!process.waitForStarted(5000))
            return false;
        // The first line names the port: "navix-sim: COM<n> -> <device>".
        const QRegularExpression announcement("^navix-sim: COM(\\d+) -> (\\S+)");
        const bool announced = QTest::qWaitFor(
            [&] {
                if (!process.canReadLine())
                    return process.state() == QProcess::NotRunning;
                const QRegularExpressionMatch match =
                    announcement.match(QString::fromLocal8Bit(process.readLine()));
                comNumber = match.hasMatch() ? match.captured(1).toInt() : -1;
                device = match.captured(2);
                return true;
            },
            5000);
        return announced && comNumber > 0;
    }

    ~SimProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }

    QProcess process;
    int comNumber = 0;
    QString device;
};

} // namespace navix
