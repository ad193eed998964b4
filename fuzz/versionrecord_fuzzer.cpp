#include "package/versionrecord.h"

#include <cstdlib>

// A version record that reads as valid reads back the same after it is written again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bool valid = false;
    const VersionRecord record = parseVersionRecord(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), &valid);
    if (!valid)
        return 0;
    bool again = false;
    const VersionRecord reread = parseVersionRecord(versionRecordText(record), &again);
    if (!again || reread.releaseYear != record.releaseYear
        || reread.productType != record.productType
        || reread.certificateFlag != record.certificateFlag || reread.betaFlag != record.betaFlag)
        std::abort();
    return 0;
}
