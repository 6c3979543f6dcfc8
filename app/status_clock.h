#pragma once
// The clock of the status bar shows the time in the system's long format, without the time zone that some
// systems add to it: the panel shows the local time only.

#include <QString>

class QLabel;

namespace navix {

// A time format with every time-zone field (and the brackets or blanks left around it) taken out; quoted text
// stays as it is.
QString WithoutTimeZone(const QString &timeFormat);

// Shows a clock text in a status bar panel. The panel keeps its size while the text fits it and only grows
// when a text needs more room: a panel whose size follows its text would lay out the whole main window
// again on every tick of the clock.
void ShowClockText(QLabel &panel, const QString &text);

} // namespace navix
