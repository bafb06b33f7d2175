#include "base/log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <utility>

namespace tillvane {
namespace {

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

LogSink& Sink() {
  static LogSink sink;
  return sink;
}

void WriteToStandardError(LogCategory category, LogLevel level, std::string_view text) {
  char stamp[32];
  FormatLogTime(stamp);
  std::fprintf(stderr, "%s tillvane.%s: %s%.*s\n", stamp, LogCategoryName(category),
               level == LogLevel::Warning ? "warning: " : "", static_cast<int>(text.size()),
               text.data());
}

}  // namespace

const char* LogCategoryName(LogCategory category) {
  switch (category) {
    case LogCategory::Link:
      return "link";
    case LogCategory::Job:
      return "job";
    case LogCategory::Config:
      return "config";
    case LogCategory::Window:
      return "window";
  }
  return "unknown";
}

LogSink SetLogSink(LogSink sink) {
  std::lock_guard lock(SinkMutex());
  return std::exchange(Sink(), std::move(sink));
}

void Log(LogCategory category, LogLevel level, std::string_view text) {
  LogSink sink;
  {
    std::lock_guard lock(SinkMutex());
    sink = Sink();
  }
  if (sink) {
    sink(category, level, text);
  } else {
    WriteToStandardError(category, level, text);
  }
}

void FormatLogTime(char (&out)[32]) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char date[24];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(out, sizeof out, "%s.%03d", date, static_cast<int>(millis));
}

}  // namespace tillvane
