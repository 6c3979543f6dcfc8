#include "gateway_log.h"

namespace navix {

Q_LOGGING_CATEGORY(GatewayLog, "navix.gateway")

} // namespace navix
