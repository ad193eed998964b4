#include "testreleasekey.h"

#include <QFile>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

bool makeTestReleaseKey(const QString &pemPath, TestReleaseKey *key, const QByteArray &passPhrase)
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pair(
        EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), EVP_PKEY_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!pair || !bio
        || PEM_write_bio_PrivateKey(bio.get(), pair.get(),
                                    passPhrase.isEmpty() ? nullptr : EVP_aes_256_cbc(),
                                    reinterpret_cast<const unsigned char *>(passPhrase.constData()),
                                    passPhrase.size(), nullptr, nullptr)
            != 1)
        return false;
    char *pem = nullptr;
    const long pemSize = BIO_get_mem_data(bio.get(), &pem);
    QByteArray raw(32, Qt::Uninitialized);
    size_t rawSize = size_t(raw.size());
    if (EVP_PKEY_get_raw_public_key(pair.get(), reinterpret_cast<unsigned char *>(raw.data()),
                                    &rawSize)
        != 1)
        return false;
    QFile file(pemPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(pem, pemSize) != pemSize)
        return false;
    *key = {pemPath, raw};
    return true;
}
