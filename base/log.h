// The core's one logging path. Every failure records the system's reason here; the
// window routes the lines to its logging categories (tillvane.link, tillvane.job, ...),
// tests install a recorder. Without a sink the lines go to standard error with a time
// stamp.
#pragma once

#include <functional>
#include <string_view>

namespace tillvane {

enum class LogCategory { Link, Job, Config, Window };
enum class LogLevel { Info, Warning };

// "link", "job", "config", "window": the last part of the category's name.
const char* LogCategoryName(LogCategory category);

using LogSink = std::function<void(LogCategory category, LogLevel level, std::string_view text)>;

// Installs the sink and returns the one it replaces; an empty sink restores the
// standard-error default. Lines may come from any thread.
LogSink SetLogSink(LogSink sink);

void Log(LogCategory category, LogLevel level, std::string_view text);
inline void LogWarning(LogCategory category, std::string_view text) {
  Log(category, LogLevel::Warning, text);
}
inline void LogInfo(LogCategory category, std::string_view text) {
  Log(category, LogLevel::Info, text);
}

// "2026-12-08 06:03:47.123", local time, for lines written to standard error.
void FormatLogTime(char (&out)[32]);

}  // namespace tillvane
