#pragma once
// The small dialog that asks for the address of a serial device server: host and TCP port. It only
// collects what was typed; the main window decides whether it is a usable address.

#include "workspace/prompt.h"

#include <QDialog>

class QLineEdit;
class QSpinBox;

namespace navix {

class NetworkAddressDialog : public QDialog
{
    Q_OBJECT
public:
    // Raw TCP ports of serial device servers commonly start here.
    static constexpr int SuggestedPort = 4001;

    explicit NetworkAddressDialog(QWidget *parent = nullptr);

    TypedNetworkAddress Typed() const;

private:
    QLineEdit *HostEdit = nullptr;
    QSpinBox *PortSpinEdit = nullptr;
};

} // namespace navix
