#pragma once
// The clock of the status bar shows the time in the system's long format, without the time zone that some
// systems add to it: the panel shows the local time only.

#include <QString>

// A time format with every time-zone field (and the brackets or blanks left around it) taken out; quoted text
// stays as it is.
QString WithoutTimeZone(const QString &timeFormat);
