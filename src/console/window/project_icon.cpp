// The project's icon, built into the program as a resource (PNG: Qt reads it without a plugin).
#include "console/window/project_icon.h"

#include <QString>

namespace quelbro {

QIcon projectIcon() { return QIcon(QStringLiteral(":/quelbro-win.png")); }

}  // namespace quelbro
