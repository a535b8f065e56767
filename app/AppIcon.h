#pragma once
// The application icon (resource 128): one picture drawn at several sizes and
// compiled into the program, so it needs no file at run time.
#include <QIcon>

namespace orbelt {

// Every drawn size of the icon; the window system picks the one it needs
// (the small size for captions and task lists, the large one elsewhere).
QIcon loadAppIcon();

// The resource paths of the drawn sizes, smallest first.
QStringList appIconResourcePaths();

}  // namespace orbelt
