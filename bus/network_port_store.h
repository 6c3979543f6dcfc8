#pragma once
// The one setting the program keeps between runs: its network ports with their numbers. Kept through
// QSettings in the platform's usual place (on Linux ~/.config/navix/navix-utility.conf).

#include "port_directory.h"

#include <QString>

#include <memory>

class QSettings;

namespace navix {

class NetworkPortStore
{
public:
    // The user's own settings.
    NetworkPortStore();
    // Settings kept in the file of that name (tests).
    explicit NetworkPortStore(const QString &fileName);
    ~NetworkPortStore();

    // What was saved last; entries that are no usable address or number are left out.
    QList<NetworkPortEntry> Load() const;
    void Save(const QList<NetworkPortEntry> &ports);

private:
    std::unique_ptr<QSettings> settings;
};

} // namespace navix
