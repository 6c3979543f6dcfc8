#include "bus/temperature_codes.h"

#include <QtTest>

#include <cmath>
#include <cstdio>
#include <limits>

using namespace navix;

namespace {
// The road the memory extracts of the Tvr 5x have always taken, done again here on its own: the value in the
// processor's 80-bit extended format, stored into a 6-byte real (the 64-bit mantissa cut to 40 bits, rounded
// up when the first bit cut off is set), then printed with 4 significant digits.
QString ThroughSixByteRealOfTheProcessor(double tableValue)
{
    // Every value of the table is a whole number of hundredths.
    const long double extended = static_cast<long double>(std::llround(tableValue * 100)) / 100;
    int exponent = 0;
    const long double fraction = std::frexp(std::fabs(extended), &exponent); // 0.5 <= fraction < 1
    const long double mantissa = std::floor(std::ldexp(fraction, 40) + 0.5L);
    const long double stored = std::copysign(std::ldexp(mantissa, exponent - 40), extended);
    char text[32];
    std::snprintf(text, sizeof text, "%.4Lg", stored);
    return QString::fromLatin1(text);
}
} // namespace

class TestTemperatureCodes : public QObject
{
    Q_OBJECT
private slots:
    void CodeEndsAndSegmentBorders();
    void LimitFieldRoundsHalfToEven_data();
    void LimitFieldRoundsHalfToEven();
    void TemperatureToCodeTies_data();
    void TemperatureToCodeTies();
    void RoundTripOverWholeRange();
    void FormatAndHexText_data();
    void FormatAndHexText();
    void SixByteRealOfEveryCode();
    void SixByteRealChangesTheLastDigit_data();
    void SixByteRealChangesTheLastDigit();
};

void TestTemperatureCodes::CodeEndsAndSegmentBorders()
{
    QCOMPARE(CodeToTemperature(0), -50.0);
    QCOMPARE(CodeToTemperature(8), -40.0);
    QVERIFY(std::abs(CodeToTemperature(255) - 299.28) < 1e-9);
    // Out-of-range codes are clamped rather than extrapolated.
    QCOMPARE(CodeToTemperature(-3), CodeToTemperature(0));
    QCOMPARE(CodeToTemperature(300), CodeToTemperature(255));
    // The curve never goes backwards.
    for (int code = 1; code <= 255; ++code)
        QVERIFY2(CodeToTemperature(code) > CodeToTemperature(code - 1), qPrintable(QString::number(code)));
}

void TestTemperatureCodes::LimitFieldRoundsHalfToEven_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("celsius");
    QTest::newRow("2") << 2 << -48;
    QTest::newRow("6") << 6 << -42;
    QTest::newRow("58") << 58 << 26;
    QTest::newRow("85") << 85 << 62;
    QTest::newRow("89") << 89 << 68;
    QTest::newRow("101") << 101 << 84;
    QTest::newRow("196") << 196 << 216;
    QTest::newRow("246") << 246 << 286;
    QTest::newRow("00") << 0 << -50;
    QTest::newRow("FF") << 255 << 299;
}

void TestTemperatureCodes::LimitFieldRoundsHalfToEven()
{
    QFETCH(int, code);
    QFETCH(int, celsius);
    QCOMPARE(static_cast<int>(std::nearbyint(CodeToTemperature(code))), celsius);
}

void TestTemperatureCodes::TemperatureToCodeTies_data()
{
    QTest::addColumn<int>("celsius");
    QTest::addColumn<int>("code");
    QTest::newRow("-47") << -47 << 0x02;
    QTest::newRow("-41") << -41 << 0x08;
    QTest::newRow("87") << 87 << 0x68;
    QTest::newRow("-50") << -50 << 0x00;
    QTest::newRow("300") << 300 << 0xFF;
    QTest::newRow("below range") << -80 << 0x00;
    QTest::newRow("above range") << 400 << 0xFF;
}

void TestTemperatureCodes::TemperatureToCodeTies()
{
    QFETCH(int, celsius);
    QFETCH(int, code);
    QCOMPARE(TemperatureToCode(celsius), code);
}

void TestTemperatureCodes::RoundTripOverWholeRange()
{
    // Writing a limit and reading it back must land close to the value written. The module's two tables
    // differ slightly above 180 degrees (factor 1.43 one way, 1.42 the other), hence the margin of 1.5.
    for (int celsius = -50; celsius <= 300; ++celsius) {
        const int code = TemperatureToCode(celsius);
        QVERIFY(code >= 0 && code <= 255);
        QVERIFY2(std::abs(CodeToTemperature(code) - celsius) <= 1.5, qPrintable(QString::number(celsius)));
    }
}

void TestTemperatureCodes::FormatAndHexText_data()
{
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QString>("shown");
    QTest::newRow("00") << QByteArray("00") << QString("-50");
    QTest::newRow("08") << QByteArray("08") << QString("-40");
    QTest::newRow("FF") << QByteArray("FF") << QString("299.3");
    QTest::newRow("ff lower case") << QByteArray("ff") << QString("299.3");
    QTest::newRow("not hex") << QByteArray("G1") << QString("?");
    QTest::newRow("one digit") << QByteArray("8") << QString("?");
    QTest::newRow("empty") << QByteArray() << QString("?");
}

void TestTemperatureCodes::FormatAndHexText()
{
    QFETCH(QByteArray, hex);
    QFETCH(QString, shown);
    QCOMPARE(TemperatureFromCode(hex), shown);
    QCOMPARE(FormatTemperature(99.7), QString("99.7"));
    QCOMPARE(FormatTemperature(-38.666), QString("-38.67"));
    QCOMPARE(FormatTemperature(125.0), QString("125"));
    QCOMPARE(FormatTemperature(55.96), QString("55.96"));
}

void TestTemperatureCodes::SixByteRealOfEveryCode()
{
    if (std::numeric_limits<long double>::digits < 64)
        QSKIP("The extended format of the comparison needs a long double of at least 64 mantissa bits");
    for (int code = 0; code <= 255; ++code) {
        const QByteArray hex = QByteArray::number(code, 16).rightJustified(2, '0').toUpper();
        QCOMPARE(TemperatureFromCode(hex, TemperatureHolding::SixByteReal),
                 ThroughSixByteRealOfTheProcessor(CodeToTemperature(code)));
    }
}

void TestTemperatureCodes::SixByteRealChangesTheLastDigit_data()
{
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("plain");
    // The table gives 106.95, 132.15, 155.85 and 166.65: which way the last digit goes depends on the
    // binary value that holds them.
    QTest::newRow("76") << QByteArray("76") << "106.9"
                        << "107";
    QTest::newRow("88") << QByteArray("88") << "132.1"
                        << "132.2";
    QTest::newRow("99") << QByteArray("99") << "155.9"
                        << "155.8";
    QTest::newRow("A1") << QByteArray("A1") << "166.6"
                        << "166.7";
    QTest::newRow("00") << QByteArray("00") << "-50"
                        << "-50";
    QTest::newRow("26") << QByteArray("26") << "-0.1"
                        << "-0.1";
    QTest::newRow("FF") << QByteArray("FF") << "299.3"
                        << "299.3";
    QTest::newRow("not hex") << QByteArray("G1") << "?"
                             << "?";
}

void TestTemperatureCodes::SixByteRealChangesTheLastDigit()
{
    QFETCH(QByteArray, hex);
    QFETCH(QString, stored);
    QFETCH(QString, plain);
    QCOMPARE(TemperatureFromCode(hex, TemperatureHolding::SixByteReal), stored);
    QCOMPARE(TemperatureFromCode(hex), plain);
}

QTEST_APPLESS_MAIN(TestTemperatureCodes)
#include "tst_temperature_codes.moc"
