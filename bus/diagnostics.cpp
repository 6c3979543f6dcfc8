#include "diagnostics.h"

namespace navix {

Q_LOGGING_CATEGORY(BusLog, "navix.bus", QtWarningMsg)
Q_LOGGING_CATEGORY(EngineLog, "navix.engine", QtWarningMsg)
Q_LOGGING_CATEGORY(RouterLog, "navix.router", QtWarningMsg)
Q_LOGGING_CATEGORY(TurnLog, "navix.turns", QtWarningMsg)

} // namespace navix
