// Renders the program's dialogs offscreen into PNGs for the documentation:
//   dialog.png       the main dialog as it opens
//   dialog-menu.png  the main dialog with its window menu (right click) open
//   about.png        the about box
// Usage: orbelt-dialog-shots <output-folder>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/CAboutBoxDlg.h"
#include "app/COrbeltDlg.h"

namespace {

// Nothing to ask while taking pictures.
class SilentServices : public orbelt::DialogServices {
 public:
  void show(const std::string&) override {}
  std::optional<std::string> openFile(const orbelt::FileOpenRequest&) override { return std::nullopt; }
};

bool save(const QPixmap& picture, const QString& folder, const char* name) {
  const QString path = folder + QLatin1Char('/') + QLatin1String(name);
  if (picture.save(path)) {
    std::printf("wrote %s (%dx%d)\n", qPrintable(path), picture.width(), picture.height());
    return true;
  }
  std::fprintf(stderr, "orbelt-dialog-shots: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output-folder>\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Orbelt"));
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool ok = true;

  SilentServices services;
  orbelt::COrbeltDlg dialog(services, {});
  dialog.show();
  QApplication::processEvents();
  const QPixmap plain = dialog.grab();
  ok &= save(plain, folder, "dialog.png");

  // The window menu is a popup of its own; paint it onto the dialog where a
  // right click in the lower part would put it.
  QMenu* menu = dialog.systemMenu();
  menu->popup(dialog.mapToGlobal(QPoint(plain.width() / 5, plain.height() * 3 / 5)));
  QApplication::processEvents();
  QPixmap withMenu = plain;
  {
    QPainter painter(&withMenu);
    painter.drawPixmap(dialog.mapFromGlobal(menu->pos()), menu->grab());
  }
  menu->close();
  ok &= save(withMenu, folder, "dialog-menu.png");

  orbelt::CAboutBoxDlg about;
  about.show();
  QApplication::processEvents();
  ok &= save(about.grab(), folder, "about.png");

  return ok ? 0 : 1;
}
