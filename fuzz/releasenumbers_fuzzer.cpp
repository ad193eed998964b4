#include "package/releasenumbers.h"

#include <cstdlib>

// The record of signed releases is read whole or refused, and a record that reads is exactly the
// text the updater writes for it: there is one spelling of every record.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    ReleaseNumbers numbers;
    QString error;
    const bool read = parseReleaseNumbers(text, &numbers, &error);
    if (read != error.isEmpty() || (read && releaseNumbersText(numbers) != text))
        std::abort();
    return 0;
}
