#include "package/releasenumbers.h"

#include "package/smallfile.h"

#include <QRegularExpression>

namespace {

// A line per year of releases; a file of this size is no record of ours.
constexpr qint64 fileLimit = 64 * 1024;

bool damaged(int lineNumber, QString *error)
{
    *error = QStringLiteral("Zeile %1 ist beschädigt.").arg(lineNumber);
    return false;
}

} // namespace

bool parseReleaseNumbers(const QByteArray &text, ReleaseNumbers *numbers, QString *error)
{
    numbers->clear();
    static const QRegularExpression line(
        QStringLiteral("^([1-9][0-9]{3}) (0|[1-9][0-9]{0,18})(?: ([0-9a-f]{64}))?$"));
    if (!text.endsWith('\n'))
        return damaged(text.count('\n') + 1, error);
    const QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        // Every byte counts: the toolkit's conversion of a QByteArray would stop at a NUL.
        const QByteArray &bytes = lines.at(i);
        const QRegularExpressionMatch match =
            line.match(QString::fromLatin1(bytes.constData(), bytes.size()));
        const int year = match.captured(1).toInt();
        // One line per year, in ascending order, as the record is written.
        if (!match.hasMatch() || (!numbers->isEmpty() && year <= numbers->lastKey()))
            return damaged(i + 1, error);
        numbers->insert(year, {match.captured(2).toULongLong(), match.captured(3)});
    }
    return true;
}

bool readReleaseNumbers(const QString &path, ReleaseNumbers *numbers, QString *error)
{
    numbers->clear();
    std::optional<QByteArray> content;
    QString reason;
    // A link could point the record at any file, or at one that always reads empty.
    if (!readSmallFile(path, fileLimit, false, &content, &reason)) {
        *error = reason;
        return false;
    }
    if (!content)
        return true;
    const QByteArray &text = *content;
    if (text.size() > fileLimit) {
        *error = QStringLiteral("Die Datei ist zu groß.");
        return false;
    }
    if (!parseReleaseNumbers(text, numbers, error)) {
        numbers->clear();
        return false;
    }
    return true;
}

QByteArray releaseNumbersText(const ReleaseNumbers &numbers)
{
    QByteArray text;
    for (auto it = numbers.constBegin(); it != numbers.constEnd(); ++it) {
        text += QByteArray::number(it.key()) + ' ' + QByteArray::number(it.value().number);
        if (!it.value().documentHash.isEmpty())
            text += ' ' + it.value().documentHash.toLatin1();
        text += '\n';
    }
    return text;
}

ReleaseNumbers withInstalledRelease(ReleaseNumbers numbers, int year,
                                    const InstalledRelease &release)
{
    const auto mark = numbers.constFind(year);
    if (mark == numbers.constEnd() || mark->number < release.number)
        numbers.insert(year, release);
    else if (mark->number == release.number && mark->documentHash.isEmpty())
        numbers[year].documentHash = release.documentHash;
    return numbers;
}
