#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Reads a small file that a user or another program may have put in place (a record, a
// statement): only a regular file, opened without waiting on a pipe, and links only when
// `followLinks`. At most limit + 1 bytes are read, so that the caller can tell a file that is too
// large. *content stays empty when no file of that name exists (*error then says so); false, with
// the reason in *error, when one exists that cannot be read.
bool readSmallFile(const QString &path, qint64 limit, bool followLinks,
                   std::optional<QByteArray> *content, QString *error);
