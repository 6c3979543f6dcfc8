#include "port_directory.h"

namespace navix {

int PortDirectory::NumberOf(const ComPortTarget &target) const
{
    for (auto entry = given.cbegin(); entry != given.cend(); ++entry)
        if (entry.value() == target)
            return entry.key();
    return 0;
}

int PortDirectory::LowestFreeNumber() const
{
    for (int number = 1; number <= HighestNumber; ++number)
        if (!given.contains(number))
            return number;
    return 0;
}

int PortDirectory::Give(const ComPortTarget &target, int wantedNumber)
{
    const int number = wantedNumber >= 1 && wantedNumber <= HighestNumber && !given.contains(wantedNumber)
                           ? wantedNumber
                           : LowestFreeNumber();
    if (number != 0)
        given.insert(number, target);
    return number;
}

void PortDirectory::UpdateSerialPorts(const QMap<int, QString> &listed)
{
    QSet<int> nowOffered;
    for (const int number : std::as_const(offered))
        if (given.value(number).IsNetwork())
            nowOffered.insert(number);

    QMap<int, QString> fresh;
    for (auto port = listed.cbegin(); port != listed.cend(); ++port) {
        if (const int known = NumberOf({port.value(), std::nullopt}))
            nowOffered.insert(known);
        else
            fresh.insert(port.key(), port.value());
    }
    // Devices whose own number is still free take it first, so that a newcomer that has to move does not
    // push another one off its number as well.
    QStringList moved;
    for (auto port = fresh.cbegin(); port != fresh.cend(); ++port) {
        if (given.contains(port.key()))
            moved.append(port.value());
        else
            nowOffered.insert(Give({port.value(), std::nullopt}, port.key()));
    }
    for (const QString &device : std::as_const(moved))
        if (const int number = Give({device, std::nullopt}, 0))
            nowOffered.insert(number);
    offered = nowOffered;
}

int PortDirectory::AddNetworkPort(const NetworkAddress &address, int wantedNumber)
{
    const ComPortTarget target{QString(), address};
    int number = NumberOf(target);
    if (number == 0)
        number = Give(target, wantedNumber);
    if (number != 0)
        offered.insert(number);
    return number;
}

void PortDirectory::Restore(const QMap<int, QString> &serialPorts,
                            const QList<NetworkPortEntry> &networkPorts)
{
    UpdateSerialPorts(serialPorts);
    for (const NetworkPortEntry &port : networkPorts)
        AddNetworkPort(port.address, port.number);
}

bool PortDirectory::RemoveNetworkPort(int number)
{
    if (!offered.contains(number) || !given.value(number).IsNetwork())
        return false;
    offered.remove(number);
    return true;
}

QMap<int, ComPortTarget> PortDirectory::Ports() const
{
    QMap<int, ComPortTarget> ports;
    for (const int number : std::as_const(offered))
        ports.insert(number, given.value(number));
    return ports;
}

std::optional<ComPortTarget> PortDirectory::Find(int number) const
{
    if (!offered.contains(number))
        return std::nullopt;
    return given.value(number);
}

QList<NetworkPortEntry> PortDirectory::NetworkPorts() const
{
    QList<NetworkPortEntry> ports;
    const QMap<int, ComPortTarget> offeredPorts = Ports();
    for (auto port = offeredPorts.cbegin(); port != offeredPorts.cend(); ++port)
        if (port.value().IsNetwork())
            ports.append({port.key(), *port.value().address});
    return ports;
}

} // namespace navix
