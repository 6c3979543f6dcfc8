#include "app_icon.h"

#include <array>

namespace navix {

QIcon ApplicationIcon()
{
    static constexpr std::array sizes = {16, 22, 24, 32, 48, 64, 128, 256};
    QIcon icon;
    for (const int size : sizes)
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(ApplicationId).arg(size), QSize(size, size));
    return icon;
}

} // namespace navix
