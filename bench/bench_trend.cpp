// Prints what a day of polling costs a trend window: the memory its samples hold and the process's resident
// size as the samples pile up far past the bound, the time a sample takes on its way from the feed into the
// window (what an editor's poll pays), and the time of one redraw of the whole span. Run it on the offscreen
// platform: QT_QPA_PLATFORM=offscreen build/bench/navix-bench-trend

#include "trends/trend_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <unistd.h>

using namespace navix;

namespace {
constexpr int Channels = 8;
constexpr qint64 PollMs = 100;                           // ten polls a second
constexpr int DaySamples = 24 * 60 * 60 * 1000 / PollMs; // one day of them
constexpr int Reports = 8;

long ResidentKiB()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    TrendFeed feed;
    QList<TrendChannel> channels;
    for (int channel = 1; channel <= Channels; ++channel)
        channels.append({"Vstup " + QString::number(channel)});
    feed.Describe(channels, "V");
    TrendWindow window(feed);
    window.findChild<QComboBox *>("SpanComboBox")->setCurrentIndex(static_cast<int>(TrendWindow::Span::All));

    std::printf("trend of %d channels, %d samples (one day at %lld ms), bound %d samples\n", Channels,
                DaySamples, PollMs, window.Model().SampleLimit());
    std::printf("%10s %12s %12s %14s\n", "samples", "kept", "model KiB", "resident KiB");
    const QDateTime start = QDateTime::currentDateTime();
    QList<double> values(Channels);
    QElapsedTimer clock;
    qint64 feedingNs = 0;
    for (int sample = 0; sample < DaySamples; ++sample) {
        for (int channel = 0; channel < Channels; ++channel)
            values[channel] = sample % 600 == 0 ? LostValue : std::sin(sample * 0.001 + channel) * 10;
        const TrendSample taken{start.addMSecs(sample * PollMs), values};
        clock.start();
        emit feed.Sampled(taken);
        feedingNs += clock.nsecsElapsed();
        if ((sample + 1) % (DaySamples / Reports) == 0)
            std::printf("%10d %12d %12zu %14ld\n", sample + 1, window.Model().SampleCount(),
                        window.Model().MemoryBytes() / 1024, ResidentKiB());
    }
    std::printf("per sample into the window: %.0f ns\n", double(feedingNs) / DaySamples);
    clock.start();
    window.Redraw();
    std::printf("first redraw of the whole span (series built): %.1f ms\n", clock.nsecsElapsed() / 1e6);
    emit feed.Sampled({start.addMSecs(qint64(DaySamples) * PollMs), values});
    clock.start();
    window.Redraw();
    std::printf("next redraw of the whole span: %.1f ms\n", clock.nsecsElapsed() / 1e6);
    return 0;
}
