#pragma once

#include <QString>

// The one way the application reports a failure nobody sees on screen: a line in the system log
// (syslog, facility user, identity "vistrel") and the same line on standard error.
namespace SystemLog {

void error(const QString& line);

} // namespace SystemLog
