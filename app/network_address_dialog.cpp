#include "network_address_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace navix {

NetworkAddressDialog::NetworkAddressDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName("NetworkAddressDialog");
    HostEdit = new QLineEdit(this);
    HostEdit->setObjectName("HostEdit");
    HostEdit->setPlaceholderText("192.168.1.20");
    PortSpinEdit = new QSpinBox(this);
    PortSpinEdit->setObjectName("PortSpinEdit");
    PortSpinEdit->setRange(1, 65535);
    PortSpinEdit->setValue(SuggestedPort);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout(this);
    auto *hostLabel = new QLabel("Host :", this);
    hostLabel->setBuddy(HostEdit);
    auto *portLabel = new QLabel("TCP port :", this);
    portLabel->setBuddy(PortSpinEdit);
    form->addRow(hostLabel, HostEdit);
    form->addRow(portLabel, PortSpinEdit);
    form->addRow(buttons);
}

TypedNetworkAddress NetworkAddressDialog::Typed() const
{
    return {HostEdit->text(), PortSpinEdit->value()};
}

} // namespace navix
