#pragma once

#include <QString>

// True when path is folder or lies below it. Both must be canonical (or resolvedPath), so that
// "/src/ab" does not count as lying in "/src/a" and a link cannot hide the relation.
bool liesIn(const QString &path, const QString &folder);

// folder and name joined by one "/", also when folder is a root such as "/" or "C:/".
QString joinedPath(const QString &folder, const QString &name);

// Where path leads, for a path that may not exist yet: its longest existing prefix resolved like
// a canonical path (links followed), the rest appended as written, cleaned.
QString resolvedPath(const QString &path);
