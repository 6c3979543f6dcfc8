#include "network_port_store.h"

#include <QSettings>

namespace navix {

namespace {
const QString ArrayKey = QStringLiteral("NetworkPorts");
const QString NumberKey = QStringLiteral("number");
const QString AddressKey = QStringLiteral("address");
} // namespace

NetworkPortStore::NetworkPortStore()
    : settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QStringLiteral("navix"), QStringLiteral("navix-utility")))
{
}

NetworkPortStore::NetworkPortStore(const QString &fileName)
    : settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
}

NetworkPortStore::~NetworkPortStore() = default;

QList<NetworkPortEntry> NetworkPortStore::Load() const
{
    QList<NetworkPortEntry> ports;
    const int count = settings->beginReadArray(ArrayKey);
    for (int index = 0; index < count; ++index) {
        settings->setArrayIndex(index);
        bool isNumber = false;
        const int number = settings->value(NumberKey).toInt(&isNumber);
        const std::optional<NetworkAddress> address =
            NetworkAddress::FromText(settings->value(AddressKey).toString());
        if (isNumber && number >= 1 && number <= PortDirectory::HighestNumber && address)
            ports.append({number, *address});
    }
    settings->endArray();
    return ports;
}

void NetworkPortStore::Save(const QList<NetworkPortEntry> &ports)
{
    settings->remove(ArrayKey);
    settings->beginWriteArray(ArrayKey, static_cast<int>(ports.size()));
    for (int index = 0; index < ports.size(); ++index) {
        settings->setArrayIndex(index);
        settings->setValue(NumberKey, ports[index].number);
        settings->setValue(AddressKey, ports[index].address.Text());
    }
    settings->endArray();
    settings->sync();
}

} // namespace navix
