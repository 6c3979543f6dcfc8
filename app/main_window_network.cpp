// Network ports of the main window: buses behind serial device servers, added and withdrawn by the user,
// listed under "PC" like any port and remembered between runs.

#include "main_window.h"

#include "tree_items.h"

#include "workspace/prompt.h"

#include <QTreeWidget>

namespace navix {

void TForm1::SetNetworkPortStore(NetworkPortStore *store)
{
    networkPortStore = store;
    if (!store)
        return;
    portDirectory.Restore(ListSerialPorts(), store->Load());
    SyncPortItems();
}

void TForm1::SaveNetworkPorts()
{
    if (networkPortStore)
        networkPortStore->Save(portDirectory.NetworkPorts());
}

void TForm1::AddNetworkPortClick()
{
    const std::optional<TypedNetworkAddress> typed = Prompts().AskNetworkAddress("Add network port");
    if (!typed)
        return;
    const std::optional<NetworkAddress> address = NetworkAddress::FromParts(typed->host, typed->port);
    if (!address) {
        Prompts().Error("Invalid network address !");
        return;
    }
    const int number = portDirectory.AddNetworkPort(*address);
    if (number == 0)
        return;
    SaveNetworkPorts();
    SyncPortItems();
    pcItem->setExpanded(true);
    MainTreeView->setCurrentItem(FindPortItem(number));
    SetHint("Hint: Network port " + PortCaption(number) + " -> " + address->Text() +
            ", choose it to connect...");
}

int TForm1::RemovableNetworkPort() const
{
    const QTreeWidgetItem *item = MainTreeView->currentItem();
    if (!item || item->type() != PortItem)
        return 0;
    const int number = PortNumber(item->text(0));
    const std::optional<ComPortTarget> target = portDirectory.Find(number);
    if (!target || !target->IsNetwork())
        return 0;
    // The port in use is closed by choosing another one first, as any port is.
    if (number == ApdComPort1.ComNumber() && (ApdComPort1.IsOpen() || ApdComPort1.IsOpening()))
        return 0;
    return number;
}

void TForm1::RemoveNetworkPortClick()
{
    const int number = RemovableNetworkPort();
    if (number == 0 || !portDirectory.RemoveNetworkPort(number))
        return;
    SaveNetworkPorts();
    SyncPortItems();
}

void TForm1::ApdComPort1OpenFailed(const QString &message)
{
    ComTimer1.stop();
    // As after a lost connection, choosing the port again tries again: the server may be up by then.
    portLost = true;
    PortOpenFailed(message);
}

} // namespace navix
