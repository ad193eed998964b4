#pragma once

#include "package/offlinefile.h"

#include <QString>

#include <optional>

// The publisher's run of mode 1: reads the builder configuration, writes one data file per
// distinct content into the package directory (reusing those that exist), the document data
// file, "info.bin", the builder log and, when the configuration names one, the offline update
// file. When it names one, offlinePath becomes that path before anything is written.
// The result says whether every output was written; on failure *error (when given) is one line
// naming the step, the path and the system's reason, which also went to the debug output.
// After a successful run *offlineLayout (when given) says where the offline update file's records
// and document lie, so that it need not be read again to be loaded; nothing without one.
bool buildPackage(const QString &configPath, QString &offlinePath, QString *error = nullptr,
                  std::optional<OfflineFileLayout> *offlineLayout = nullptr);
