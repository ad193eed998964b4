#pragma once

#include <QString>

// The full path of an entry's "targetpath" below the application base directory, or an empty
// text when the path would leave it: absolute paths, drive letters, network prefixes and ".."
// components are refused, whatever the update document says.
QString resolveTargetPath(const QString &baseDir, const QString &targetPath);
