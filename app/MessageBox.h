#pragma once
// A modal message with a single OK button. The dialog shows it in a window;
// the command line prints it; tests record it. The call returns once the user
// has dismissed the message.
#include <string>

namespace orbelt {

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // Shows `text` and waits until it is dismissed.
  virtual void show(const std::string& text) = 0;
};

}  // namespace orbelt
