#include "hashname.h"

#include <QIODevice>

#include <openssl/evp.h>

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

QString hashNameOfDevice(QIODevice *device)
{
    DigestContext context(EVP_MD_CTX_new());
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 read = device->read(block.data(), block.size());
        if (read < 0)
            return QString();
        if (read == 0)
            break;
        EVP_DigestUpdate(context.get(), block.constData(), size_t(read));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return hexText(digest, length);
}
