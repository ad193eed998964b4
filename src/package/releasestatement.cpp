#include "package/releasestatement.h"

#include "package/releasesignature.h"

#include <QCoreApplication>
#include <QList>
#include <QRegularExpression>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

const QByteArray formatLine("Ledgora-Release-Statement: 1");
const QByteArray formatName("Ledgora-Release-Statement: ");
const QByteArray signatureName("Signature: ");
constexpr int signatureTextSize = 88; // base64 of 64 bytes

QString expiryText(const QDateTime &expires)
{
    return expires.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

bool matches(const char *pattern, const QByteArray &value)
{
    const QRegularExpression expression(
        QRegularExpression::anchoredPattern(QLatin1String(pattern)));
    return expression.match(QString::fromLatin1(value)).hasMatch();
}

// The value of the line `name`, or nothing when the line has another name.
std::optional<QByteArray> valueOf(const QByteArray &line, const char *name)
{
    const QByteArray prefix = QByteArray(name) + ": ";
    if (!line.startsWith(prefix))
        return std::nullopt;
    return line.mid(prefix.size());
}

bool readFields(const QList<QByteArray> &lines, ReleaseStatement *statement)
{
    const auto year = valueOf(lines.at(1), "Year");
    const auto document = valueOf(lines.at(2), "Document");
    const auto release = valueOf(lines.at(3), "Release");
    if (!year || !matches("[1-9][0-9]{3}", *year) || !document
        || !matches("[0-9a-f]{64}", *document) || !release
        || !matches("0|[1-9][0-9]{0,18}", *release))
        return false;
    statement->year = year->toInt();
    statement->documentHash = QString::fromLatin1(*document);
    statement->releaseNumber = release->toULongLong();
    if (lines.size() == 6) {
        const auto expires = valueOf(lines.at(4), "Expires");
        statement->expires = expires ? expiryFromText(QString::fromLatin1(*expires)) : std::nullopt;
        if (!statement->expires)
            return false;
    }
    return true;
}

} // namespace

QByteArray statementSignedPart(const ReleaseStatement &statement)
{
    QByteArray text = formatLine + '\n';
    text += "Year: " + QByteArray::number(statement.year) + '\n';
    text += "Document: " + statement.documentHash.toLatin1() + '\n';
    text += "Release: " + QByteArray::number(statement.releaseNumber) + '\n';
    if (statement.expires)
        text += "Expires: " + expiryText(*statement.expires).toLatin1() + '\n';
    return text;
}

QByteArray statementText(const ReleaseStatement &statement, const QByteArray &signature)
{
    return statementSignedPart(statement) + signatureName + signature.toBase64() + '\n';
}

std::optional<SignedStatement> parseStatement(const QByteArray &text, QString *error)
{
    *error = tr("Die Signaturdatei ist beschädigt.");
    if (text.size() > releaseStatementLimit || !text.endsWith('\n'))
        return std::nullopt;
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();
    // A later version of the format is another thing than damage: the client is too old for it.
    if (!lines.isEmpty() && lines.first() != formatLine && lines.first().startsWith(formatName)
        && matches("[0-9]+", lines.first().mid(formatName.size()))) {
        *error = tr("Die Signaturdatei hat ein unbekanntes Format.");
        return std::nullopt;
    }
    if ((lines.size() != 5 && lines.size() != 6) || lines.first() != formatLine)
        return std::nullopt;
    SignedStatement result;
    const auto signature = valueOf(lines.constLast(), "Signature");
    if (!signature || signature->size() != signatureTextSize
        || !matches("[A-Za-z0-9+/]{86}==", *signature) || !readFields(lines, &result.statement))
        return std::nullopt;
    result.signature = QByteArray::fromBase64(*signature);
    result.signedPart = text.left(text.size() - lines.constLast().size() - 1);
    // One spelling only: what was read must be what the fields write.
    if (result.signature.size() != releaseSignatureSize || result.signature.toBase64() != *signature
        || result.signedPart != statementSignedPart(result.statement))
        return std::nullopt;
    error->clear();
    return result;
}

std::optional<QDateTime> expiryFromText(const QString &text)
{
    if (!matches("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z", text.toLatin1()))
        return std::nullopt;
    const QDateTime expires(QDate::fromString(text.left(10), Qt::ISODate),
                            QTime::fromString(text.mid(11, 8), Qt::ISODate), Qt::UTC);
    // Day 31 of April, hour 24: read leniently, these would name another moment.
    if (!expires.isValid() || expiryText(expires) != text)
        return std::nullopt;
    return expires;
}
