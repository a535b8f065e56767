#pragma once
// A modal dialog built from one of the program's templates: caption, fixed
// client size and every control with its id, kind, text and position, in
// template order (which is the tab order). Both of the program's dialogs
// derive from it.
//
// Commands: a push button sends its id when clicked. Enter sends the id of
// the default button, or 1 (OK) when there is none, unless a push button has
// the focus (then that button is pressed); Escape and the close box send 2
// (Cancel); F1 sends the help command. A command the dialog does not handle
// goes to the command route (the application object).
//
// Each control carries its id as the dynamic property "controlId" and as its
// objectName "IDC_<id>" ("IDC_STATIC" for controls without an id).
#include <QDialog>
#include <functional>
#include <vector>

#include "app/DialogUnits.h"
#include "app/resources/DialogTemplates.h"

class QButtonGroup;

namespace orbelt {

class TemplateDialog : public QDialog {
  Q_OBJECT

 public:
  // Builds the dialog from template `templateId`, which must exist
  // (findDialogTemplate); `parent` only positions and stacks the window.
  TemplateDialog(int templateId, QWidget* parent);

  const DialogTemplate& dialogTemplate() const { return *template_; }
  // The dialog font's average character width and height, in pixels.
  DialogBaseUnits baseUnits() const { return units_; }

  // The first control with `id`, or nullptr.
  QWidget* control(int id) const;
  // Every control, in template order.
  const std::vector<QWidget*>& controls() const { return controls_; }
  // The exclusive radio groups, each in template order.
  const std::vector<QButtonGroup*>& radioGroups() const { return radioGroups_; }

  // Runs initialisation once (it also runs on the first show), then the
  // dialog modally. Returns QDialog::Accepted or QDialog::Rejected.
  int doModal();
  // Runs initialisation if it has not run yet.
  void ensureInitialized();

  // Handles command `id` here or, failing that, through the route. Returns
  // whether anybody handled it.
  bool sendCommand(int id);
  // Where commands that this dialog does not handle go; may be empty.
  void setCommandRoute(std::function<bool(int)> route) { route_ = std::move(route); }
  const std::function<bool(int)>& commandRoute() const { return route_; }

  // Escape, the close box and QDialog's own rejection all become command 2.
  void reject() override;

 protected:
  // Called once before the dialog is first shown, after the controls exist.
  virtual void onInitDialog() {}
  // Command handling of this dialog; returns whether `id` was handled. The
  // base handles 1 (onOK) and 2 (onCancel).
  virtual bool onCommand(int id);
  // Command 1: closes with Accepted.
  virtual void onOK();
  // Command 2: closes with Rejected.
  virtual void onCancel();

  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void buildControls();
  void setInitialFocus();

  const DialogTemplate* template_;
  DialogBaseUnits units_;
  std::vector<QWidget*> controls_;
  std::vector<QButtonGroup*> radioGroups_;
  std::function<bool(int)> route_;
  bool initialized_ = false;
};

}  // namespace orbelt
