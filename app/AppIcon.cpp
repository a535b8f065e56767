#include "app/AppIcon.h"

#include <QStringList>

namespace orbelt {

QStringList appIconResourcePaths() {
  QStringList paths;
  for (int size : {16, 24, 32, 48, 64, 256}) paths << QStringLiteral(":/orbelt/icons/orbelt-%1.png").arg(size);
  return paths;
}

QIcon loadAppIcon() {
  QIcon icon;
  for (const QString& path : appIconResourcePaths()) icon.addFile(path);
  return icon;
}

}  // namespace orbelt
