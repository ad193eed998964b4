#pragma once

#include "package/updatedocument.h"

#include <QList>
#include <QMap>
#include <QString>

// Builds releases with the real package builder from groups described in the test, laid out as
// an update server publishes them: <root>/www/ldg_update/<year>/…, the offline update file as
// <root>/<name>.dat.
// File entries as a document made by hand states them, with fixed times.
FileEntry fileEntry(const QString &targetPath, const QString &sha256, qint64 size);
FileEntry folderEntry(const QString &targetPath);

// A fetched body as the downloader leaves it: a closed temporary file that the check removes.
// Empty when it cannot be written.
QString stagedBody(const QByteArray &body);

struct FixtureGroup
{
    QString attributes; // XML attributes of the group element, without srcdir
    QMap<QString, QByteArray> files; // target path → content; a path ending in "/" is a folder
};

class ReleaseFixture
{
public:
    explicit ReleaseFixture(const QString &root)
        : root(root)
    {
    }

    // Attributes added to the configuration's root element of every build (signing).
    QString rootAttributes;

    // False when the builder fails; the offline update file is then incomplete.
    bool build(const QString &name, int year, const QList<FixtureGroup> &groups,
               const QString &extraXml = QString());

    // Publishes a document made by hand (a hostile or unusual one) as the release of `year`,
    // with one group holding `entries`.
    bool publishGroup(int year, const QVector<FileEntry> &entries);

    QString packageDir(int year) const;
    QString offlineFile(const QString &name) const;
    QString sourceDir(const QString &name, int group) const;
    QString wwwRoot() const; // the folder served below "/ldg_update/"

    // Writes a file below `folder`, creating the folders on the way.
    static bool writeFile(const QString &path, const QByteArray &content);

private:
    QString root;
};
