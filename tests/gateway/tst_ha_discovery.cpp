// Home Assistant discovery configs, checked against configs written out by hand.

#include "gateway/mqtt/ha_discovery.h"

#include <QJsonDocument>
#include <QTest>

using namespace navix;

namespace {

GatewayPoint Point(const char *id, PointKind kind, const QString &name, const QString &unit = QString(),
                   double minimum = 0, double maximum = 0)
{
    GatewayPoint point;
    point.id = id;
    point.kind = kind;
    point.name = name;
    point.unit = unit;
    point.minimum = minimum;
    point.maximum = maximum;
    return point;
}

GatewayModule Module(const char *address, const char *type, const QString &model, const QString &name,
                     bool writable, QList<GatewayPoint> points)
{
    GatewayModule module;
    module.bus = "bus1";
    module.address = address;
    module.typeId = type;
    module.model = model;
    module.name = name;
    module.writable = writable;
    module.points = std::move(points);
    return module;
}

using Expected = QList<QPair<QString, QByteArray>>; // topic, payload ("" removes)

} // namespace

class HaDiscoveryTest : public QObject
{
    Q_OBJECT

private slots:
    void messages_data();
    void messages();
    void clearTopicsCoverEveryComponent();
};

void HaDiscoveryTest::messages_data()
{
    QTest::addColumn<GatewayModule>("module");
    QTest::addColumn<Expected>("expected");

    QTest::newRow("4017 inputs") << Module("0A", "4017", "4017", "Kotelna", false,
                                           {Point("ai0", PointKind::AnalogInput, "Vstup 1", "V"),
                                            Point("ai1", PointKind::AnalogInput, "", "")})
                                 << Expected{
                                        {"homeassistant/sensor/navix_navix_line1_bus1_0A/ai0/config",
                                         R"json({"name":"Vstup 1","unique_id":"navix_navix_line1_bus1_0A_ai0",
                                             "state_topic":"navix/line1/bus1/0A/state",
                                             "value_template":"{{ value_json['values']['ai0'] }}",
                                             "availability":[{"topic":"navix/line1/status"},
                                                             {"topic":"navix/line1/bus1/0A/availability"}],
                                             "availability_mode":"all",
                                             "device":{"identifiers":["navix_navix_line1_bus1_0A"],
                                                       "manufacturer":"Navix","model":"4017","name":"Kotelna"},
                                             "unit_of_measurement":"V","state_class":"measurement"})json"},
                                        {"homeassistant/sensor/navix_navix_line1_bus1_0A/ai1/config",
                                         R"json({"name":"ai1","unique_id":"navix_navix_line1_bus1_0A_ai1",
                                             "state_topic":"navix/line1/bus1/0A/state",
                                             "value_template":"{{ value_json['values']['ai1'] }}",
                                             "availability":[{"topic":"navix/line1/status"},
                                                             {"topic":"navix/line1/bus1/0A/availability"}],
                                             "availability_mode":"all",
                                             "device":{"identifiers":["navix_navix_line1_bus1_0A"],
                                                       "manufacturer":"Navix","model":"4017","name":"Kotelna"},
                                             "state_class":"measurement"})json"},
                                    };

    QTest::newRow("4050 writable")
        << Module("0F", "4050", "4050", "", true,
                  {Point("di0", PointKind::DigitalInput, "Dvere"),
                   Point("do0", PointKind::DigitalOutput, "Cerpadlo")})
        << Expected{
               {"homeassistant/binary_sensor/navix_navix_line1_bus1_0F/di0/config",
                R"json({"name":"Dvere","unique_id":"navix_navix_line1_bus1_0F_di0",
                                               "state_topic":"navix/line1/bus1/0F/state",
                                               "value_template":"{{ 'ON' if value_json['values']['di0'] else 'OFF' }}",
                                               "availability":[{"topic":"navix/line1/status"},
                                                               {"topic":"navix/line1/bus1/0F/availability"}],
                                               "availability_mode":"all",
                                               "device":{"identifiers":["navix_navix_line1_bus1_0F"],
                                                         "manufacturer":"Navix","model":"4050",
                                                         "name":"4050 0F (bus1)"}})json"},
               {"homeassistant/switch/navix_navix_line1_bus1_0F/do0/config",
                R"json({"name":"Cerpadlo","unique_id":"navix_navix_line1_bus1_0F_do0",
                                               "state_topic":"navix/line1/bus1/0F/state",
                                               "value_template":"{{ 'ON' if value_json['values']['do0'] else 'OFF' }}",
                                               "command_topic":"navix/line1/bus1/0F/do0/set",
                                               "payload_on":"1","payload_off":"0",
                                               "state_on":"ON","state_off":"OFF",
                                               "optimistic":false,"retain":false,"qos":1,
                                               "availability":[{"topic":"navix/line1/status"},
                                                               {"topic":"navix/line1/bus1/0F/availability"}],
                                               "availability_mode":"all",
                                               "device":{"identifiers":["navix_navix_line1_bus1_0F"],
                                                         "manufacturer":"Navix","model":"4050",
                                                         "name":"4050 0F (bus1)"}})json"},
               {"homeassistant/binary_sensor/navix_navix_line1_bus1_0F/do0/config", ""},
           };

    QTest::newRow("4021 writable")
        << Module("11", "4021", "4021", "Ventil", true,
                  {Point("ao0", PointKind::AnalogOutput, "Vystup", "mA", 4, 20)})
        << Expected{
               {"homeassistant/number/navix_navix_line1_bus1_11/ao0/config",
                R"json({"name":"Vystup","unique_id":"navix_navix_line1_bus1_11_ao0",
                                               "state_topic":"navix/line1/bus1/11/state",
                                               "value_template":"{{ value_json['values']['ao0'] }}",
                                               "command_topic":"navix/line1/bus1/11/ao0/set",
                                               "min":4,"max":20,"step":0.01,"unit_of_measurement":"mA",
                                               "optimistic":false,"retain":false,"qos":1,
                                               "availability":[{"topic":"navix/line1/status"},
                                                               {"topic":"navix/line1/bus1/11/availability"}],
                                               "availability_mode":"all",
                                               "device":{"identifiers":["navix_navix_line1_bus1_11"],
                                                         "manufacturer":"Navix","model":"4021","name":"Ventil"}})json"},
               {"homeassistant/sensor/navix_navix_line1_bus1_11/ao0/config", ""},
           };

    // Not writable: the output is shown, never offered as a control.
    QTest::newRow("4021 read-only")
        << Module("11", "4021", "4021", "Ventil", false,
                  {Point("ao0", PointKind::AnalogOutput, "Vystup", "mA", 4, 20)})
        << Expected{
               {"homeassistant/sensor/navix_navix_line1_bus1_11/ao0/config",
                R"json({"name":"Vystup","unique_id":"navix_navix_line1_bus1_11_ao0",
                                                "state_topic":"navix/line1/bus1/11/state",
                                                "value_template":"{{ value_json['values']['ao0'] }}",
                                                "unit_of_measurement":"mA","state_class":"measurement",
                                                "availability":[{"topic":"navix/line1/status"},
                                                                {"topic":"navix/line1/bus1/11/availability"}],
                                                "availability_mode":"all",
                                                "device":{"identifiers":["navix_navix_line1_bus1_11"],
                                                          "manufacturer":"Navix","model":"4021",
                                                          "name":"Ventil"}})json"},
               {"homeassistant/number/navix_navix_line1_bus1_11/ao0/config", ""},
           };
}

void HaDiscoveryTest::messages()
{
    QFETCH(GatewayModule, module);
    QFETCH(Expected, expected);
    const QList<HaDiscoveryMessage> messages = HaDiscoveryMessages(module, {"navix", "line1"});
    QCOMPARE(messages.size(), expected.size());
    for (qsizetype i = 0; i < messages.size(); ++i) {
        QCOMPARE(messages[i].topic, expected[i].first);
        if (expected[i].second.isEmpty()) {
            QCOMPARE(messages[i].payload, QByteArray());
            continue;
        }
        QJsonParseError error;
        const QJsonDocument want = QJsonDocument::fromJson(expected[i].second, &error);
        QVERIFY2(!want.isNull(), qPrintable(error.errorString()));
        const QJsonDocument got = QJsonDocument::fromJson(messages[i].payload);
        QVERIFY2(got == want, messages[i].payload.constData());
    }
}

void HaDiscoveryTest::clearTopicsCoverEveryComponent()
{
    // A prefix with a slash and a discovery prefix of its own: ids keep to Home Assistant's characters.
    const GatewayModule module =
        Module("0F", "4050", "4050", "", false,
               {Point("di0", PointKind::DigitalInput, ""), Point("do0", PointKind::DigitalOutput, "")});
    const HaDiscoveryNaming naming{"plant/navix", "line 1", "ha"};
    QCOMPARE(HaDiscoveryClearTopics(module, naming),
             QStringList({"ha/binary_sensor/navix_plant_navix_line_1_bus1_0F/di0/config",
                          "ha/binary_sensor/navix_plant_navix_line_1_bus1_0F/do0/config",
                          "ha/switch/navix_plant_navix_line_1_bus1_0F/do0/config"}));
    QCOMPARE(HaStatusTopic(naming), QString("ha/status"));
}

QTEST_GUILESS_MAIN(HaDiscoveryTest)
#include "tst_ha_discovery.moc"
