#pragma once
// The program's logging categories. All are silent by default (only warnings pass); switch one on with
// QT_LOGGING_RULES, for example QT_LOGGING_RULES="navix.engine.debug=true" or "navix.*.debug=true".

#include <QLoggingCategory>

namespace navix {

Q_DECLARE_LOGGING_CATEGORY(BusLog)    // navix.bus: ports opened, closed, lost
Q_DECLARE_LOGGING_CATEGORY(EngineLog) // navix.engine: every command, reply, time-out and dropped input
Q_DECLARE_LOGGING_CATEGORY(RouterLog) // navix.router: the bus taken and given back, the editor cycle
Q_DECLARE_LOGGING_CATEGORY(TurnLog)   // navix.turns: the editors' turns opened, their writes and outcomes

} // namespace navix
