#pragma once
// What the dialogs need from the desktop besides their own windows: modal
// messages and the file-open dialog. The program uses the Qt boxes
// (QtDialogServices); tests answer from a script, so every handler runs
// without a screen.
#include <optional>
#include <string>

#include "app/MessageBox.h"

namespace orbelt {

// How "Load Input Images" asks for a file. One filter that lists every file.
struct FileOpenRequest {
  std::string filterName = "ALL FILE (*.*)";  // the filter's label, as the user sees it
  std::string filterPattern = "*";            // what it matches: every file, with or without a dot
};

class DialogServices : public MessageBox {
 public:
  // show(text), inherited: a modal message with only an OK button; returns
  // once it is dismissed.

  // Runs a modal file-open dialog owned by the current main window. Returns
  // the full path of the chosen existing file in the file system's encoding,
  // or nothing when the user cancels.
  virtual std::optional<std::string> openFile(const FileOpenRequest& request) = 0;
};

}  // namespace orbelt
