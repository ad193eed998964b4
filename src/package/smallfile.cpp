#include "package/smallfile.h"

#include "platform/platform.h"

#include <QFile>

bool readSmallFile(const QString &path, qint64 limit, bool followLinks,
                   std::optional<QByteArray> *content, QString *error)
{
    content->reset();
    QFile file;
    QString reason;
    error->clear();
    switch (openRegularFile(&file, path, followLinks, &reason)) {
    case RegularFileOpen::Missing:
        *error = reason;
        return true;
    case RegularFileOpen::Refused:
        *error = reason;
        return false;
    case RegularFileOpen::Opened:
        break;
    }
    const QByteArray text = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    *content = text;
    return true;
}
