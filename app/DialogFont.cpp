#include "app/DialogFont.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

namespace orbelt {

QFont dialogFont(const DialogTemplate& dialog) {
  QFont font;
  font.setFamilies({QString::fromUtf8(dialog.fontFamily.data(), static_cast<qsizetype>(dialog.fontFamily.size())),
                    QStringLiteral("Gulim"), QStringLiteral("Noto Sans CJK KR"), QStringLiteral("Noto Sans KR"),
                    QStringLiteral("NanumGothic"), QStringLiteral("Baekmuk Gulim")});
  font.setPointSize(dialog.fontPointSize);
  return font;
}

DialogBaseUnits dialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {averageCharWidth(alphabet), metrics.height()};
}

}  // namespace orbelt
