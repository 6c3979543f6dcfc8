#pragma once
// The Modbus server's log category, navix.modbus: clients connected, refused and disconnected, malformed
// frames. Only warnings pass by default; QT_LOGGING_RULES="navix.modbus.info=true" shows the clients.

#include <QLoggingCategory>

namespace navix::modbus {

Q_DECLARE_LOGGING_CATEGORY(ModbusLog)

} // namespace navix::modbus
