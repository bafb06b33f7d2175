// The window's logging: the core's log lines go to Qt's logging categories
// tillvane.link, tillvane.job, tillvane.config and tillvane.window, so QT_LOGGING_RULES
// turns them on and off as in any Qt program ("tillvane.job.info=false", say). Each line
// on standard error carries a time stamp and its category.
#pragma once

#include <QLoggingCategory>

namespace tillvane {

Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcJob)
Q_DECLARE_LOGGING_CATEGORY(lcConfig)
Q_DECLARE_LOGGING_CATEGORY(lcWindow)

// Installs the route and the message pattern; called once, before the window opens.
void RouteLogToQt();

}  // namespace tillvane
