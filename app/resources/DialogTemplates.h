#pragma once
// The program's window resources as data: the two dialog templates, the
// string table and the ids of the icon. The dialogs are built from these
// tables alone, so what a user sees (ids, texts, positions, tab order) is
// stated once, here.
//
// Positions are in dialog units: a horizontal unit is a quarter of the dialog
// font's average character width, a vertical unit an eighth of its character
// height (see app/DialogUnits.h), so layouts keep their proportions whatever
// font the system substitutes.
#include <span>
#include <string_view>

namespace orbelt {

// Template ids.
inline constexpr int kAboutBoxTemplateId = 100;
inline constexpr int kMainDialogTemplateId = 102;
// Icon resource of the application (window icon, about box, minimised view).
inline constexpr int kAppIconId = 128;
// String resource: the About entry of the window menu.
inline constexpr int kAboutMenuStringId = 101;

// Id of controls that send no commands (labels, group boxes, the icon).
inline constexpr int kStaticControlId = -1;

// Command ids shared by every dialog.
inline constexpr int kCommandOk = 1;
inline constexpr int kCommandCancel = 2;
// The help command, handled by the application object.
inline constexpr int kCommandHelp = 57670;

enum class ControlKind {
  RadioButton,  // automatic radio button; exclusive within its group
  Label,        // static text, top-left aligned
  Edit,         // single-line edit box with a border, scrolls horizontally
  PushButton,   // sends its id as a command when clicked
  GroupBox,     // frame with a caption, purely decorative
  Icon,         // static picture of the application icon
};

// A rectangle in dialog units.
struct DluRect {
  int x = 0;       // left edge, horizontal dialog units
  int y = 0;       // top edge, vertical dialog units
  int width = 0;   // horizontal dialog units
  int height = 0;  // vertical dialog units
};

// One control of a template. Controls appear in template order, which is
// also the keyboard tab order.
struct ControlTemplate {
  int id = kStaticControlId;              // command / control id; kStaticControlId when it has none
  ControlKind kind = ControlKind::Label;  // what the control is
  std::string_view text;                  // caption in UTF-8 (empty for edits and the icon)
  DluRect rect;                           // position and size, dialog units
  bool groupStart = false;                // starts a new control group (radio groups end at the next one)
  bool tabStop = false;                   // reachable with Tab
  bool defaultButton = false;             // Enter presses it (about box only)
  bool noPrefix = false;                  // '&' is shown as is instead of marking a mnemonic
};

struct DialogTemplate {
  int id = 0;                                 // template id
  std::string_view caption;                   // window title, UTF-8
  int width = 0;                              // client width, horizontal dialog units
  int height = 0;                             // client height, vertical dialog units
  std::string_view fontFamily;                // requested font; a Korean-capable one stands in when absent
  int fontPointSize = 9;                      // points
  std::span<const ControlTemplate> controls;  // in template (tab) order
};

// Template 100 (about box) or 102 (main dialog); nullptr for any other id.
const DialogTemplate* findDialogTemplate(int id);

// Text of a string resource in UTF-8; empty for an unknown id.
std::string_view loadStringResource(int id);

}  // namespace orbelt
