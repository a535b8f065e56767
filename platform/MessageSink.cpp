#include "platform/MessageSink.h"

#include <cstdio>

namespace orbelt {

namespace {

class StandardOutputSink : public MessageSink {
 public:
  void message(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
};

}  // namespace

MessageSink& standardOutputSink() {
  static StandardOutputSink sink;
  return sink;
}

}  // namespace orbelt
