#pragma once
// Dialog services for tests: messages are recorded (and, on request, echoed
// to stderr so death tests can match them), file dialogs are answered from a
// script.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/DialogServices.h"

namespace orbelt {

class ScriptedDialogServices : public DialogServices {
 public:
  // Every message shown, in order.
  std::vector<std::string> messages;
  // Every file dialog's request, in order.
  std::vector<FileOpenRequest> fileRequests;
  // What the next file dialogs answer, front first; nothing = Cancel.
  std::deque<std::optional<std::string>> fileAnswers;
  // Messages and file dialogs in the order they happened ("message: <text>",
  // "open file").
  std::vector<std::string> log;
  // Also print every message to stderr.
  bool echoMessages = false;

  void show(const std::string& text) override {
    messages.push_back(text);
    log.push_back("message: " + text);
    if (echoMessages) std::fprintf(stderr, "%s\n", text.c_str());
  }

  std::optional<std::string> openFile(const FileOpenRequest& request) override {
    fileRequests.push_back(request);
    log.push_back("open file");
    if (fileAnswers.empty()) {
      ADD_FAILURE() << "a file dialog opened that the test did not expect";
      return std::nullopt;
    }
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
  }
};

}  // namespace orbelt
