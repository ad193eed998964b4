#include "package/targetpath.h"

#include "common/installationlayout.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

bool isDeviceName(const QString &component)
{
    // Windows opens the device for these names, with any extension and trailing blanks.
    const QString stem = component.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList plain {QStringLiteral("CON"),    QStringLiteral("PRN"),
                                    QStringLiteral("AUX"),    QStringLiteral("NUL"),
                                    QStringLiteral("CONIN$"), QStringLiteral("CONOUT$"),
                                    QStringLiteral("CLOCK$")};
    if (plain.contains(stem))
        return true;
    if (stem.size() != 4
        || !(stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))))
        return false;
    const QChar digit = stem.at(3);
    return (digit >= QLatin1Char('0') && digit <= QLatin1Char('9')) || digit == QChar(0xB9)
        || digit == QChar(0xB2) || digit == QChar(0xB3);
}

bool isAcceptedComponent(const QString &component)
{
    if (component.isEmpty() || component == QLatin1String("."))
        return true;
    if (component == QLatin1String("..") || isDeviceName(component))
        return false;
    // Windows drops a final dot or blank, so the name would stand for another file.
    return !component.endsWith(QLatin1Char('.')) && !component.endsWith(QLatin1Char(' '));
}

bool hasForbiddenCharacter(const QString &path)
{
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || QStringLiteral(":<>\"|?*").contains(c))
            return true;
    }
    return false;
}

// A link among the folders on the way would let the write land wherever it points. Below a
// missing folder nothing can be a link.
bool passesThroughLink(const QString &baseDir, const QStringList &components,
                       CheckedFolders *checked)
{
    QString path = baseDir;
    for (int i = 0; i + 1 < components.size(); ++i) {
        if (components.at(i).isEmpty() || components.at(i) == QLatin1String("."))
            continue;
        path += components.at(i);
        if (!checked || !checked->contains(path)) {
            switch (checkForLink(path)) {
            case LinkCheck::Link:
                return true;
            case LinkCheck::Missing:
                return false;
            case LinkCheck::Other:
                if (checked)
                    checked->insert(path);
                break;
            }
        }
        path += QLatin1Char('/');
    }
    return false;
}

} // namespace

bool isSameFile(const QString &a, const QString &b)
{
    return QDir::cleanPath(a).compare(QDir::cleanPath(b), Qt::CaseInsensitive) == 0;
}

std::optional<QString> resolveTargetPath(const QString &baseDir, const QString &targetPath,
                                         const QString &runningExecutable, CheckedFolders *checked)
{
    QString relative = targetPath;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // Absolute paths and network prefixes ("//srv") start with "/"; drive letters ("C:") and
    // alternate data streams need the colon.
    if (baseDir.isEmpty() || relative.isEmpty() || relative.startsWith(QLatin1Char('/'))
        || hasForbiddenCharacter(relative))
        return std::nullopt;
    const QStringList components = relative.split(QLatin1Char('/'));
    for (const QString &component : components) {
        if (!isAcceptedComponent(component))
            return std::nullopt;
    }
    const QString fullPath = baseDir + targetPath;
    // A target named like another's staging file would be removed when that one is staged.
    // The updater's own record of signed releases and its lock, wherever its folder lies: a
    // release that brought them would reset the record or stop every later installation.
    const QString &name = components.constLast();
    if (relative.endsWith(InstallationLayout::stagingSuffix, Qt::CaseInsensitive)
        || name.compare(InstallationLayout::releaseNumbers, Qt::CaseInsensitive) == 0
        || name.compare(InstallationLayout::installationLock, Qt::CaseInsensitive) == 0
        || isSameFile(relative, InstallationLayout::versionRecord)
        || (!runningExecutable.isEmpty() && isSameFile(fullPath, runningExecutable))
        || passesThroughLink(baseDir, components, checked))
        return std::nullopt;
    return fullPath;
}

LocalEntry localEntryAt(const QString &path)
{
    if (isLink(path))
        return LocalEntry::Other;
    const QFileInfo info(path);
    if (!info.exists())
        return LocalEntry::Missing;
    if (info.isDir())
        return LocalEntry::Folder;
    return info.isFile() ? LocalEntry::File : LocalEntry::Other;
}
