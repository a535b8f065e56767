#include "app/CAboutBoxDlg.h"

namespace orbelt {

CAboutBoxDlg::CAboutBoxDlg(QWidget* parent) : TemplateDialog(kAboutBoxTemplateId, parent) {}

}  // namespace orbelt
