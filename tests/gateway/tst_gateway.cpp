// navix-gateway as a service runs: the program against a mosquitto broker and navix-sim buses, watched
// through the broker as a plant's client would. The status and its last will, retained states with names and
// quality, a dead module offline, sets and their results (a retained one refused, nothing on the wire), the
// broker and the simulator going away and coming back, and SIGHUP with a broken and a good file.

#include "gateway/mqtt/mqtt_client.h"
#include "gateway_test_bus.h"
#include "support/mosquitto_broker.h"
#include "support/sim_process.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace navix;

namespace {
constexpr int BoundMs = 20000;

struct Message
{
    QString topic;
    QByteArray payload;
    bool retained = false;
};
} // namespace

class GatewayTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void statusStatesAndTheLastWill();
    void setsAndTheirResults();
    void retainedSetIsRefused();
    void brokerAndSimulatorComeBack();
    void reloadOnHangup();
    void checkOption();

private:
    QString WriteConfig(const QString &fileName, const QString &busesText, const QString &mqttExtra = {});
    QString BusText(const QString &bus, int com, const QString &modules, const QString &writable) const;
    bool StartGateway();
    bool StartSim(SimProcess &sim, const QString &busFile, int com = 0);
    void Listen();
    QByteArray Last(const QString &topic) const;
    QJsonObject LastJson(const QString &topic) const { return QJsonDocument::fromJson(Last(topic)).object(); }
    QJsonObject SetAndWait(const QString &point, const QByteArray &payload, const QString &id);
    QStringList WritesHeard();
    // Each test's gateway has a name of its own, so that no retained message of another misleads it.
    QString Topic(const QString &rest) const { return "navix/" + name + '/' + rest; }

    QTemporaryDir folder;
    MosquittoBroker broker;
    std::unique_ptr<SimProcess> sim;
    QByteArray simLog;
    QProcess gateway;
    QString configPath;
    QString name;
    std::unique_ptr<MqttClient> listener;
    QList<Message> messages;
};

void GatewayTest::initTestCase()
{
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
    if (MosquittoBroker::FindProgram().isEmpty())
        QSKIP("mosquitto is not installed (scripts/install-deps)");
    QVERIFY(UsePrivateRuntimeFolder(folder));
    qputenv("NAVIX_SETTINGS", QFile::encodeName(folder.filePath("navix-utility.conf")));
    for (const auto &[name, text] : {std::pair{"bus.txt", SimBusFile}, std::pair{"bus1.cfg", ModuleFile},
                                     std::pair{"bus2.txt", QByteArray("4052 05400600\n")},
                                     std::pair{"bus2.cfg", QByteArray("4052,05400600\r\nEND\r\n")}}) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
}

void GatewayTest::init()
{
    messages.clear();
    simLog.clear();
    name = QString::fromLatin1(QTest::currentTestFunction());
    sim = std::make_unique<SimProcess>();
    QVERIFY(StartSim(*sim, folder.filePath("bus.txt")));
    Listen();
    configPath = WriteConfig("gateway.yaml", BusText("bus1", sim->comNumber, "bus1.cfg", "[\"0A\", \"03\"]"));
}

void GatewayTest::cleanup()
{
    // What the gateway logged, for a test that failed.
    if (QTest::currentTestFailed())
        qWarning().noquote() << gateway.readAllStandardError() << broker.Log().right(3000);
    if (gateway.state() != QProcess::NotRunning) {
        gateway.kill();
        gateway.waitForFinished(BoundMs);
    }
    listener.reset();
    sim.reset();
}

bool GatewayTest::StartSim(SimProcess &process, const QString &busFile, int com)
{
    QStringList arguments{"--bus", busFile, "--trace", "--frozen", "--control", "--close-grace", "-1"};
    if (com > 0)
        arguments << "--com" << QString::number(com);
    return process.Start(folder.path(), arguments);
}

QString GatewayTest::BusText(const QString &bus, int com, const QString &modules,
                             const QString &writable) const
{
    return QStringLiteral(
               "  - name: %1\n    port: COM%2\n    timeout_ms: 50\n    modules: %3\n    writable: %4\n")
        .arg(bus)
        .arg(com)
        .arg(modules, writable);
}

QString GatewayTest::WriteConfig(const QString &fileName, const QString &busesText, const QString &mqttExtra)
{
    QFile file(folder.filePath(fileName));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QStringLiteral("name: %1\nmqtt:\n  host: %2\n  port: %3\n  prefix: navix\n%4buses:\n%5")
                   .arg(name, broker.Host())
                   .arg(broker.Port())
                   .arg(mqttExtra, busesText)
                   .toUtf8());
    return file.fileName();
}

void GatewayTest::Listen()
{
    MqttSettings settings;
    settings.host = broker.Host();
    settings.port = broker.Port();
    settings.clientId = "tst-gateway-listener";
    listener = std::make_unique<MqttClient>(settings);
    connect(listener.get(), &MqttClient::MessageReceived, this,
            [this](const QString &topic, const QByteArray &payload, bool retained) {
                messages.append({topic, payload, retained});
            });
    listener->Subscribe("navix/#", 1);
    listener->Subscribe("homeassistant/#", 1);
    listener->Start();
    QTRY_VERIFY_WITH_TIMEOUT(listener->IsConnected(), BoundMs);
}

bool GatewayTest::StartGateway()
{
    gateway.setProcessChannelMode(QProcess::SeparateChannels);
    gateway.start(QStringLiteral(NAVIX_GATEWAY_PATH), {"--config", configPath});
    return gateway.waitForStarted(BoundMs);
}

QByteArray GatewayTest::Last(const QString &topic) const
{
    for (auto message = messages.crbegin(); message != messages.crend(); ++message)
        if (message->topic == topic)
            return message->payload;
    return {};
}

QStringList GatewayTest::WritesHeard()
{
    simLog += sim->process.readAllStandardError();
    return OutputWrites(simLog);
}

QJsonObject GatewayTest::SetAndWait(const QString &point, const QByteArray &payload, const QString &id)
{
    const QString result = point.section('/', 0, -2) + '/' + point.section('/', -1) + "/result";
    const qsizetype before = messages.size();
    listener->Publish(Topic(point + "/set"), payload, 1, false);
    QJsonObject answer;
    const bool answered = QTest::qWaitFor(
        [&] {
            for (qsizetype i = before; i < messages.size(); ++i)
                if (messages[i].topic == Topic(result)) {
                    answer = QJsonDocument::fromJson(messages[i].payload).object();
                    if (answer["id"].toString() == id)
                        return true;
                }
            return false;
        },
        BoundMs);
    if (!answered)
        qWarning() << "no result on" << result;
    return answer;
}

void GatewayTest::statusStatesAndTheLastWill()
{
    WriteConfig("gateway.yaml", BusText("bus1", sim->comNumber, "bus1.cfg", "[\"0A\", \"03\"]"),
                "  discovery: true\n");
    QVERIFY(StartGateway());
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("status")), QByteArray("online"), BoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus1/0A/availability")), QByteArray("online"), BoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus1/01/availability")), QByteArray("offline"), BoundMs);
    QTRY_VERIFY_WITH_TIMEOUT(!Last(Topic("bus1/03/state")).isEmpty(), BoundMs);
    const QJsonObject output = LastJson(Topic("bus1/03/state"));
    QCOMPARE(output["type"].toString(), QString("4021"));
    QCOMPARE(output["quality"].toString(), QString("good"));
    QCOMPARE(output["values"].toObject()["ao0"].toDouble(), 4.0);
    QCOMPARE(output["units"].toObject()["ao0"].toString(), QString("mA"));
    QCOMPARE(output["names"].toObject()["ao0"].toString(), QString("Vystup 1"));
    QVERIFY(QDateTime::fromString(output["time"].toString(), Qt::ISODateWithMs).isValid());
    const QJsonObject inputs = LastJson(Topic("bus1/05/state"));
    QCOMPARE(inputs["names"].toObject()["di7"].toString(), QString("Vstup 8"));
    // An input that changes on the line changes the state.
    sim->process.write("inputs 05 3C\n");
    QTRY_COMPARE_WITH_TIMEOUT(LastJson(Topic("bus1/05/state"))["values"].toObject()["di3"].toDouble(), 1.0,
                              BoundMs);
    QCOMPARE(LastJson(Topic("bus1/05/state"))["values"].toObject()["di0"].toDouble(), 0.0);
    // The dead module has no values to show and says why.
    const QJsonObject dead = LastJson(Topic("bus1/01/state"));
    QCOMPARE(dead["quality"].toString(), QString("lost"));
    QVERIFY(dead["values"].toObject().isEmpty());

    // Home Assistant is told of the switches, and told again when it comes back.
    const auto switchConfigs = [&] {
        return std::count_if(messages.cbegin(), messages.cend(), [&](const Message &m) {
            return m.topic.startsWith("homeassistant/switch/") && m.topic.endsWith("/do0/config") &&
                   m.payload.contains(Topic("bus1/0A/do0/set").toUtf8());
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(switchConfigs() > 0, BoundMs);
    const auto sent = switchConfigs();
    listener->Publish("homeassistant/status", "online", 1, false);
    QTRY_VERIFY_WITH_TIMEOUT(switchConfigs() > sent, BoundMs);

    // A new client finds the states retained.
    messages.clear();
    listener.reset();
    Listen();
    QTRY_VERIFY_WITH_TIMEOUT(!Last(Topic("bus1/0A/state")).isEmpty(), BoundMs);
    QVERIFY(std::any_of(messages.cbegin(), messages.cend(),
                        [&](const Message &m) { return m.topic == Topic("bus1/0A/state") && m.retained; }));

    // Killed without a word, the gateway leaves its last will.
    ::kill(static_cast<pid_t>(gateway.processId()), SIGKILL);
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("status")), QByteArray("offline"), BoundMs);
}

void GatewayTest::setsAndTheirResults()
{
    QVERIFY(StartGateway());
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus1/03/availability")), QByteArray("online"), BoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus1/0A/availability")), QByteArray("online"), BoundMs);
    QJsonObject result = SetAndWait("bus1/0A/do3", R"({"value": 1, "id": "s1"})", "s1");
    QCOMPARE(result["ok"].toBool(), true);
    QCOMPARE(result["value"].toDouble(), 1.0);
    QTRY_COMPARE_WITH_TIMEOUT(LastJson(Topic("bus1/0A/state"))["values"].toObject()["do3"].toDouble(), 1.0,
                              BoundMs);
    result = SetAndWait("bus1/03/ao0", R"({"value": 12.345, "id": "s2"})", "s2");
    QVERIFY2(result["ok"].toBool(), QJsonDocument(result).toJson().constData());
    QCOMPARE(result["value"].toDouble(), 12.345);
    // Refused: not writable, out of range, not an output. Nothing more goes on the wire.
    struct Refusal
    {
        const char *point;
        const char *payload;
        const char *error;
    };
    for (const Refusal &refusal : {Refusal{"bus1/05/di0", R"({"value": 1, "id": "r1"})", "readonly"},
                                   Refusal{"bus1/03/ao0", R"({"value": 20.5, "id": "r1"})", "range"},
                                   Refusal{"bus1/0A/do0", R"({"value": 2, "id": "r1"})", "range"},
                                   Refusal{"bus1/0A/di0", R"({"value": 1, "id": "r1"})", "readonly"}}) {
        result = SetAndWait(refusal.point, refusal.payload, "r1");
        QCOMPARE(result["ok"].toBool(), false);
        QCOMPARE(result["error"].toString(), QString(refusal.error));
    }
    QCOMPARE(WritesHeard(), (QStringList{"#0A1301", "#0312.345"}));
}

void GatewayTest::retainedSetIsRefused()
{
    // Left on the broker by a careless client before the gateway (re)starts: it would switch the output on
    // every restart.
    listener->Publish(Topic("bus1/0A/do5/set"), R"({"value": 1, "id": "ghost"})", 1, true);
    QTRY_VERIFY_WITH_TIMEOUT(!Last(Topic("bus1/0A/do5/set")).isEmpty(), BoundMs);
    QVERIFY(StartGateway());
    QTRY_VERIFY_WITH_TIMEOUT(!Last(Topic("bus1/0A/do5/result")).isEmpty(), BoundMs);
    const QJsonObject result = LastJson(Topic("bus1/0A/do5/result"));
    QCOMPARE(result["ok"].toBool(), false);
    QCOMPARE(result["error"].toString(), QString("refused"));
    QCOMPARE(result["id"].toString(), QString("ghost"));
    // One published retained while the gateway listens is refused as well, not taken for a live one.
    listener->Publish(Topic("bus1/0A/do5/set"), R"({"value": 1, "id": "ghost2"})", 1, true);
    QTRY_COMPARE_WITH_TIMEOUT(LastJson(Topic("bus1/0A/do5/result"))["id"].toString(), QString("ghost2"),
                              BoundMs);
    QCOMPARE(LastJson(Topic("bus1/0A/do5/result"))["error"].toString(), QString("refused"));
    listener->Publish(Topic("bus1/0A/do5/set"), QByteArray(), 1, true);
    // The polls go on and the output stays off.
    QTRY_VERIFY_WITH_TIMEOUT(LastJson(Topic("bus1/0A/state"))["values"].toObject().contains("do5"), BoundMs);
    QCOMPARE(LastJson(Topic("bus1/0A/state"))["values"].toObject()["do5"].toDouble(), 0.0);
    QCOMPARE(WritesHeard(), QStringList());
}

void GatewayTest::brokerAndSimulatorComeBack()
{
    QVERIFY(StartGateway());
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus1/0A/availability")), QByteArray("online"), BoundMs);
    // The broker restarts and has forgotten every retained message: the gateway publishes them again.
    // Whatever comes after this is published anew: the gateway publishes its status only on connecting.
    messages.clear();
    broker.Stop();
    QVERIFY2(broker.Start(), qPrintable(broker.Log()));
    QTRY_VERIFY_WITH_TIMEOUT(listener->IsConnected(), BoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("status")), QByteArray("online"), BoundMs);
    QTRY_VERIFY_WITH_TIMEOUT(!Last(Topic("bus1/0A/state")).isEmpty(), BoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus1/0A/availability")), QByteArray("online"), BoundMs);
    // The simulator dies and comes back on its number.
    const int com = sim->comNumber;
    ::kill(static_cast<pid_t>(sim->process.processId()), SIGKILL);
    QVERIFY(sim->process.waitForFinished(BoundMs));
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus1/0A/availability")), QByteArray("offline"), BoundMs);
    QCOMPARE(LastJson(Topic("bus1/0A/state"))["quality"].toString(), QString("lost"));
    sim = std::make_unique<SimProcess>();
    QVERIFY(StartSim(*sim, folder.filePath("bus.txt"), com));
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus1/0A/availability")), QByteArray("online"), BoundMs);
    QCOMPARE(LastJson(Topic("bus1/0A/state"))["quality"].toString(), QString("good"));
    QCOMPARE(gateway.state(), QProcess::Running);
}

void GatewayTest::reloadOnHangup()
{
    QVERIFY(StartGateway());
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus1/0A/availability")), QByteArray("online"), BoundMs);
    // A broken file: logged, and the gateway goes on as it was.
    WriteConfig("gateway.yaml",
                BusText("bus1", sim->comNumber, "bus1.cfg", "[\"0A\", \"03\"]") + "    baud: 57600\n");
    QByteArray log;
    ::kill(static_cast<pid_t>(gateway.processId()), SIGHUP);
    QVERIFY(QTest::qWaitFor(
        [&] {
            log += gateway.readAllStandardError();
            return log.contains("reload refused");
        },
        BoundMs));
    QVERIFY(log.contains("gateway.yaml:12: bus bus1: baud must be a rate of the table"));
    QCOMPARE(SetAndWait("bus1/0A/do1", R"({"value": 1, "id": "h1"})", "h1")["ok"].toBool(), true);

    // A good file: bus1 unchanged keeps running, bus2 is new.
    SimProcess second;
    QVERIFY(StartSim(second, folder.filePath("bus2.txt")));
    WriteConfig("gateway.yaml", BusText("bus1", sim->comNumber, "bus1.cfg", "[\"0A\", \"03\"]") +
                                    BusText("bus2", second.comNumber, "bus2.cfg", "[]"));
    ::kill(static_cast<pid_t>(gateway.processId()), SIGHUP);
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("bus2/05/availability")), QByteArray("online"), BoundMs);
    log += gateway.readAllStandardError();
    QVERIFY(log.contains("reloaded"));
    QVERIFY2(!log.contains("bus \"bus1\" stopped") && log.count("bus \"bus1\" polls") == 1, log.constData());

    // SIGTERM: offline, and a clean end.
    ::kill(static_cast<pid_t>(gateway.processId()), SIGTERM);
    QVERIFY(gateway.waitForFinished(BoundMs));
    QCOMPARE(gateway.exitStatus(), QProcess::NormalExit);
    QCOMPARE(gateway.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(Last(Topic("status")), QByteArray("offline"), BoundMs);
}

void GatewayTest::checkOption()
{
    const auto check = [this](QByteArray &error) {
        QProcess program;
        program.start(QStringLiteral(NAVIX_GATEWAY_PATH), {"--check", "--config", configPath});
        if (!program.waitForFinished(BoundMs))
            return -1;
        error = program.readAllStandardError();
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -2;
    };
    QByteArray error;
    QCOMPARE(check(error), 0);
    QCOMPARE(error, QByteArray());
    WriteConfig("gateway.yaml", BusText("bus1", sim->comNumber, "bus1.cfg", "[\"0A\", \"0F\"]"));
    QCOMPARE(check(error), 2);
    QCOMPARE(error, configPath.toUtf8() + ":11: bus bus1: writable: no module at 0F in the module file\n");
}

QTEST_GUILESS_MAIN(GatewayTest)
#include "tst_gateway.moc"
