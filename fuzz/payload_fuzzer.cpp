#include "package/payload.h"

#include <cstdlib>

// A payload that expands states its length truly and survives compressing again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray payload =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QByteArray expanded = expandPayload(payload);
    if (expanded.isEmpty())
        return 0;
    if (statedPayloadSize(payload) != quint32(expanded.size())
        || expandPayload(compressPayload(expanded)) != expanded)
        std::abort();
    return 0;
}
