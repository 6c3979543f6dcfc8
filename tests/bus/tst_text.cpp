#include "bus/text.h"
#include "workspace/module_records.h"

#include <QTest>

using namespace navix;

class TestText : public QObject
{
    Q_OBJECT
private slots:
    void checksum_data();
    void checksum();
    void hexToInt_data();
    void hexToInt();
    void hexToBits_data();
    void hexToBits();
    void bitsToInt();
    void positionalHelpersClamp();
    void typeTableAndCaptions();
};

void TestText::checksum_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("checksum");
    QTest::newRow("name request") << QByteArray("$012\r") << QByteArray("B7");
    QTest::newRow("without CR") << QByteArray("$012") << QByteArray("B7");
    QTest::newRow("only one CR dropped") << QByteArray("A\r\r") << QByteArray("4E");
    QTest::newRow("reply body") << QByteArray("!01") << QByteArray("82");
    QTest::newRow("wraps with leading zero") << QByteArray("\xFF\x10") << QByteArray("0F");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("only CR") << QByteArray("\r") << QByteArray();
}

void TestText::checksum()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, checksum);
    QCOMPARE(ComputeChecksum(text), checksum);
}

void TestText::hexToInt_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("upperHex");
    QTest::newRow("upper") << QByteArray("1F") << 31 << true;
    QTest::newRow("lower") << QByteArray("1f") << 31 << false;
    QTest::newRow("bad digit") << QByteArray("1G") << 99999 << false;
    QTest::newRow("bad first") << QByteArray(" 1") << 99999 << false;
    QTest::newRow("byte above ASCII") << QByteArray("0\xC1") << 99999 << false;
    QTest::newRow("empty") << QByteArray() << 0 << false;
    QTest::newRow("four digits") << QByteArray("FFF8") << 65528 << true;
    QTest::newRow("long text saturates") << QByteArray("FFFFFFFFFFFFFFFFFFFFFFFF") << INT_MAX << true;
}

void TestText::hexToInt()
{
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    QFETCH(bool, upperHex);
    QCOMPARE(HexToInt(text), value);
    QCOMPARE(IsUpperHex(text), upperHex);
}

void TestText::hexToBits_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("bits");
    QTest::newRow("A5") << QByteArray("A5") << QByteArray("10100101");
    QTest::newRow("0F") << QByteArray("0F") << QByteArray("00001111");
    QTest::newRow("third ignored") << QByteArray("ABC") << QByteArray("10101011");
    QTest::newRow("lower case contributes nothing") << QByteArray("a5") << QByteArray("0101");
    QTest::newRow("short") << QByteArray("4") << QByteArray("0100");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestText::hexToBits()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, bits);
    QCOMPARE(HexToBits(text), bits);
}

void TestText::bitsToInt()
{
    QCOMPARE(BitsToInt("00001111"), 15);
    QCOMPARE(BitsToInt(""), 0);
    QCOMPARE(BitsToInt("1x1"), 5);
    // Round trip as the Init probe uses it: the checksum bit of a format byte inverted.
    QByteArray bits = HexToBits("00");
    bits[1] = bits[1] == '1' ? '0' : '1';
    QCOMPARE(HexByte(BitsToInt(bits)), QByteArray("40"));
}

void TestText::positionalHelpersClamp()
{
    const QByteArray reply = "!0A4013\r";
    QCOMPARE(Copy(reply, 4, 4), QByteArray("4013"));
    QCOMPARE(Copy(reply, 6, 10), QByteArray("13\r"));
    QCOMPARE(Copy(reply, 9, 2), QByteArray());
    QCOMPARE(Copy(reply, 0, 2), QByteArray("!0"));
    QCOMPARE(Copy(reply, 3, -1), QByteArray());
    QCOMPARE(Copy(QString(" (0A) N770"), 3, 2), QString("0A"));
    QCOMPARE(CharAt(reply, 1), '!');
    QCOMPARE(CharAt(reply, 99), '\0');

    QByteArray text = "ABCDEF";
    Delete(text, 5, 10);
    QCOMPARE(text, QByteArray("ABCD"));
    Delete(text, 9, 1);
    QCOMPARE(text, QByteArray("ABCD"));
    Delete(text, 0, 1);
    QCOMPARE(text, QByteArray("ABCD"));

    QCOMPARE(Pos(QByteArray("CD"), QByteArray("ABCD")), 3);
    QCOMPARE(Pos(QByteArray("X"), QByteArray("ABCD")), 0);
    QCOMPARE(Pos(QString("*"), QString(" (00) N770")), 0);
    QCOMPARE(HexByte(0x1AB), QByteArray("AB"));
    QCOMPARE(HexDigits(0x1F, 4), QByteArray("001F"));
}

void TestText::typeTableAndCaptions()
{
    const ModuleType *tvr = FindModuleType("20");
    QVERIFY(tvr);
    QCOMPARE(ModuleCaption("05", *tvr, false), QString(" (05) TVR5x"));
    const ModuleType *sensor = FindModuleType("4113");
    QVERIFY(sensor);
    QCOMPARE(ModuleCaption("00", *sensor, true), QString("*(00) N755"));
    QVERIFY(!FindModuleType("4018"));
    QVERIFY(!FindModuleType("40x3"));
    QVERIFY(!FindModuleType(""));

    QCOMPARE(CaptionAddress(" (0A) N770"), QByteArray("0A"));
    QCOMPARE(CaptionAddress(" ("), QByteArray());
    QCOMPARE(RelabeledCaption("*(00) N720", " (0B) N720"), QString("*(0B) N720"));
    QCOMPARE(RelabeledCaption(" (0A) N720", " (0B) N720"), QString(" (0B) N720"));
    QCOMPARE(RelabeledCaption("*(0A)", ""), QString());
}

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
