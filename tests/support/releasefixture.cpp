#include "releasefixture.h"

#include "package/hashname.h"
#include "package/packagebuilder.h"
#include "package/payload.h"
#include "package/updatedocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

bool ReleaseFixture::writeFile(const QString &path, const QByteArray &content)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(content) == content.size();
}

QString ReleaseFixture::wwwRoot() const
{
    return root + QLatin1String("/www/ldg_update");
}

FileEntry fileEntry(const QString &targetPath, const QString &sha256, qint64 size)
{
    const QString time = QStringLiteral("2016-03-01T14:05:09");
    return {targetPath, false, sha256, size, time, time, time};
}

QString stagedBody(const QByteArray &body)
{
    QTemporaryFile file;
    file.setAutoRemove(false);
    if (!file.open() || file.write(body) != body.size()) {
        file.remove();
        return QString();
    }
    return file.fileName();
}

FileEntry folderEntry(const QString &targetPath)
{
    FileEntry entry = fileEntry(targetPath, QString(), 0);
    entry.isDir = true;
    return entry;
}

bool ReleaseFixture::publishGroup(int year, const QVector<FileEntry> &entries)
{
    UpdateGroup group;
    group.name = QStringLiteral("Programm");
    group.files = entries;
    UpdateDocument document;
    document.groups = {group};
    const QByteArray binary = documentToBinary(document);
    const QString name = hashName(binary) + QLatin1String(".bin");
    const QString folder = packageDir(year) + QLatin1Char('/');
    return writeFile(folder + name, compressPayload(binary))
        && writeFile(folder + QLatin1String("info.bin"), name.toUtf8());
}

QString ReleaseFixture::packageDir(int year) const
{
    return wwwRoot() + QLatin1Char('/') + QString::number(year);
}

QString ReleaseFixture::offlineFile(const QString &name) const
{
    return root + QLatin1Char('/') + name + QLatin1String(".dat");
}

QString ReleaseFixture::sourceDir(const QString &name, int group) const
{
    return root + QLatin1String("/src/") + name + QLatin1String("/g") + QString::number(group);
}

bool ReleaseFixture::build(const QString &name, int year, const QList<FixtureGroup> &groups,
                           const QString &extraXml)
{
    QString body = extraXml;
    for (int i = 0; i < groups.size(); ++i) {
        const QString source = sourceDir(name, i);
        if (!QDir().mkpath(source))
            return false;
        for (auto it = groups.at(i).files.constBegin(); it != groups.at(i).files.constEnd(); ++it) {
            const QString path = source + QLatin1Char('/') + it.key();
            if (it.key().endsWith(QLatin1Char('/')) ? !QDir().mkpath(path)
                                                    : !writeFile(path, it.value()))
                return false;
        }
        body += QStringLiteral("<group %1 srcdir=\"%2\"/>\n").arg(groups.at(i).attributes, source);
    }
    const QString xml = QStringLiteral("<updater_document trgdir=\"%1\" year=\"%2\" trgfile=\"%3\" "
                                       "version=\"%4\" %5>\n%6</updater_document>\n")
                            .arg(packageDir(year), QString::number(year), offlineFile(name), name,
                                 rootAttributes, body);
    const QString config = root + QLatin1String("/") + name + QLatin1String(".xml");
    if (!writeFile(config, xml.toUtf8()))
        return false;
    QString offlinePath;
    return buildPackage(config, offlinePath);
}
