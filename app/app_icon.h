#pragma once
// The program's icon, the one its desktop entry shows (packaging/icons), built into the program so that the
// windows carry it wherever the program was started from.

#include <QIcon>

namespace navix {

// The name under which the desktop knows the program: its desktop entry, icon and metainfo file.
inline constexpr const char *ApplicationId = "org.navix.NavixUtility";

QIcon ApplicationIcon();

} // namespace navix
