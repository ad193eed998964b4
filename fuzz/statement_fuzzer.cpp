#include "package/releasestatement.h"

#include <cstdlib>

// A statement that parses is exactly what its fields write, and never parses with no reason given
// when it fails. The signature is not checked here: no input may be a valid one.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QString error;
    const std::optional<SignedStatement> parsed = parseStatement(text, &error);
    if (!parsed) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    if (statementText(parsed->statement, parsed->signature) != text)
        std::abort();
    return 0;
}
