#pragma once
// The pictures of the module tree: the computer, its serial ports and the modules on the open port. Port and
// module icons carry their own look for the selected state, so the tree shows which item is chosen even in
// monochrome themes.

#include <QIcon>

namespace navix {

enum class TreeImage { Computer, Port, Module };

QIcon TreeIcon(TreeImage image);

} // namespace navix
