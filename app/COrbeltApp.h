#pragma once
// The application object. The program has exactly one, a global in main.cpp;
// its initialisation runs the main dialog modally as the only window and
// returns false, so the process ends when the dialog closes (whether with OK
// or Cancel). It also owns the program's command map: the help command
// (57670, F1 in any dialog) shows a short help text.
//
// Nothing here touches Qt until initInstance(), so the global can be
// constructed before main() creates the QApplication.
#include <memory>

#include "app/COrbeltDlg.h"
#include "app/DialogServices.h"

namespace orbelt {

// What F1 shows.
extern const char* const kHelpText;

class COrbeltApp {
 public:
  // `compute` is what "Compute Disparity Map" runs after reading the
  // controls. `services` (borrowed, may be null) answers message boxes and
  // file dialogs; when null, the Qt boxes are used.
  explicit COrbeltApp(COrbeltDlg::ComputeRunner compute, DialogServices* services = nullptr);
  virtual ~COrbeltApp();

  COrbeltApp(const COrbeltApp&) = delete;
  COrbeltApp& operator=(const COrbeltApp&) = delete;

  // Creates the main dialog without a parent, registers it as the main
  // window, runs it modally, ignores its result, destroys it and returns
  // false: the framework then runs no message loop of its own. Needs a
  // QApplication.
  virtual bool initInstance();

  // Runs the program: initInstance(), then a message loop only if it asked
  // for one. Returns the process exit status (0 when the dialog closes; a run
  // that fails its colour check ends the process itself with status -1).
  int run();

  // The command map: returns whether `id` was handled (only kCommandHelp).
  bool onCmdMsg(int id);
  // Shows kHelpText in a message box.
  void onHelp();

  // The main dialog while initInstance() runs it, else nullptr.
  COrbeltDlg* mainWindow() const { return mainWindow_; }

 private:
  DialogServices& services();

  COrbeltDlg::ComputeRunner compute_;
  DialogServices* services_;
  std::unique_ptr<DialogServices> ownServices_;
  COrbeltDlg* mainWindow_ = nullptr;
};

}  // namespace orbelt
