#include "install/stagednames.h"

#include "install/stagedwrite.h"

#include <QDir>

namespace {

QString nameKey(const QString &path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path)).toLower();
}

} // namespace

void StagedNames::add(const QString &target)
{
    names.insert(nameKey(target));
    names.insert(nameKey(StagedWrite::stagingName(target)));
}

void StagedNames::remove(const QString &target)
{
    names.remove(nameKey(target));
    names.remove(nameKey(StagedWrite::stagingName(target)));
}

bool StagedNames::collides(const QString &target) const
{
    if (names.isEmpty())
        return false;
    if (names.contains(nameKey(target))
        || names.contains(nameKey(StagedWrite::stagingName(target))))
        return true;
    for (QString folder = nameKey(target); folder.contains(QLatin1Char('/'));) {
        folder = folder.left(folder.lastIndexOf(QLatin1Char('/')));
        if (names.contains(folder))
            return true;
    }
    return false;
}
