#include "app/qt_log.h"

#include <QString>

#include "base/log.h"

namespace tillvane {

Q_LOGGING_CATEGORY(lcLink, "tillvane.link")
Q_LOGGING_CATEGORY(lcJob, "tillvane.job")
Q_LOGGING_CATEGORY(lcConfig, "tillvane.config")
Q_LOGGING_CATEGORY(lcWindow, "tillvane.window")

namespace {

using CategoryFn = const QLoggingCategory& (*)();

CategoryFn CategoryOf(LogCategory category) {
  switch (category) {
    case LogCategory::Link:
      return lcLink;
    case LogCategory::Job:
      return lcJob;
    case LogCategory::Config:
      return lcConfig;
    case LogCategory::Window:
      break;
  }
  return lcWindow;
}

}  // namespace

void RouteLogToQt() {
  qSetMessagePattern(
      QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{category}: %{if-warning}warning: %{endif}"
                     "%{if-critical}critical: %{endif}%{message}"));
  SetLogSink([](LogCategory category, LogLevel level, std::string_view text) {
    const CategoryFn c = CategoryOf(category);
    const QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (level == LogLevel::Warning) {
      qCWarning(c).noquote() << line;
    } else {
      qCInfo(c).noquote() << line;
    }
  });
}

}  // namespace tillvane
