#pragma once

#include <QLoggingCategory>

// Debug output of the package formats and the builder (paths, hash names, failures). Nothing
// reads it; QT_LOGGING_RULES="ledgora.package.debug=false" silences it.
Q_DECLARE_LOGGING_CATEGORY(lcPackage)
