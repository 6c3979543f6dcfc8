// A 4017 editor polling the simulated bus feeds its trend window: the series show the simulator's values,
// named by the channel names, with the unit on the axis; a stretch of lost reads is a gap; the saved data
// reads back to the same numbers and the picture is a PNG. The trend adds no command to the bus.
//
// With NAVIX_TREND_PICTURE set to a file name, the test also lets the simulated values move for a while and
// saves the picture there through "Save picture ..." (the picture of the README is made so).

#include "trend_files.h"

#include "editors/editor_bench.h"
#include "trends/trend_window.h"

#include <QImage>
#include <QTemporaryDir>

#include <memory>

using namespace navix;

namespace {
constexpr int WaitMs = 5000;
constexpr qint64 PictureSpanMs = 55000;
constexpr int PictureWaitMs = 120000;
constexpr int PictureTimeOutMs = 100;
const QList<double> ChannelValues = {1.25, -3.5, 9.875, 0.5, -0.125, 4, 7.75, -9.999};
} // namespace

class TrendWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void trendOfA4017ShowsWhatItsPollReads();
    void buttonShowsTheOpenWindowAgain();
};

void TrendWindowTest::trendOfA4017ShowsWhatItsPollReads()
{
    EditorBench bench;
    const ModuleRecordPtr record = bench.AddModule("4017", "05080600");
    SimModule &module = bench.Module(record);
    for (int channel = 0; channel < 8; ++channel)
        module.channels[channel] = ChannelValues[channel];
    std::unique_ptr<TrendWindow> window;
    bench.workspace.onShowTrend = [&window](TrendFeed &feed) {
        window = std::make_unique<TrendWindow>(feed);
    };
    QWidget *editor = bench.Open(record);
    QVERIFY(editor);
    QTest::mouseClick(&Find<QPushButton>(editor, "TrendButton"), Qt::LeftButton);
    QVERIFY(window);
    window->show();
    QTRY_VERIFY_WITH_TIMEOUT(window->Model().SampleCount() >= 3, WaitMs);

    window->Redraw();
    QCOMPARE(window->windowTitle(), QString("Trend - N770 (05)"));
    QCOMPARE(window->Chart().axes(Qt::Vertical).first()->titleText(), QString("V"));
    for (int channel = 0; channel < 8; ++channel) {
        QCOMPARE(window->SeriesOf(channel).size(), std::size_t(1));
        const QLineSeries &series = *window->SeriesOf(channel).front();
        QCOMPARE(series.name(), "Vstup " + QString::number(channel + 1));
        QVERIFY(series.count() >= 3);
        for (const QPointF &point : series.points())
            QCOMPARE(point.y(), ChannelValues[channel]);
    }
    // The samples come from the editor's own reads: nothing but its mask and channel reads went out.
    for (const QByteArray &command : bench.Commands())
        QVERIFY2(command == "$056\r" || command == "$05F\r" ||
                     QRegularExpression("^#05[0-7]\r$").match(QString::fromLatin1(command)).hasMatch(),
                 command.constData());

    // The module stops answering for a while: a gap, not zeros.
    module.loseAllReplies = true;
    QTRY_VERIFY_WITH_TIMEOUT(IsLost(window->Model().ValueAt(0, window->Model().SampleCount() - 1)), WaitMs);
    module.loseAllReplies = false;
    QTRY_VERIFY_WITH_TIMEOUT(!IsLost(window->Model().ValueAt(0, window->Model().SampleCount() - 1)), WaitMs);
    window->Redraw();
    QCOMPARE(window->SeriesOf(0).size(), std::size_t(2));
    const QPointF lastBefore = window->SeriesOf(0)[0]->points().last();
    const QPointF firstAfter = window->SeriesOf(0)[1]->points().first();
    QVERIFY(firstAfter.x() > lastBefore.x());
    for (const QLineSeries *series : window->SeriesOf(0))
        for (const QPointF &point : series->points())
            QCOMPARE(point.y(), ChannelValues[0]);
    // A hidden channel leaves the plot.
    Find<QCheckBox>(window.get(), "ChannelCheckBox2").setChecked(false);
    QCOMPARE(window->SeriesOf(1).front()->count(), 0);

    QTemporaryDir dir;
    const QString dataPath = dir.filePath("trend.csv");
    const QString picturePath = dir.filePath("trend.png");
    bench.prompt.fileAnswers = {dataPath, picturePath};
    const int saved = window->Model().SampleCount();
    QTest::mouseClick(&Find<QPushButton>(window.get(), "SaveDataButton"), Qt::LeftButton);
    const ReadTrendFile file = ReadTrendCsvFile(dataPath);
    QVERIFY(file.ok);
    QCOMPARE(file.names.size(), 8);
    QCOMPARE(file.names.first(), QString("Vstup 1"));
    QVERIFY(file.samples.size() >= saved);
    for (int index = 0; index < saved; ++index) {
        const TrendSample sample = window->Model().SampleAt(index);
        QCOMPARE(file.samples[index].time.toMSecsSinceEpoch(), sample.time.toMSecsSinceEpoch());
        QVERIFY(SameValues(file.samples[index].values, sample.values));
    }
    QTest::mouseClick(&Find<QPushButton>(window.get(), "SavePictureButton"), Qt::LeftButton);
    const QImage picture(picturePath, "PNG");
    QVERIFY(!picture.isNull());
    const QChartView &chartView = Find<QChartView>(window.get(), "ChartView");
    QCOMPARE(picture.size(), chartView.size() * chartView.devicePixelRatio());
    QVERIFY(bench.prompt.messages.isEmpty());

    const QString docsPicture = qEnvironmentVariable("NAVIX_TREND_PICTURE");
    if (!docsPicture.isEmpty()) {
        // The values drift at the pace of a real line, with a few lost reads on the way.
        bench.bus.Line().lineTiming = true;
        bench.workspace.engine.SetTimeOutMs(PictureTimeOutMs);
        module.frozen = false;
        Find<QComboBox>(window.get(), "SpanComboBox")
            .setCurrentIndex(static_cast<int>(TrendWindow::Span::OneMinute));
        window->resize(900, 520);
        const qint64 from = QDateTime::currentMSecsSinceEpoch();
        auto spanReached = [&](qint64 ms) {
            const TrendModel &model = window->Model();
            return model.TimeAt(model.SampleCount() - 1) - from >= ms;
        };
        QTRY_VERIFY_WITH_TIMEOUT(spanReached(PictureSpanMs / 2), PictureWaitMs);
        module.loseAllReplies = true;
        const int before = window->Model().SampleCount();
        QTRY_VERIFY_WITH_TIMEOUT(window->Model().SampleCount() >= before + 3, PictureWaitMs);
        module.loseAllReplies = false;
        QTRY_VERIFY_WITH_TIMEOUT(spanReached(PictureSpanMs), PictureWaitMs);
        bench.prompt.fileAnswers = {docsPicture};
        QTest::mouseClick(&Find<QPushButton>(window.get(), "SavePictureButton"), Qt::LeftButton);
        QVERIFY(QFileInfo::exists(docsPicture));
    }
    window.reset();
}

void TrendWindowTest::buttonShowsTheOpenWindowAgain()
{
    QWidget main;
    TrendFeed first;
    TrendFeed second;
    TrendWindow &window = ShowTrendWindow(first, &main);
    QCOMPARE(&ShowTrendWindow(first, &main), &window);
    QVERIFY(&ShowTrendWindow(second, &main) != &window);
    window.close(); // closing deletes it: the next press opens a new one
    QTRY_COMPARE(main.findChildren<TrendWindow *>().size(), 1);
}

QTEST_MAIN(TrendWindowTest)
#include "tst_trend_window.moc"
