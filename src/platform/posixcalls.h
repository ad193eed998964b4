#pragma once

// Helpers of the POSIX implementations of the platform layer.

#include "platform/platform.h"

#include <QDateTime>
#include <QString>

#include <ctime>
#include <sys/stat.h>

namespace posix {

// The system's text for an error number: the reason a call failed.
inline bool failed(int errorNumber, QString *error)
{
    *error = windowsErrorText(quint32(errorNumber));
    return false;
}

// An invalid moment leaves the time as it is.
inline timespec toTimespec(const QDateTime &dateTime)
{
    timespec result = {};
    if (!dateTime.isValid()) {
        result.tv_nsec = UTIME_OMIT;
        return result;
    }
    const qint64 msecs = dateTime.toMSecsSinceEpoch();
    result.tv_sec = static_cast<time_t>(msecs / 1000);
    result.tv_nsec = static_cast<long>(msecs % 1000) * 1000000L;
    if (result.tv_nsec < 0) {
        result.tv_sec -= 1;
        result.tv_nsec += 1000000000L;
    }
    return result;
}

} // namespace posix
