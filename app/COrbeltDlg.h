#pragma once
// The main dialog (template 102): the nine run parameters and the colour
// space, the two image slots, "Load Input Images" and "Compute Disparity Map".
//
// Owns: the StereoParams it exchanges with its controls, the two image slots
// (any image still held is released with the dialog) and its window menu.
// Borrows: the dialog services (message boxes, file dialogs), which must
// outlive it.
//
// Until its initialisation runs (first show, or doModal) the parameters are
// all zero and the colour mode is Unset; initialisation sets the defaults and
// writes them into the controls.
#include <QIcon>
#include <functional>
#include <memory>

#include "app/DialogServices.h"
#include "app/TemplateDialog.h"
#include "app/ImageSlots.h"
#include "app/StereoParams.h"

class QMenu;

namespace orbelt {

// Window-menu command of the About entry. The menu handler compares ids with
// their low four bits cleared, as window-menu ids are.
inline constexpr int kSysCommandAbout = 16;
// Window-menu commands that get the default handling.
inline constexpr int kSysCommandMinimize = 0xF020;
inline constexpr int kSysCommandClose = 0xF060;
inline constexpr int kSysCommandRestore = 0xF120;

// Messages of "Load Input Images", shown before each file dialog.
inline constexpr const char* kLoadReferenceMessage = "Load reference Image";
inline constexpr const char* kLoadTargetMessage = "Load target Image";

// Control ids of the main dialog.
inline constexpr int kIdcHalfWinSize = 1001;
inline constexpr int kIdcSigmaS = 1002;
inline constexpr int kIdcSigmaP = 1003;
inline constexpr int kIdcBaseDisparity = 1004;
inline constexpr int kIdcDisparityRange = 1005;
inline constexpr int kIdcDisplayLevel = 1006;
inline constexpr int kIdcSmoothExponent = 1007;
inline constexpr int kIdcSmoothMax = 1008;
inline constexpr int kIdcLambda = 1009;
inline constexpr int kIdcCompute = 1010;
inline constexpr int kIdcLoadImages = 1012;
inline constexpr int kIdcLogChrom = 1013;
inline constexpr int kIdcOriginalRgb = 1014;

class COrbeltDlg : public TemplateDialog {
  Q_OBJECT

 public:
  // The part of "Compute Disparity Map" after the controls are read: runs the
  // pipeline on `params` and the held images, telling refusals and failures
  // through `messages`. It may empty the slots (every completed run does).
  using ComputeRunner = std::function<void(const StereoParams& params, ImageSlots& slots, MessageBox& messages)>;

  COrbeltDlg(DialogServices& services, ComputeRunner compute, QWidget* parent = nullptr);
  ~COrbeltDlg() override;

  // The fields the controls are exchanged with.
  StereoParams& params() { return params_; }
  const StereoParams& params() const { return params_; }
  // The reference and target images held for the next run.
  ImageSlots& imageSlots() { return slots_; }

  // Data exchange in the fixed order 1001..1009, then the radio group.
  // saveAndValidate = false writes the fields into the controls and returns
  // true. saveAndValidate = true reads the controls into the fields; on the
  // first control that does not parse it shows the integer or number
  // message, puts the focus on that control with its text selected and
  // returns false (fields before it updated, it and later ones unchanged).
  bool updateData(bool saveAndValidate);

  // Asks for the reference, then the target image (a message, then a
  // file-open dialog each). One path text serves both: a cancelled dialog
  // leaves it as it was. Each slot's old image is released, then the slot is
  // loaded from the path as stored on disk; an empty or unreadable path
  // leaves the slot empty. No message for either.
  void OnLoadInputImages();

  // sigmaP pre-set from the held halfWinSize, the controls read into the
  // fields (a validation message may show; the run goes on regardless), then
  // the compute runner, synchronously, under a wait cursor.
  void OnComputeDisparityMap();

  // Window-menu commands: the About entry (id & 0xFFF0 == 16) runs the about
  // box modally; minimise, restore and close get their usual effect; any
  // other id is ignored.
  void onSysCommand(int id);

  // The icon to show while the minimised window is dragged.
  QIcon onQueryDragIcon() const { return appIcon_; }

  // The window menu the dialog offers on a right click, the Menu key and
  // Shift+F10: a separator and "Orbelt 정보(&A)..." (command 16). Each
  // action's data() holds its command id.
  QMenu* systemMenu() const { return systemMenu_; }

 protected:
  void onInitDialog() override;
  bool onCommand(int id) override;
  void onOK() override;

  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void showSystemMenu(const QPoint& globalPos);

  DialogServices& services_;
  ComputeRunner compute_;
  StereoParams params_;
  ImageSlots slots_;
  QIcon appIcon_;
  QMenu* systemMenu_ = nullptr;
};

}  // namespace orbelt
