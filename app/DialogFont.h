#pragma once
// The font a template asks for and the two measures its dialog units are
// based on.
#include <QFont>

#include "app/DialogUnits.h"
#include "app/resources/DialogTemplates.h"

namespace orbelt {

// The template's font at its point size. The requested family comes first;
// where it is not installed, Korean-capable families stand in (Noto Sans CJK
// KR from fonts-noto-cjk on Debian), so the Korean captions and messages
// never render as empty boxes.
QFont dialogFont(const DialogTemplate& dialog);

// Average character width and character height of `font`, in pixels.
DialogBaseUnits dialogBaseUnits(const QFont& font);

}  // namespace orbelt
