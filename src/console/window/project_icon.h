// The project's icon for the windows of quelbro-win: the picture of the installed SVG icon.
#pragma once

#include <QIcon>

namespace quelbro {

QIcon projectIcon();

}  // namespace quelbro
