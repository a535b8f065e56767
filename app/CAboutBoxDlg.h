#pragma once
// The about box (template 100): the application icon, "Orbelt 버전 1.0" and
// the default button "확인" (command 1), which closes it. It has no fields
// and no handlers of its own.
#include "app/TemplateDialog.h"

namespace orbelt {

class CAboutBoxDlg : public TemplateDialog {
  Q_OBJECT

 public:
  // `parent` only places the box over its owner window.
  explicit CAboutBoxDlg(QWidget* parent = nullptr);
};

}  // namespace orbelt
