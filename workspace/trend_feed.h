#pragma once
// What an editor's poll turn hands to a trend of its module: one sample per poll, a value per channel, taken
// from the reads the turn makes anyway (a trend adds no traffic on the bus). A read that went unanswered, or
// a channel that is switched off, is a lost value (a gap in the trend), never a zero.

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <cmath>
#include <limits>

namespace navix {

// One series of a trend: the channel's name and whether its value moves in steps (a digital state).
struct TrendChannel
{
    QString name;
    bool steps = false;

    bool operator==(const TrendChannel &) const = default;
};

struct TrendSample
{
    QDateTime time;
    QList<double> values; // one per channel, LostValue where there was no read
};

// A value the turn could not read.
inline constexpr double LostValue = std::numeric_limits<double>::quiet_NaN();
inline bool IsLost(double value)
{
    return std::isnan(value);
}

class TrendFeed : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The module it comes from, as the trend window's caption names it.
    const QString &Title() const { return title; }
    void SetTitle(const QString &text);
    // The unit of the values (axis title); empty for raw counts and digital states.
    const QString &Unit() const { return unit; }
    const QList<TrendChannel> &Channels() const { return channels; }
    // The channels and their unit as they stand now (names follow the editor's captions).
    void Describe(const QList<TrendChannel> &newChannels, const QString &newUnit);

    // A poll's values, stamped with the time they came in.
    void Record(const QList<double> &values);

signals:
    void Sampled(const TrendSample &sample);
    // Title, unit or channels changed.
    void Described();

private:
    QString title;
    QString unit;
    QList<TrendChannel> channels;
};

} // namespace navix
