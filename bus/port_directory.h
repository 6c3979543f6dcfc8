#pragma once
// The ports the program offers under "PC" and the number each goes by. A number keeps its meaning for the
// whole run: a device that goes away and comes back gets its number again, and no other port takes a number
// once given. New serial devices get the number the rule of port_names.h gives them when it is still free,
// otherwise the lowest number never given; so do network ports.

#include "network_address.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <optional>

namespace navix {

struct ComPortTarget
{
    QString device;                        // a serial port: the device or registered link listed
    std::optional<NetworkAddress> address; // a network port: where its device server listens

    bool IsNetwork() const { return address.has_value(); }
    friend bool operator==(const ComPortTarget &, const ComPortTarget &) = default;
};

struct NetworkPortEntry
{
    int number = 0;
    NetworkAddress address;
    friend bool operator==(const NetworkPortEntry &, const NetworkPortEntry &) = default;
};

class PortDirectory
{
public:
    static constexpr int HighestNumber = 65535; // the port object keeps the number in 16 bits

    // Takes the serial ports that exist now, as the numbering rule lists them (number -> device).
    void UpdateSerialPorts(const QMap<int, QString> &listed);
    // Offers a network port and returns its number: the number the address had before, else wantedNumber
    // when it was never given, else the lowest number never given; 0 when every number is given.
    int AddNetworkPort(const NetworkAddress &address, int wantedNumber = 0);
    // The ports as a run starts: the serial ports take their numbers first, then the remembered network ports
    // theirs; one whose number a device has taken since moves to a free number.
    void Restore(const QMap<int, QString> &serialPorts, const QList<NetworkPortEntry> &networkPorts);
    // Withdraws a network port; its number stays its own for the rest of the run.
    bool RemoveNetworkPort(int number);

    // The ports offered now, by number.
    QMap<int, ComPortTarget> Ports() const;
    std::optional<ComPortTarget> Find(int number) const;
    // The network ports offered now, in number order.
    QList<NetworkPortEntry> NetworkPorts() const;

private:
    int NumberOf(const ComPortTarget &target) const;
    int LowestFreeNumber() const;
    int Give(const ComPortTarget &target, int wantedNumber);

    QMap<int, ComPortTarget> given; // every number given in this run
    QSet<int> offered;
};

} // namespace navix
