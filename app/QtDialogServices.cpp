#include "app/QtDialogServices.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

namespace orbelt {

namespace {

// Shows the normal arrow while a box waits for the user, even when a command
// has set a wait cursor around its work.
class ArrowCursorWhileOpen {
 public:
  ArrowCursorWhileOpen() : active_(QGuiApplication::overrideCursor() != nullptr) {
    if (active_) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowCursorWhileOpen() {
    if (active_) QGuiApplication::restoreOverrideCursor();
  }
  ArrowCursorWhileOpen(const ArrowCursorWhileOpen&) = delete;
  ArrowCursorWhileOpen& operator=(const ArrowCursorWhileOpen&) = delete;

 private:
  bool active_;
};

}  // namespace

QtDialogServices::QtDialogServices(QWidget* owner) : owner_(owner) {}

void QtDialogServices::setOwner(QWidget* owner) { owner_ = owner; }

QWidget* QtDialogServices::effectiveOwner() const {
  if (owner_) return owner_.data();
  return QApplication::activeWindow();
}

void QtDialogServices::show(const std::string& text) {
  ArrowCursorWhileOpen arrow;
  QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), QString::fromStdString(text),
                  QMessageBox::Ok, effectiveOwner());
  box.exec();
}

std::optional<std::string> QtDialogServices::openFile(const FileOpenRequest& request) {
  ArrowCursorWhileOpen arrow;
  QFileDialog dialog(effectiveOwner());
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  // The filter string carries the pattern in its last parentheses; hiding
  // that part leaves the label exactly as requested, while the pattern "*"
  // also lists files without a dot, which "*.*" would hide on this system.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilter(QString::fromStdString(request.filterName + " (" + request.filterPattern + ")"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return QFile::encodeName(files.first()).toStdString();
}

}  // namespace orbelt
