#include "package/releasenumbers.h"

#include "common/logcategories.h"

#include <QFile>
#include <QRegularExpression>

namespace {

// A line per year of releases; a file of this size is no record of ours.
constexpr qint64 fileLimit = 64 * 1024;

} // namespace

ReleaseNumbers readReleaseNumbers(const QString &path)
{
    ReleaseNumbers numbers;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return numbers;
    const QByteArray text = file.read(fileLimit);
    static const QRegularExpression line(QStringLiteral("^([1-9][0-9]{3}) (0|[1-9][0-9]{0,18})$"));
    for (const QByteArray &bytes : text.split('\n')) {
        const QRegularExpressionMatch match = line.match(QString::fromLatin1(bytes));
        if (match.hasMatch()) {
            const int year = match.captured(1).toInt();
            numbers[year] = qMax(numbers.value(year), match.captured(2).toULongLong());
        } else if (!bytes.isEmpty()) {
            qCWarning(lcCheck).noquote() << path << "damaged line skipped:" << bytes.left(80);
        }
    }
    return numbers;
}

QByteArray releaseNumbersText(const ReleaseNumbers &numbers)
{
    QByteArray text;
    for (auto it = numbers.constBegin(); it != numbers.constEnd(); ++it)
        text += QByteArray::number(it.key()) + ' ' + QByteArray::number(it.value()) + '\n';
    return text;
}
