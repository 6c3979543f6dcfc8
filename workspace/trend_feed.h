#pragma once
// What an editor's poll turn hands to a trend of its module: one sample per poll, a value per channel, taken
// from the reads the turn makes anyway (a trend adds no traffic on the bus). A read that went unanswered, or
// a channel that is switched off, is a lost value (a gap in the trend), never a zero.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

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

// How far a poll's values can be trusted.
enum class ValueQuality {
    Good,          // the module answered this poll
    Lost,          // the poll's read went unanswered: the values are lost
    WrongChecksum, // the reply came with a wrong checksum: the values are lost
    Absent         // the module missed several polls in a row (HeadlessPoller::MissedPollsForAbsent)
};

// One poll's values as a turn reads them: numbers with their channels' names and unit, and their quality.
// The editors show the same reads as text; trends, navix-cli and the gateway take these.
struct ModuleValues
{
    QByteArray address; // the module's configured address, two hex digits
    QByteArray typeId;  // as the module named itself
    QString model;      // the model label the editor's caption shows
    QList<TrendChannel> channels;
    QString unit;         // empty for raw counts and digital states
    QList<double> values; // one per channel, LostValue where there was no read
    QStringList texts;    // one per channel as the editor shows it, empty where there was no read
    ValueQuality quality = ValueQuality::Good;
};

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
    // A poll's values with the module's name, channels and unit as they stand now.
    void Take(const ModuleValues &values);

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
