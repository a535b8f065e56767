#pragma once
// The desktop's message box and file-open dialog, as the program shows them.
#include <QPointer>
#include <QWidget>

#include "app/DialogServices.h"

namespace orbelt {

class QtDialogServices : public DialogServices {
 public:
  // `owner` is the window the boxes belong to (centred on it, and disabled
  // while they are open); when null, the active window is used.
  explicit QtDialogServices(QWidget* owner = nullptr);

  void setOwner(QWidget* owner);

  // A modal box with the text and one OK button, captioned with the
  // application's display name. A wait cursor set by a running command is
  // lifted while the box is open.
  void show(const std::string& text) override;

  // Qt's own file dialog (the same on every desktop, so the one filter reads
  // exactly as asked): open mode, existing files only, the system's default
  // title.
  std::optional<std::string> openFile(const FileOpenRequest& request) override;

 private:
  QWidget* effectiveOwner() const;

  QPointer<QWidget> owner_;
};

}  // namespace orbelt
