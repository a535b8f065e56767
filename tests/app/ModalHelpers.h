#pragma once
// Driving modal windows from a test: the code under test blocks in exec(), so
// the test's action runs from the event loop once the window is up.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace orbelt {

// While it lives, watches for the next modal window (or popup menu, when
// `popup` is set) and runs `action` on it once. Gives up after about five
// seconds and closes whatever is open, so a window that never closes fails
// the test instead of hanging it.
class WindowWatcher {
 public:
  explicit WindowWatcher(std::function<void(QWidget*)> action, bool popup = false)
      : action_(std::move(action)), popup_(popup) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(10);
  }
  WindowWatcher(const WindowWatcher&) = delete;
  WindowWatcher& operator=(const WindowWatcher&) = delete;

  // Whether a window opened and the action ran.
  bool ran() const { return ran_; }

 private:
  void poll() {
    QWidget* window = popup_ ? QApplication::activePopupWidget() : QApplication::activeModalWidget();
    if (window != nullptr && window->isVisible()) {
      timer_.stop();
      ran_ = true;
      action_(window);
      return;
    }
    if (++tries_ > 500) {
      timer_.stop();
      if (QWidget* open = QApplication::activePopupWidget()) open->close();
      if (QWidget* open = QApplication::activeModalWidget()) open->close();
    }
  }

  std::function<void(QWidget*)> action_;
  bool popup_;
  QTimer timer_;
  bool ran_ = false;
  int tries_ = 0;
};

}  // namespace orbelt
