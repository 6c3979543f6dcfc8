#pragma once
// The MQTT client's logging category, silent by default like the program's others (only warnings pass):
// QT_LOGGING_RULES="navix.mqtt.debug=true" shows every connect, subscription and dropped publish, and
// libmosquitto's own log lines. Passwords and key material never reach it.

#include <QLoggingCategory>

namespace navix {

Q_DECLARE_LOGGING_CATEGORY(MqttLog) // navix.mqtt: the broker connection, its losses and reconnects

} // namespace navix
