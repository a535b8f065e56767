#pragma once
// Where a library's notes go: text it would otherwise print itself, such as
// the optimizer's report of an option it could not take, or the graph's
// account of a failure just before it raises it. The caller owns the sink and
// decides where the text appears; a library never writes to a stream of its
// own accord.
#include <string_view>

namespace orbelt {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Receives one message exactly as the programs print it, line breaks
  // included. May be called from the thread of whichever call produced it.
  virtual void message(std::string_view text) = 0;
};

// The sink that writes every message unchanged to standard output, where
// the optimizer's notes have always appeared. Lives as long as the process.
MessageSink& standardOutputSink();

}  // namespace orbelt
