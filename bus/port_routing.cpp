#include "port_routing.h"

namespace navix {

void RoutePortThroughDirectory(TApdComPort &port, PortDirectory &directory,
                               std::function<QMap<int, QString>()> listSerialPorts)
{
    port.SetDeviceResolver([&directory, listSerialPorts = std::move(listSerialPorts)](int number) {
        directory.UpdateSerialPorts(listSerialPorts());
        const std::optional<ComPortTarget> target = directory.Find(number);
        return target && !target->IsNetwork() ? target->device : QString();
    });
    port.SetNetworkResolver([&directory](int number) -> std::optional<NetworkAddress> {
        const std::optional<ComPortTarget> target = directory.Find(number);
        return target ? target->address : std::nullopt;
    });
}

} // namespace navix
