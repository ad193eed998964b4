#include "package/hashname.h"

#include "package/durablefile.h"
#include "platform/platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QIODevice>

#include <openssl/evp.h>

#include <limits>
#include <memory>

namespace {

struct DigestContextDeleter
{
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

QString hexText(const unsigned char *digest, unsigned int length)
{
    return QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char *>(digest), int(length)).toHex());
}

} // namespace

QString hashName(const QByteArray &data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.constData(), size_t(data.size()), digest, &length, EVP_sha256(), nullptr);
    return hexText(digest, length);
}

bool isHashName(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9'))
              || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

struct HashNameStream::Context
{
    DigestContext digest {EVP_MD_CTX_new()};
};

HashNameStream::HashNameStream()
    : context(std::make_unique<Context>())
{
    EVP_DigestInit_ex(context->digest.get(), EVP_sha256(), nullptr);
}

HashNameStream::~HashNameStream() = default;

void HashNameStream::add(const char *data, qint64 size)
{
    EVP_DigestUpdate(context->digest.get(), data, size_t(size));
}

QString HashNameStream::finish()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context->digest.get(), digest, &length);
    return hexText(digest, length);
}

namespace {

constexpr qint64 blockSize = 1 << 20;

// Reads the device in blocks from its position, to its end or `length` bytes (length 0 or
// more), hashing each block and handing it to `take`, which may refuse it with *error set.
template<typename Take>
bool hashBlocks(QIODevice &device, qint64 length, QString *hash, QString *error, Take take)
{
    HashNameStream stream;
    QByteArray block(blockSize, Qt::Uninitialized);
    qint64 left = length < 0 ? std::numeric_limits<qint64>::max() : length;
    while (left > 0) {
        const qint64 read = device.read(block.data(), qMin<qint64>(block.size(), left));
        if (read < 0) {
            *error = device.errorString();
            return false;
        }
        if (read == 0)
            break;
        stream.add(block.constData(), read);
        if (!take(block.constData(), read))
            return false;
        left -= read;
    }
    if (length >= 0 && left > 0) {
        *error = QCoreApplication::translate("MainWindow", "Die Datei endet vorzeitig.");
        return false;
    }
    *hash = stream.finish();
    return true;
}

} // namespace

bool hashNameOfDevice(QIODevice *device, qint64 length, QString *hash, QString *error)
{
    return hashBlocks(*device, length, hash, error, [](const char *, qint64) { return true; });
}

bool copyHashed(QIODevice &source, qint64 length, QIODevice &target, QString *hash, QString *error)
{
    return hashBlocks(source, length, hash, error, [&](const char *data, qint64 size) {
        return writeAll(target, QByteArray::fromRawData(data, int(size)), error);
    });
}

bool hashNameOfFile(const QString &path, QString *hash, QString *error)
{
    QFile file;
    return openRegularFile(&file, path, false, error) == RegularFileOpen::Opened
        && hashNameOfDevice(&file, -1, hash, error);
}
