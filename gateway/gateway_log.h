#pragma once
// The gateway's log category, navix.gateway: buses started and rebuilt, ports lost and reopened, the broker,
// sets and their outcomes, reloads. journald takes it from standard error.

#include <QLoggingCategory>

namespace navix {

Q_DECLARE_LOGGING_CATEGORY(GatewayLog)

} // namespace navix
