// A saved module held against what answered for it: the differences in words and what a restore does.

#include "editors/bus_compare.h"

#include <QTest>

using namespace navix;

class BusCompareTest : public QObject
{
    Q_OBJECT
private slots:
    void rowOfAModule_data();
    void rowOfAModule();
    void spareOfferedOnce();
};

namespace {
// What answered: "-" for nothing, "type config" at the address, "type config init" at 00.
std::optional<BusAnswer> Answer(const QString &text)
{
    const QStringList parts = text.split(' ');
    if (parts.size() < 2)
        return std::nullopt;
    return BusAnswer{parts[0].toLatin1(), parts[1].toLatin1(), parts.size() > 2, 9600};
}

ModuleRecord FileModule(const QByteArray &typeId, const QByteArray &config)
{
    ModuleRegistry registry;
    return *registry.AddModule(typeId, config, false);
}
} // namespace

void BusCompareTest::rowOfAModule_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<QByteArray>("fileConfig");
    QTest::addColumn<QString>("atAddress");
    QTest::addColumn<QString>("spare");
    QTest::addColumn<QStringList>("differences");
    QTest::addColumn<int>("action");

    const auto none = static_cast<int>(RestoreAction::None);
    const auto write = static_cast<int>(RestoreAction::Write);
    const auto spare = static_cast<int>(RestoreAction::ConfigureSpare);
    const auto needsInit = static_cast<int>(RestoreAction::NeedsInit);
    const auto notWritten = static_cast<int>(RestoreAction::NotWritten);
    QTest::newRow("equal") << QByteArray("4017") << QByteArray("02080600") << "4017 02080600" << "-"
                           << QStringList() << none;
    QTest::newRow("4017 range") << QByteArray("4017") << QByteArray("02080600") << "4017 020A0600" << "-"
                                << QStringList{"range"} << write;
    QTest::newRow("4013 data format and integration time")
        << QByteArray("4013") << QByteArray("01200600") << "4013 01200681" << "-"
        << QStringList{"data format", "integration time"} << write;
    QTest::newRow("4021 slew rate") << QByteArray("4021") << QByteArray("03310600") << "4021 03310614" << "-"
                                    << QStringList{"slew rate"} << write;
    QTest::newRow("digital type code") << QByteArray("4050") << QByteArray("04400600") << "4050 04000600"
                                       << "-" << QStringList{"type code"} << write;
    QTest::newRow("baud rate outside INIT") << QByteArray("4052") << QByteArray("05400600") << "4052 05400700"
                                            << "-" << QStringList{"baud rate"} << needsInit;
    QTest::newRow("checksum outside INIT") << QByteArray("4017") << QByteArray("14080640") << "4017 14080600"
                                           << "-" << QStringList{"checksum"} << needsInit;
    QTest::newRow("another type") << QByteArray("4050") << QByteArray("06400600") << "4060 06400600" << "-"
                                  << QStringList{"another type at this address"} << notWritten;
    QTest::newRow("another sensor of the family") << QByteArray("4113") << QByteArray("07200600")
                                                  << "4213 07200600" << "-"
                                                  << QStringList{"another type at this address"} << notWritten;
    QTest::newRow("a Tvr 5x saved as a 4013") << QByteArray("4013") << QByteArray("10200602") << "20 10200602"
                                              << "-" << QStringList() << none;
    QTest::newRow("missing") << QByteArray("4050") << QByteArray("04400600") << "-" << "-"
                             << QStringList{"missing"} << notWritten;
    QTest::newRow("missing, a spare of another type in INIT")
        << QByteArray("4050") << QByteArray("04400600") << "-" << "4060 00400600 init" << QStringList{"missing"}
        << notWritten;
    QTest::newRow("spare in INIT with other settings")
        << QByteArray("4017") << QByteArray("02090640") << "-" << "4017 00080600 init"
        << QStringList{"in INIT", "range", "checksum"} << spare;
    QTest::newRow("spare in INIT, settings alike: still given the address")
        << QByteArray("4050") << QByteArray("04400600") << "-" << "4050 00400600 init" << QStringList{"in INIT"}
        << spare;
}

void BusCompareTest::rowOfAModule()
{
    QFETCH(QByteArray, typeId);
    QFETCH(QByteArray, fileConfig);
    QFETCH(QString, atAddress);
    QFETCH(QString, spare);
    QFETCH(QStringList, differences);
    QFETCH(int, action);

    const CompareRow row = CompareModule(FileModule(typeId, fileConfig), Answer(atAddress), Answer(spare));
    QCOMPARE(row.differences, differences);
    QCOMPARE(static_cast<int>(row.action), action);
    QCOMPARE(RestoreConfig(row), fileConfig);
}

void BusCompareTest::spareOfferedOnce()
{
    // Two 4050 missing and one spare: it stands for the first of them only.
    ModuleRegistry registry;
    const QList<ModuleRecordPtr> file{registry.AddModule("4050", "04400600", false),
                                      registry.AddModule("4050", "08400600", false)};
    const QList<CompareRow> rows = CompareFile(
        file, [](const QByteArray &) { return std::nullopt; }, Answer("4050 00400600 init"));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].action, RestoreAction::ConfigureSpare);
    QCOMPARE(rows[1].action, RestoreAction::NotWritten);
    QCOMPARE(rows[1].differences, QStringList{"missing"});
}

QTEST_GUILESS_MAIN(BusCompareTest)
#include "tst_bus_compare.moc"
