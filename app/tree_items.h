#pragma once
// The three levels of the module tree, told apart by item type rather than by caption.

#include <QString>
#include <QTreeWidgetItem>

enum TreeItemType : int {
    ComputerItem = QTreeWidgetItem::UserType + 1, // "PC"
    PortItem,                                     // "COM<n>"
    ModuleItem                                    // " (AA) model" or "*(AA) model"
};

inline QString PortCaption(int number)
{
    return QStringLiteral("COM") + QString::number(number);
}
