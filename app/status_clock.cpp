#include "status_clock.h"

namespace {
constexpr QChar Quote = u'\'';
constexpr QChar TimeZoneField = u't';
} // namespace

QString WithoutTimeZone(const QString &timeFormat)
{
    QString clock;
    bool quoted = false;
    for (const QChar c : timeFormat) {
        if (c == Quote)
            quoted = !quoted;
        else if (c == TimeZoneField && !quoted)
            continue;
        clock += c;
    }
    // "H:mm:ss (t)" leaves empty brackets behind.
    clock.remove(QStringLiteral("()"));
    return clock.trimmed();
}
