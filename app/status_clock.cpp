#include "status_clock.h"

#include <QLabel>

namespace navix {

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

void ShowClockText(QLabel &panel, const QString &text)
{
    if (panel.text() == text)
        return;
    panel.setText(text);
    // A panel of fixed size tells no layout of the change; it is fixed at the first text and grows only.
    const QSize wanted = panel.sizeHint().expandedTo(panel.minimumSize());
    if (panel.minimumSize() != panel.maximumSize() || wanted != panel.minimumSize())
        panel.setFixedSize(wanted);
}

} // namespace navix
