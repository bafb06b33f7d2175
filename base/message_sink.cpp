#include "base/message_sink.h"

#include <mutex>
#include <utility>

namespace tillvane {
namespace {

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

MessageSink& Sink() {
  static MessageSink sink;
  return sink;
}

}  // namespace

MessageSink SetMessageSink(MessageSink sink) {
  std::lock_guard lock(SinkMutex());
  return std::exchange(Sink(), std::move(sink));
}

void ShowMessage(std::string_view text) {
  MessageSink sink;
  {
    std::lock_guard lock(SinkMutex());
    sink = Sink();
  }
  if (sink) sink(text);
}

}  // namespace tillvane
