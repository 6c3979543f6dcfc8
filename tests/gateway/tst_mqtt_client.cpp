// MqttClient against a real mosquitto broker started by the test on a free loopback port. The independent
// side is a second MqttClient or Debian's mosquitto_pub; the last will is left by a child process (this
// program, started with --will-child) killed with SIGKILL.

#include "gateway/mqtt/mqtt_client.h"
#include "support/mosquitto_broker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <optional>

#include <cstdio>
#include <memory>

using namespace navix;

namespace {

MqttSettings SettingsFor(const MosquittoBroker &broker, const QString &clientId)
{
    MqttSettings settings;
    settings.host = broker.Host();
    settings.port = broker.Port();
    settings.clientId = clientId;
    settings.keepAliveSeconds = 10;
    return settings;
}

struct Received
{
    QString topic;
    QByteArray payload;
    bool retained = false;
};

// What a client received, in order.
class Inbox
{
public:
    explicit Inbox(MqttClient &client)
    {
        QObject::connect(&client, &MqttClient::MessageReceived,
                         [this](const QString &topic, const QByteArray &payload, bool retained) {
                             messages.append({topic, payload, retained});
                         });
    }
    // The first message on the topic, waiting up to the time-out for it.
    std::optional<Received> WaitFor(const QString &topic, int timeoutMs = 10000)
    {
        std::optional<Received> found;
        (void)QTest::qWaitFor(
            [&] {
                for (const Received &m : std::as_const(messages))
                    if (m.topic == topic) {
                        found = m;
                        return true;
                    }
                return false;
            },
            timeoutMs);
        return found;
    }
    bool Has(const QString &topic) const
    {
        return std::any_of(messages.begin(), messages.end(),
                           [&](const Received &m) { return m.topic == topic; });
    }
    QList<Received> messages;
};

bool MosquittoPub(const MosquittoBroker &broker, const QStringList &arguments)
{
    QProcess pub;
    pub.start(MosquittoBroker::FindTool("mosquitto_pub"), broker.ClientArguments() + arguments);
    return pub.waitForFinished(10000) && pub.exitStatus() == QProcess::NormalExit && pub.exitCode() == 0;
}

// Every message the program logs while it lives, navix.mqtt's debug lines included.
class LogCapture
{
public:
    LogCapture()
    {
        QMutexLocker lock(&mutex);
        active = this;
        QLoggingCategory::setFilterRules("navix.mqtt.debug=true");
        previous = qInstallMessageHandler(&LogCapture::Handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        QMutexLocker lock(&mutex);
        active = nullptr;
    }
    QStringList Lines() const
    {
        QMutexLocker lock(&mutex);
        return lines;
    }
    bool Contains(const QString &text) const { return Lines().join('\n').contains(text); }

private:
    static void Handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        QtMessageHandler forward = nullptr;
        {
            QMutexLocker lock(&mutex);
            if (active) {
                active->lines.append(QString::fromLatin1(context.category ? context.category : "") + ": " +
                                     message);
                forward = active->previous;
            }
        }
        if (forward && type != QtDebugMsg && type != QtInfoMsg)
            forward(type, context, message);
    }
    static inline QMutex mutex;
    static inline LogCapture *active = nullptr;
    QtMessageHandler previous = nullptr;
    QStringList lines;
};

// A certificate and key in the folder: self-signed (a CA) without an issuer, else signed by the issuer's.
bool MakeCertificate(const QString &folder, const QString &name, const QString &subject,
                     const QString &issuer, const QString &altName = QString())
{
    const QString openssl = QStandardPaths::findExecutable("openssl");
    auto run = [&](const QStringList &arguments) {
        QProcess process;
        process.setWorkingDirectory(folder);
        process.start(openssl, arguments);
        return process.waitForFinished(30000) && process.exitCode() == 0;
    };
    const QStringList key{"-newkey",       "ec",      "-pkeyopt",    "ec_paramgen_curve:prime256v1",
                          "-nodes",        "-keyout", name + ".key", "-subj",
                          "/CN=" + subject};
    if (issuer.isEmpty())
        return run(QStringList{"req", "-x509", "-days", "2", "-out", name + ".pem"} + key);
    QFile extensions(folder + "/" + name + ".ext");
    if (!extensions.open(QIODevice::WriteOnly))
        return false;
    if (!altName.isEmpty())
        extensions.write("subjectAltName=" + altName.toLatin1() + "\n");
    extensions.close();
    return run(QStringList{"req", "-out", name + ".csr"} + key) &&
           run({"x509", "-req", "-in", name + ".csr", "-CA", issuer + ".pem", "-CAkey", issuer + ".key",
                "-CAcreateserial", "-days", "2", "-extfile", name + ".ext", "-out", name + ".pem"});
}

// The child of lastWillArrivesWhenTheClientDies: connects with a last will, says so on its standard output
// and waits to be killed.
int RunWillChild(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 5)
        return 2;
    MqttSettings settings;
    settings.host = QString::fromLocal8Bit(argv[2]);
    settings.port = QByteArray(argv[3]).toInt();
    settings.clientId = "will-child";
    settings.willTopic = QString::fromLocal8Bit(argv[4]);
    settings.willPayload = "offline";
    settings.keepAliveSeconds = 10;
    MqttClient client(settings);
    QObject::connect(&client, &MqttClient::Connected, [&] {
        client.Publish(settings.willTopic, "online", 1, true);
        std::fputs("connected\n", stdout);
        std::fflush(stdout);
    });
    client.Start();
    return app.exec();
}

} // namespace

class MqttClientTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void publishAndSubscribeCarryTheRetainedFlag();
    void reconnectsAfterTheBrokerRestartsAndSubscribesAgain();
    void publishWhileDisconnectedIsDropped();
    void lastWillArrivesWhenTheClientDies();
    void cleanStopLeavesNoLastWill();
    void wrongPasswordIsRefusedAndRetriedWithoutBlocking();
    void tlsWithClientCertificateAndUntrustedBroker();
    void stopAndDestroyWhileConnectingArePrompt();
};

void MqttClientTest::initTestCase()
{
    if (MosquittoBroker::FindProgram().isEmpty() || MosquittoBroker::FindTool("mosquitto_pub").isEmpty())
        QSKIP("mosquitto or mosquitto_pub is missing (scripts/install-deps installs mosquitto and "
              "mosquitto-clients)");
}

void MqttClientTest::publishAndSubscribeCarryTheRetainedFlag()
{
    MosquittoBroker broker;
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
    MqttClient listener(SettingsFor(broker, "listener"));
    MqttClient talker(SettingsFor(broker, "talker"));
    Inbox heard(listener);
    QSignalSpy listenerUp(&listener, &MqttClient::Connected);
    QSignalSpy talkerUp(&talker, &MqttClient::Connected);
    listener.Subscribe("t/#", 1);
    listener.Start();
    talker.Start();
    QTRY_COMPARE_WITH_TIMEOUT(listenerUp.count(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(talkerUp.count(), 1, 10000);
    QVERIFY(listener.IsConnected());
    QVERIFY(talker.IsConnected());

    // Live deliveries carry the retain flag as it was published, so that a retained command is seen for one.
    talker.Publish("t/live", "1.5", 1, false);
    talker.Publish("t/kept", "on", 1, true);
    const auto live = heard.WaitFor("t/live");
    QVERIFY(live);
    QCOMPARE(live->payload, QByteArray("1.5"));
    QCOMPARE(live->retained, false);
    const auto kept = heard.WaitFor("t/kept");
    QVERIFY(kept);
    QCOMPARE(kept->retained, true);

    // A client that subscribes later gets the held message, marked retained.
    MqttClient late(SettingsFor(broker, "late"));
    Inbox lateHeard(late);
    late.Subscribe("t/#", 1);
    late.Start();
    const auto held = lateHeard.WaitFor("t/kept");
    QVERIFY(held);
    QCOMPARE(held->payload, QByteArray("on"));
    QCOMPARE(held->retained, true);
    QVERIFY(!lateHeard.Has("t/live"));

    // An empty retained payload clears it.
    talker.Publish("t/kept", QByteArray(), 1, true);
    QTRY_VERIFY_WITH_TIMEOUT(std::count_if(lateHeard.messages.begin(), lateHeard.messages.end(),
                                           [](const Received &m) { return m.topic == "t/kept"; }) == 2,
                             10000);
    QCOMPARE(lateHeard.messages.last().payload, QByteArray());
}

void MqttClientTest::reconnectsAfterTheBrokerRestartsAndSubscribesAgain()
{
    MosquittoBroker broker;
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
    MqttClient client(SettingsFor(broker, "survivor"));
    Inbox heard(client);
    QSignalSpy up(&client, &MqttClient::Connected);
    QSignalSpy down(&client, &MqttClient::Disconnected);
    client.Subscribe("cmd/#", 1);
    client.Start();
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 10000);

    broker.Stop();
    QTRY_COMPARE_WITH_TIMEOUT(down.count(), 1, 10000);
    QVERIFY(!client.IsConnected());
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
    // Back by itself within the first back-offs (0.5-1 s, then 1-2 s, ...).
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 2, 20000);
    QVERIFY(client.IsConnected());
    QCOMPARE(down.count(), 1);

    // The subscription was made again: the restarted broker knew nothing of it.
    QVERIFY(MosquittoPub(broker, {"-t", "cmd/do0/set", "-m", "1", "-q", "1"}));
    const auto command = heard.WaitFor("cmd/do0/set");
    QVERIFY(command);
    QCOMPARE(command->payload, QByteArray("1"));
    QCOMPARE(command->retained, false);
}

void MqttClientTest::publishWhileDisconnectedIsDropped()
{
    MosquittoBroker broker;
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
    MqttClient client(SettingsFor(broker, "dropper"));
    QSignalSpy up(&client, &MqttClient::Connected);
    QSignalSpy down(&client, &MqttClient::Disconnected);
    client.Start();
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 10000);
    broker.Stop();
    QTRY_COMPARE_WITH_TIMEOUT(down.count(), 1, 10000);
    client.Publish("v/old", "stale", 1, true);
    client.Publish("v/old0", "stale", 0, false);
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 2, 20000);

    // A watcher that subscribes now sees the marker published after the reconnect, and nothing from before.
    MqttClient watcher(SettingsFor(broker, "watcher"));
    Inbox seen(watcher);
    QSignalSpy watcherUp(&watcher, &MqttClient::Connected);
    watcher.Subscribe("v/#", 1);
    watcher.Start();
    QTRY_COMPARE_WITH_TIMEOUT(watcherUp.count(), 1, 10000);
    client.Publish("v/marker", "now", 1, false);
    QVERIFY(seen.WaitFor("v/marker"));
    QVERIFY(!seen.Has("v/old"));
    QVERIFY(!seen.Has("v/old0"));
}

void MqttClientTest::lastWillArrivesWhenTheClientDies()
{
    MosquittoBroker broker;
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
    MqttClient watcher(SettingsFor(broker, "will-watcher"));
    Inbox seen(watcher);
    QSignalSpy watcherUp(&watcher, &MqttClient::Connected);
    watcher.Subscribe("gw/status", 1);
    watcher.Start();
    QTRY_COMPARE_WITH_TIMEOUT(watcherUp.count(), 1, 10000);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {"--will-child", broker.Host(), QString::number(broker.Port()), "gw/status"});
    QVERIFY(child.waitForStarted(10000));
    QByteArray childOutput;
    QTRY_VERIFY_WITH_TIMEOUT((childOutput += child.readAllStandardOutput()).contains("connected"), 10000);
    const auto online = seen.WaitFor("gw/status");
    QVERIFY(online);
    QCOMPARE(online->payload, QByteArray("online"));

    child.kill(); // no DISCONNECT: the broker publishes the will
    QVERIFY(child.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(seen.messages.size() >= 2, 10000);
    QCOMPARE(seen.messages.last().topic, QString("gw/status"));
    QCOMPARE(seen.messages.last().payload, QByteArray("offline"));

    // Held retained for whoever comes later.
    MqttClient late(SettingsFor(broker, "will-late"));
    Inbox lateSeen(late);
    late.Subscribe("gw/status", 1);
    late.Start();
    const auto held = lateSeen.WaitFor("gw/status");
    QVERIFY(held);
    QCOMPARE(held->payload, QByteArray("offline"));
    QCOMPARE(held->retained, true);
}

void MqttClientTest::cleanStopLeavesNoLastWill()
{
    MosquittoBroker broker;
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
    MqttClient watcher(SettingsFor(broker, "stop-watcher"));
    Inbox seen(watcher);
    QSignalSpy watcherUp(&watcher, &MqttClient::Connected);
    watcher.Subscribe("gw/#", 1);
    watcher.Start();
    QTRY_COMPARE_WITH_TIMEOUT(watcherUp.count(), 1, 10000);

    MqttSettings settings = SettingsFor(broker, "stopper");
    settings.willTopic = "gw/status";
    settings.willPayload = "offline";
    MqttClient client(settings);
    QSignalSpy up(&client, &MqttClient::Connected);
    QSignalSpy down(&client, &MqttClient::Disconnected);
    client.Start();
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 10000);
    // What is published right before the stop still goes out, ahead of the DISCONNECT (a gateway's last
    // word).
    client.Publish("gw/status", "stopped", 1, true);
    client.Stop();
    QCOMPARE(down.count(), 1);
    QVERIFY(!client.IsConnected());
    QTRY_VERIFY2_WITH_TIMEOUT(broker.Log().contains("Client stopper disconnected."), qPrintable(broker.Log()),
                              10000);

    // Whatever came after the stop, the marker comes after it: no will in between.
    QVERIFY(MosquittoPub(broker, {"-t", "gw/marker", "-m", "x", "-q", "1"}));
    QVERIFY(seen.WaitFor("gw/marker"));
    QStringList statuses;
    for (const Received &m : std::as_const(seen.messages))
        if (m.topic == "gw/status")
            statuses.append(QString::fromUtf8(m.payload));
    QCOMPARE(statuses, QStringList{"stopped"});
    QCOMPARE(down.count(), 1); // no second Disconnected from the thread's late hand-over
}

void MqttClientTest::wrongPasswordIsRefusedAndRetriedWithoutBlocking()
{
    MosquittoBroker broker;
    QVERIFY(broker.AddUser("gw", "right-one"));
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));

    LogCapture log;
    MqttSettings wrong = SettingsFor(broker, "intruder");
    wrong.username = "gw";
    wrong.password = "Wrong-Secret-42";
    MqttClient refused(wrong);
    QSignalSpy refusedUp(&refused, &MqttClient::Connected);

    // The event loop keeps ticking all the while: the longest gap between 10 ms ticks stays short.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    sinceTick.start();
    ticker.start(10);
    refused.Start();
    // Refused, and tried again after the back-off.
    QTRY_VERIFY_WITH_TIMEOUT(broker.Log().count("Client <unknown> disconnected, not authorised.") >= 2,
                             15000);
    ticker.stop();
    QCOMPARE(refusedUp.count(), 0);
    QVERIFY(!refused.IsConnected());
    QVERIFY2(longestGap < 250, qPrintable(QString("the event loop stood for %1 ms").arg(longestGap)));

    MqttSettings right = wrong;
    right.clientId = "gw";
    right.password = "right-one";
    MqttClient accepted(right);
    QSignalSpy acceptedUp(&accepted, &MqttClient::Connected);
    accepted.Start();
    QTRY_COMPARE_WITH_TIMEOUT(acceptedUp.count(), 1, 10000);
    refused.Stop();
    accepted.Stop();

    QVERIFY(log.Contains("refused the connection"));
    for (const QString &line : log.Lines()) {
        QVERIFY2(!line.contains("Wrong-Secret-42"), qPrintable(line));
        QVERIFY2(!line.contains("right-one"), qPrintable(line));
    }
}

void MqttClientTest::tlsWithClientCertificateAndUntrustedBroker()
{
    if (QStandardPaths::findExecutable("openssl").isEmpty())
        QSKIP("openssl is missing (Debian package openssl)");
    QTemporaryDir folder;
    const QString at = folder.path() + "/";
    QVERIFY(MakeCertificate(folder.path(), "ca", "navix test CA", ""));
    QVERIFY(MakeCertificate(folder.path(), "other-ca", "another CA", ""));
    QVERIFY(MakeCertificate(folder.path(), "broker", "127.0.0.1", "ca", "IP:127.0.0.1"));
    QVERIFY(MakeCertificate(folder.path(), "gateway", "gateway", "ca"));
    MosquittoBroker broker;
    broker.UseTls(at + "broker.pem", at + "broker.key", at + "ca.pem"); // and asks for a client certificate
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));

    LogCapture log;
    MqttSettings trusting = SettingsFor(broker, "tls-gateway");
    trusting.tls = MqttTls{at + "ca.pem", at + "gateway.pem", at + "gateway.key"};
    MqttClient client(trusting);
    Inbox heard(client);
    QSignalSpy up(&client, &MqttClient::Connected);
    client.Subscribe("tls/#", 1);
    client.Start();
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 10000);
    client.Publish("tls/echo", "through TLS", 1, false);
    const auto echo = heard.WaitFor("tls/echo");
    QVERIFY(echo);
    QCOMPARE(echo->payload, QByteArray("through TLS"));

    // A broker whose certificate another CA signed is not talked to.
    MqttSettings suspicious = trusting;
    suspicious.clientId = "tls-suspicious";
    suspicious.tls = MqttTls{at + "other-ca.pem", at + "gateway.pem", at + "gateway.key"};
    MqttClient refused(suspicious);
    QSignalSpy refusedUp(&refused, &MqttClient::Connected);
    refused.Start();
    QTRY_VERIFY_WITH_TIMEOUT(log.Contains("cannot connect to " + broker.Host()), 10000);
    QCOMPARE(refusedUp.count(), 0);
    QVERIFY(!broker.Log().contains("as tls-suspicious"));
}

void MqttClientTest::stopAndDestroyWhileConnectingArePrompt()
{
    // Nothing listens on this port: the client keeps failing and backing off.
    MqttSettings settings;
    settings.host = "127.0.0.1";
    settings.port = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }();
    LogCapture log;
    QElapsedTimer timer;
    for (int round = 0; round < 4; ++round) {
        auto client = std::make_unique<MqttClient>(settings);
        QSignalSpy down(client.get(), &MqttClient::Disconnected);
        const int failuresBefore = int(log.Lines().filter("cannot connect").size());
        client->Start();
        // Rounds 0 and 1 end it at once, in its first attempt; rounds 2 and 3 once it failed, in its
        // back-off.
        if (round >= 2)
            QTRY_VERIFY_WITH_TIMEOUT(log.Lines().filter("cannot connect").size() > failuresBefore, 10000);
        timer.start();
        if (round % 2)
            client->Stop();
        client.reset();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString("took %1 ms").arg(timer.elapsed())));
        QCOMPARE(down.count(), 0);
    }
    // Started again after a stop, it connects.
    MosquittoBroker broker;
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
    MqttClient client(SettingsFor(broker, "again"));
    QSignalSpy up(&client, &MqttClient::Connected);
    client.Start();
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 10000);
    client.Stop();
    client.Start();
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 2, 10000);
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--will-child") == 0)
        return RunWillChild(argc, argv);
    QCoreApplication app(argc, argv);
    MqttClientTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mqtt_client.moc"
