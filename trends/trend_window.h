#pragma once
// trends/ holds the trend of a module editor's values: this window, the bounded sample store (TrendModel)
// and the CSV files and the log to file (trend_csv), the latter two without any widget. The samples come
// from the editors' turns through workspace/trend_feed.h.
//
// The trend window of one module editor: a plot over time of the values the editor's poll reads, one series
// per channel named by its channel name, the unit on the value axis, lost reads shown as gaps. The user picks
// the time span, pauses or follows the newest values, hides channels, saves a picture or the data, and logs
// every sample to a file as it comes. The samples live in a TrendModel, the file work in TrendLog and the
// CSV functions; this window only shows them and hands them what the user did.

#include "trend_csv.h"
#include "trend_model.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <vector>

namespace navix {

class TrendWindow : public QWidget
{
    Q_OBJECT
public:
    // The spans of SpanComboBox, in its order.
    enum class Span { OneMinute, TenMinutes, OneHour, All };
    static const QStringList SpanItems;
    static constexpr int RedrawIntervalMs = 500;
    static constexpr int DrawnPointsPerChannel = 2000;

    TrendWindow(TrendFeed &feed, QWidget *parent = nullptr, int sampleLimit = TrendModel::DefaultSampleLimit);

    const TrendFeed *Feed() const { return feed; }
    const TrendModel &Model() const { return model; }
    QChart &Chart() { return *chart; }
    // The drawn runs of a channel: one series per run between gaps, the first one named in the legend.
    const std::vector<QLineSeries *> &SeriesOf(int channel) const { return series.at(channel); }
    bool IsLogging() const { return log.IsActive(); }

    // Draws the samples of the span now (the timer does so twice a second while the view follows).
    void Redraw();

private:
    void SavePictureButtonClick();
    void SaveDataButtonClick();
    void LogButtonClick();
    void BuildViewControls();
    void BuildChart();
    void BuildFileControls();
    void BuildLayout();
    void TakeSample(const TrendSample &sample);
    void ShowDescription();
    void RebuildChannels();
    void ShowLogState();
    void LogFailed(const QString &message);
    // The time range of the view: the span up to the newest sample, or the range kept while paused.
    void UpdateViewRange();
    void DrawChannel(int channel);
    void ScaleValueAxis();
    QLineSeries *NewSeries(int channel);

    QPointer<TrendFeed> feed;
    TrendModel model;
    TrendLog log;
    // Controls: each object name is the member's name, by which tests find the control.
    QLabel SpanLabel;
    QComboBox SpanComboBox;
    QCheckBox FollowCheckBox;
    QPushButton SavePictureButton;
    QPushButton SaveDataButton;
    QPushButton LogButton;
    QLabel LogLabel;
    QChartView ChartView;
    QWidget channelPanel;
    std::vector<QCheckBox *> channelBoxes;
    // The chart view owns the chart, the chart its axes and series.
    QChart *chart = nullptr;
    QDateTimeAxis *timeAxis = nullptr;
    QValueAxis *valueAxis = nullptr;
    std::vector<std::vector<QLineSeries *>> series;
    QTimer redrawTimer;
    bool dirty = false;
    qint64 viewFrom = 0;
    qint64 viewTo = 0;
};

// Shows the trend window of the feed, a child window of parent: the open one, or a new one.
TrendWindow &ShowTrendWindow(TrendFeed &feed, QWidget *parent);

} // namespace navix
