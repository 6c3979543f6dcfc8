// The trend's samples without a window: gaps where reads were lost, decimation that keeps the extremes, the
// bound on the samples, the CSV file read back to the same numbers and the log that survives a failed write.

#include "trend_files.h"

#include "support/file_limits.h"
#include "trends/trend_csv.h"
#include "trends/trend_model.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace navix;

namespace {
constexpr double L = LostValue;
constexpr qint64 PollMs = 100;
const QDateTime Start(QDate(2026, 3, 1), QTime(12, 0, 0, 250), QTimeZone(3600));

TrendSample SampleAt(int index, const QList<double> &values)
{
    return {Start.addMSecs(index * PollMs), values};
}

TrendModel ModelOf(const QList<double> &values, bool steps)
{
    TrendModel model;
    model.SetChannels({{"Vstup 1", steps}});
    for (qsizetype i = 0; i < values.size(); ++i)
        model.Append(SampleAt(static_cast<int>(i), {values[i]}));
    return model;
}

qint64 Ms(int index)
{
    return Start.toMSecsSinceEpoch() + index * PollMs;
}
} // namespace

class TrendModelTest : public QObject
{
    Q_OBJECT
private slots:
    void runsSplitAtLostValues_data();
    void runsSplitAtLostValues();
    void decimationKeepsExtremesAndGaps();
    void boundHoldsAfterFarMoreSamples();
    void csvReadsBackToTheSameNumbers();
    void logAppendsAndSurvivesFailedWrite();
};

void TrendModelTest::runsSplitAtLostValues_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<bool>("steps");
    QTest::addColumn<QList<QList<QPointF>>>("runs");
    QTest::newRow("no gap") << QList<double>{1.5, 2.5, -3} << false
                            << QList<QList<QPointF>>{
                                   {{double(Ms(0)), 1.5}, {double(Ms(1)), 2.5}, {double(Ms(2)), -3}}};
    QTest::newRow("gap in the middle") << QList<double>{1, L, L, 0} << false
                                       << QList<QList<QPointF>>{{{double(Ms(0)), 1}}, {{double(Ms(3)), 0}}};
    QTest::newRow("lost at both ends") << QList<double>{L, 7, 8, L} << false
                                       << QList<QList<QPointF>>{{{double(Ms(1)), 7}, {double(Ms(2)), 8}}};
    QTest::newRow("all lost") << QList<double>{L, L} << false << QList<QList<QPointF>>{};
    QTest::newRow("steps hold until the next state")
        << QList<double>{0, 1, L, 1} << true
        << QList<QList<QPointF>>{{{double(Ms(0)), 0}, {double(Ms(1)), 0}, {double(Ms(1)), 1}},
                                 {{double(Ms(3)), 1}}};
}

void TrendModelTest::runsSplitAtLostValues()
{
    QFETCH(QList<double>, values);
    QFETCH(bool, steps);
    QFETCH(QList<QList<QPointF>>, runs);
    const TrendModel model = ModelOf(values, steps);
    QCOMPARE(model.Runs(0, Ms(0), Ms(values.size()), TrendModel::DefaultSampleLimit), runs);
}

void TrendModelTest::decimationKeepsExtremesAndGaps()
{
    QList<double> values;
    for (int i = 0; i < 10000; ++i)
        values.append(i % 100);
    values[1234] = 500;
    values[7777] = -500;
    values[5000] = L;
    const TrendModel model = ModelOf(values, false);
    const QList<QList<QPointF>> runs = model.Runs(0, Ms(0), Ms(values.size()), 200);
    QCOMPARE(runs.size(), 2); // split at the lost read
    QCOMPARE(runs[0].last().x() < double(Ms(5000)) && runs[1].first().x() > double(Ms(5000)), true);
    qsizetype points = 0;
    double low = 0;
    double high = 0;
    for (const QList<QPointF> &run : runs)
        for (const QPointF &point : run) {
            ++points;
            low = std::min(low, point.y());
            high = std::max(high, point.y());
        }
    QVERIFY2(points <= 202, qPrintable(QString::number(points)));
    QCOMPARE(low, -500.0);
    QCOMPARE(high, 500.0);
}

void TrendModelTest::boundHoldsAfterFarMoreSamples()
{
    constexpr int Limit = 1000;
    constexpr int Count = 50 * Limit;
    TrendModel model(Limit);
    model.SetChannels({{"a"}, {"b"}});
    for (int i = 0; i < Count; ++i)
        model.Append(SampleAt(i, {double(i), i % 97 == 0 ? L : 1.0}));
    QVERIFY(model.SampleCount() <= Limit);
    QVERIFY(model.SampleCount() >= Limit / 2);
    // The whole span stays, the newest samples at full grain, and lost reads stay lost.
    QCOMPARE(model.TimeAt(0), Ms(0));
    QCOMPARE(model.TimeAt(model.SampleCount() - 1), Ms(Count - 1));
    QCOMPARE(model.ValueAt(0, model.SampleCount() - 2), double(Count - 2));
    int lost = 0;
    for (int i = 0; i < model.SampleCount(); ++i) {
        lost += IsLost(model.ValueAt(1, i)) ? 1 : 0;
        if (i > 0)
            QVERIFY(model.TimeAt(i) > model.TimeAt(i - 1));
    }
    QVERIFY(lost > 0);
    QVERIFY(model.MemoryBytes() <=
            std::size_t(Limit) * 2 * (sizeof(qint64) + sizeof(int) + 2 * sizeof(double)));
}

void TrendModelTest::csvReadsBackToTheSameNumbers()
{
    TrendModel model;
    model.SetChannels({{"Vstup 1"}, {"Kotel, \"spodní\""}});
    const QList<QList<double>> rows = {{1.25, -0.001}, {L, 123456.789}, {0.1 + 0.2, L}, {-7, 0}};
    for (qsizetype i = 0; i < rows.size(); ++i)
        model.Append(SampleAt(static_cast<int>(i), rows[i]));
    const QByteArray text = TrendCsvText(model);
    QVERIFY(text.startsWith("Time,Vstup 1,\"Kotel, \"\"spodní\"\"\"\r\n"));
    QVERIFY(text.contains("2026-03-01T12:00:00.350+01:00,,123456.789\r\n"));

    const ReadTrendFile file = ReadTrendCsv(text);
    QVERIFY(file.ok);
    QCOMPARE(file.names, QStringList({"Vstup 1", "Kotel, \"spodní\""}));
    QCOMPARE(file.samples.size(), rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QCOMPARE(file.samples[i].time.toMSecsSinceEpoch(), Ms(static_cast<int>(i)));
        QVERIFY2(SameValues(file.samples[i].values, rows[i]), qPrintable(QString::number(i)));
    }
}

void TrendModelTest::logAppendsAndSurvivesFailedWrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    TrendLog log;
    QSignalSpy failures(&log, &TrendLog::Failed);
    QString reason;
    const QList<TrendChannel> channels = {{"T"}};
    QVERIFY(log.Start(path, channels, reason));
    log.Append(SampleAt(0, {20.5}));
    log.Append(SampleAt(1, {L}));
    // Written at once: another reader sees both lines while the log is still open.
    QCOMPARE(ReadTrendCsvFile(path).samples.size(), 2);
    log.Stop();
    // Starting again appends, without a second header.
    QVERIFY(log.Start(path, channels, reason));
    log.Append(SampleAt(2, {21}));
    ReadTrendFile file = ReadTrendCsvFile(path);
    QVERIFY(file.ok);
    QCOMPARE(file.samples.size(), 3);
    QVERIFY(SameValues(file.samples[2].values, {21}));

    const qint64 before = QFileInfo(path).size();
    {
        const FileSizeLimit limit(before + 10); // the disk is full halfway through the next line
        QVERIFY(limit.Active());
        log.Append(SampleAt(3, {22}));
        log.Append(SampleAt(4, {23}));
    }
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures[0][0].toString().contains(path));
    QVERIFY(!log.IsActive());
    log.Append(SampleAt(5, {24}));
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    // What was logged before the failure is all there; nothing is written after it.
    file = ReadTrendCsv(text.left(before));
    QVERIFY(file.ok);
    QCOMPARE(file.samples.size(), 3);
    QVERIFY(text.size() <= before + 10);
}

QTEST_GUILESS_MAIN(TrendModelTest)
#include "tst_trend_model.moc"
