#include "app/COrbeltApp.h"

#include <QApplication>

#include "app/QtDialogServices.h"

namespace orbelt {

const char* const kHelpText =
    "Orbelt computes a dense disparity map from a rectified colour stereo pair.\n\n"
    "1. Load Input Images: choose the reference (left) image, then the target (right) image. "
    "Without loaded images, a run reads data/Img0.png and data/Img1.png from the working folder.\n"
    "2. Set the parameters: the colour space (logChrom or original RGB), the ANCC window "
    "(HalfWinSize, SigmaS, SigmaP), the disparities (Base disparity, Disparity Range, Display Level) "
    "and the smoothness (Exponent 1 or 2, Max, Lambda).\n"
    "3. Compute Disparity Map: the map is written as data/dispMap.bmp beside the program; "
    "every run uses the loaded pair once, later runs read the default files again.\n\n"
    "Right-click the dialog for the About box. Esc closes the program.";

COrbeltApp::COrbeltApp(COrbeltDlg::ComputeRunner compute, DialogServices* services)
    : compute_(std::move(compute)), services_(services) {}

COrbeltApp::~COrbeltApp() = default;

DialogServices& COrbeltApp::services() {
  if (services_ != nullptr) return *services_;
  if (!ownServices_) ownServices_ = std::make_unique<QtDialogServices>();
  return *ownServices_;
}

bool COrbeltApp::initInstance() {
  COrbeltDlg dialog(services(), compute_);
  dialog.setCommandRoute([this](int id) { return onCmdMsg(id); });
  if (auto* qtServices = dynamic_cast<QtDialogServices*>(&services())) qtServices->setOwner(&dialog);
  mainWindow_ = &dialog;
  dialog.doModal();  // OK or Cancel: either way the program ends
  mainWindow_ = nullptr;
  if (auto* qtServices = dynamic_cast<QtDialogServices*>(&services())) qtServices->setOwner(nullptr);
  return false;
}

int COrbeltApp::run() {
  if (initInstance()) return QApplication::exec();
  return 0;
}

bool COrbeltApp::onCmdMsg(int id) {
  if (id == kCommandHelp) {
    onHelp();
    return true;
  }
  return false;
}

void COrbeltApp::onHelp() { services().show(kHelpText); }

}  // namespace orbelt
