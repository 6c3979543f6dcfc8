#pragma once
// The three levels of the module tree, told apart by item type rather than by caption.

#include <QString>
#include <QTreeWidgetItem>

namespace navix {

enum TreeItemType : int {
    ComputerItem = QTreeWidgetItem::UserType + 1, // "PC"
    PortItem,                                     // "COM<n>"
    ModuleItem                                    // " (AA) model" or "*(AA) model"
};

inline QString PortCaption(int number)
{
    return QStringLiteral("COM") + QString::number(number);
}

// The number of a port item's caption "COM<n>"; 0 for any other caption.
inline int PortNumber(const QString &caption)
{
    if (!caption.startsWith(QStringLiteral("COM")))
        return 0;
    bool isNumber = false;
    const int number = caption.mid(3).toInt(&isNumber);
    return isNumber ? number : 0;
}

} // namespace navix
