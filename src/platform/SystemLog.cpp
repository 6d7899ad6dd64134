#include "SystemLog.h"

#include <cstdio>

#if __has_include(<syslog.h>)
#include <syslog.h>
#endif

namespace SystemLog {

void error(const QString& line)
{
    const QByteArray text = line.toUtf8();
#if __has_include(<syslog.h>)
    openlog("vistrel", LOG_PID, LOG_USER);
    syslog(LOG_ERR, "%s", text.constData());
    closelog();
#endif
    std::fprintf(stderr, "%s\n", text.constData());
    std::fflush(stderr);
}

} // namespace SystemLog
