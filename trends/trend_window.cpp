#include "trend_window.h"

#include "bus/text_file.h"
#include "workspace/prompt.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLegendMarker>
#include <QPixmap>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace navix {

const QStringList TrendWindow::SpanItems = {"1 min", "10 min", "1 h", "all"};

namespace {
constexpr qint64 MinuteMs = 60 * 1000;
constexpr std::array<qint64, 3> SpanMs = {MinuteMs, 10 * MinuteMs, 60 * MinuteMs};
constexpr double ValueMargin = 0.05; // of the value range, above and below
constexpr double StepMargin = 0.1;   // below 0 and above 1 for digital states
constexpr double FlatMargin = 1.0;   // around a value that does not move
constexpr int ChartMinimumWidth = 640;
constexpr int ChartMinimumHeight = 360;
constexpr int ControlSpacing = 12; // between the view controls and the channel boxes
const QString PngFilter = QStringLiteral("PNG pictures (*.png)");
const QString CsvFilter = QStringLiteral("CSV files (*.csv)");
const QList<QColor> SeriesColours = {Qt::blue,     Qt::red,        Qt::darkGreen, Qt::magenta,
                                     Qt::darkCyan, Qt::darkYellow, Qt::black,     Qt::darkRed};

QColor ColourOf(int channel)
{
    return SeriesColours[channel % SeriesColours.size()];
}
} // namespace

TrendWindow::TrendWindow(TrendFeed &feed, QWidget *parent, int sampleLimit)
    : QWidget(parent, Qt::Window), feed(&feed), model(sampleLimit)
{
    setObjectName("TrendWindow");
    BuildViewControls();
    BuildChart();
    BuildFileControls();
    BuildLayout();
    connect(&feed, &TrendFeed::Sampled, this, &TrendWindow::TakeSample);
    connect(&feed, &TrendFeed::Described, this, &TrendWindow::ShowDescription);
    connect(&log, &TrendLog::Failed, this, &TrendWindow::LogFailed);
    connect(&redrawTimer, &QTimer::timeout, this, [this] {
        if (dirty && FollowCheckBox.isChecked())
            Redraw();
    });
    redrawTimer.start(RedrawIntervalMs);
    ShowDescription();
    Redraw();
}

// Building

void TrendWindow::BuildViewControls()
{
    SpanLabel.setObjectName("SpanLabel");
    SpanLabel.setText("Span :");
    SpanLabel.setBuddy(&SpanComboBox);
    SpanComboBox.setObjectName("SpanComboBox");
    SpanComboBox.addItems(SpanItems);
    SpanComboBox.setCurrentIndex(static_cast<int>(Span::TenMinutes));
    FollowCheckBox.setObjectName("FollowCheckBox");
    FollowCheckBox.setText("Follow");
    FollowCheckBox.setChecked(true);
    channelPanel.setObjectName("ChannelPanel");
    new QHBoxLayout(&channelPanel);
    channelPanel.layout()->setContentsMargins(0, 0, 0, 0);
    connect(&SpanComboBox, &QComboBox::currentIndexChanged, this, &TrendWindow::Redraw);
    connect(&FollowCheckBox, &QCheckBox::toggled, this, &TrendWindow::Redraw);
}

void TrendWindow::BuildChart()
{
    chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    // A chart whose axes came before any series draws no time axis: an empty series stays in it for good.
    auto *anchor = new QLineSeries;
    chart->addSeries(anchor);
    timeAxis = new QDateTimeAxis;
    timeAxis->setFormat("hh:mm:ss");
    timeAxis->setTitleText("Time");
    valueAxis = new QValueAxis;
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(valueAxis, Qt::AlignLeft);
    anchor->attachAxis(timeAxis);
    anchor->attachAxis(valueAxis);
    for (QLegendMarker *marker : chart->legend()->markers(anchor))
        marker->setVisible(false);
    ChartView.setObjectName("ChartView");
    // The view comes with an empty chart of its own and lets go of it, undeleted, when it is given another.
    QChart *const emptyChart = ChartView.chart();
    ChartView.setChart(chart);
    delete emptyChart;
    ChartView.setRenderHint(QPainter::Antialiasing);
    ChartView.setMinimumSize(ChartMinimumWidth, ChartMinimumHeight);
}

void TrendWindow::BuildFileControls()
{
    SavePictureButton.setObjectName("SavePictureButton");
    SavePictureButton.setText("Save picture ...");
    SaveDataButton.setObjectName("SaveDataButton");
    SaveDataButton.setText("Save data ...");
    LogButton.setObjectName("LogButton");
    LogLabel.setObjectName("LogLabel");
    ShowLogState();
    connect(&SavePictureButton, &QPushButton::clicked, this, &TrendWindow::SavePictureButtonClick);
    connect(&SaveDataButton, &QPushButton::clicked, this, &TrendWindow::SaveDataButtonClick);
    connect(&LogButton, &QPushButton::clicked, this, &TrendWindow::LogButtonClick);
}

void TrendWindow::BuildLayout()
{
    auto *controls = new QHBoxLayout;
    controls->addWidget(&SpanLabel);
    controls->addWidget(&SpanComboBox);
    controls->addWidget(&FollowCheckBox);
    controls->addSpacing(ControlSpacing);
    controls->addWidget(&channelPanel, 1);
    auto *files = new QHBoxLayout;
    files->addWidget(&SavePictureButton);
    files->addWidget(&SaveDataButton);
    files->addWidget(&LogButton);
    files->addWidget(&LogLabel, 1);
    auto *column = new QVBoxLayout(this);
    column->addLayout(controls);
    column->addWidget(&ChartView, 1);
    column->addLayout(files);
}

QLineSeries *TrendWindow::NewSeries(int channel)
{
    auto *line = new QLineSeries;
    line->setName(model.Channels().value(channel).name);
    // After adding: the chart's theme colours every series it takes.
    chart->addSeries(line);
    line->setColor(ColourOf(channel));
    line->attachAxis(timeAxis);
    line->attachAxis(valueAxis);
    series[channel].push_back(line);
    // Only the first run of a channel stands in the legend.
    if (series[channel].size() > 1)
        for (QLegendMarker *marker : chart->legend()->markers(line))
            marker->setVisible(false);
    return line;
}

void TrendWindow::RebuildChannels()
{
    for (std::vector<QLineSeries *> &runs : series)
        for (QLineSeries *line : runs) {
            chart->removeSeries(line);
            delete line;
        }
    series.assign(model.ChannelCount(), {});
    for (QCheckBox *box : channelBoxes)
        delete box;
    channelBoxes.clear();
    for (int channel = 0; channel < model.ChannelCount(); ++channel) {
        NewSeries(channel);
        auto *box = new QCheckBox(model.Channels()[channel].name, &channelPanel);
        box->setObjectName("ChannelCheckBox" + QString::number(channel + 1));
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, &TrendWindow::Redraw);
        channelPanel.layout()->addWidget(box);
        channelBoxes.push_back(box);
    }
}

// What the feed reports

void TrendWindow::ShowDescription()
{
    if (!feed)
        return;
    setWindowTitle(feed->Title().isEmpty() ? QStringLiteral("Trend") : "Trend - " + feed->Title());
    valueAxis->setTitleText(feed->Unit());
    if (feed->Channels() != model.Channels()) {
        model.SetChannels(feed->Channels());
        log.Describe(feed->Channels());
        RebuildChannels();
    }
    dirty = true;
}

void TrendWindow::TakeSample(const TrendSample &sample)
{
    model.Append(sample);
    log.Append(sample);
    dirty = true;
}

// Drawing

void TrendWindow::UpdateViewRange()
{
    if (!FollowCheckBox.isChecked() && viewTo != 0) {
        // Paused: the view keeps its end; a new span reaches back from there.
    } else {
        viewTo = model.SampleCount() > 0 ? model.TimeAt(model.SampleCount() - 1)
                                         : QDateTime::currentMSecsSinceEpoch();
    }
    const int span = SpanComboBox.currentIndex();
    if (span >= 0 && span < static_cast<int>(SpanMs.size()))
        viewFrom = viewTo - SpanMs[span];
    else
        viewFrom = model.SampleCount() > 0 ? std::min(model.TimeAt(0), viewTo - 1) : viewTo - MinuteMs;
}

void TrendWindow::Redraw()
{
    dirty = false;
    UpdateViewRange();
    timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(viewFrom), QDateTime::fromMSecsSinceEpoch(viewTo));
    for (int channel = 0; channel < model.ChannelCount(); ++channel)
        DrawChannel(channel);
    ScaleValueAxis();
}

void TrendWindow::DrawChannel(int channel)
{
    const bool shown = channelBoxes.at(channel)->isChecked();
    const QList<QList<QPointF>> runs =
        shown ? model.Runs(channel, viewFrom, viewTo, DrawnPointsPerChannel) : QList<QList<QPointF>>();
    std::vector<QLineSeries *> &lines = series[channel];
    while (lines.size() < static_cast<std::size_t>(runs.size()))
        NewSeries(channel);
    // The first series stays for the legend; runs that are gone take their series with them.
    while (lines.size() > std::max<std::size_t>(1, runs.size())) {
        chart->removeSeries(lines.back());
        delete lines.back();
        lines.pop_back();
    }
    for (std::size_t run = 0; run < lines.size(); ++run) {
        lines[run]->setName(model.Channels()[channel].name);
        lines[run]->replace(run < static_cast<std::size_t>(runs.size()) ? runs[run] : QList<QPointF>());
    }
}

void TrendWindow::ScaleValueAxis()
{
    QList<bool> shown;
    bool allSteps = model.ChannelCount() > 0;
    for (int channel = 0; channel < model.ChannelCount(); ++channel) {
        shown.append(channelBoxes[channel]->isChecked());
        allSteps = allSteps && model.Channels()[channel].steps;
    }
    if (allSteps) {
        valueAxis->setRange(-StepMargin, 1 + StepMargin);
        return;
    }
    double low = 0;
    double high = 0;
    if (!model.ValueRange(shown, viewFrom, viewTo, low, high)) {
        valueAxis->setRange(0, 1);
        return;
    }
    const double margin = high > low ? (high - low) * ValueMargin : FlatMargin;
    valueAxis->setRange(low - margin, high + margin);
}

// What the user did

void TrendWindow::SavePictureButtonClick()
{
    const QString path = Prompts().SaveFileName("Save picture", PngFilter, "png");
    if (path.isEmpty())
        return;
    Redraw();
    // The chart lays out its axes and legend on posted events: they are done before the picture is taken.
    QCoreApplication::sendPostedEvents();
    if (!ChartView.grab().save(path, "PNG"))
        Prompts().Error("The picture could not be saved to " + path + " !");
}

void TrendWindow::SaveDataButtonClick()
{
    const QString path = Prompts().SaveFileName("Save data", CsvFilter, "csv");
    if (path.isEmpty())
        return;
    if (ReplaceFile(path, TrendCsvText(model)) != SaveResult::Saved)
        Prompts().Error("The data could not be saved to " + path + " !");
}

void TrendWindow::LogButtonClick()
{
    if (log.IsActive()) {
        log.Stop();
        ShowLogState();
        return;
    }
    const QString path = Prompts().SaveFileName("Log to file", CsvFilter, "csv");
    if (path.isEmpty())
        return;
    QString reason;
    if (!log.Start(path, model.Channels(), reason))
        Prompts().Error("The log to " + path + " could not be started: " + reason);
    ShowLogState();
}

void TrendWindow::ShowLogState()
{
    LogButton.setText(log.IsActive() ? "Stop log" : "Log to file ...");
    LogLabel.setText(log.IsActive() ? "Logging to " + log.Path() : QString());
}

void TrendWindow::LogFailed(const QString &message)
{
    ShowLogState();
    LogLabel.setText(message);
    // A sample arrives inside the editor's turn on the bus: the message box waits until that turn is over.
    QTimer::singleShot(0, this, [message] { Prompts().Error(message); });
}

TrendWindow &ShowTrendWindow(TrendFeed &feed, QWidget *parent)
{
    TrendWindow *window = nullptr;
    for (TrendWindow *open : parent->findChildren<TrendWindow *>(Qt::FindDirectChildrenOnly))
        if (open->Feed() == &feed)
            window = open;
    if (!window) {
        window = new TrendWindow(feed, parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return *window;
}

} // namespace navix
