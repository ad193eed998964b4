#pragma once

#include "common/logline.h"

// The rich text of an activity log: lines separated by a line break, an error line in the red
// font, each with its bold title and then every non-empty detail after a blank. Titles and
// details are escaped: file names and server texts must show "<" or "&" as they are.
QString activityLogText(const ActivityLog &log);
