#include "package/builderconfig.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

QString configPath()
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    return dir.filePath(QStringLiteral("config.xml"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The reader names every file it cannot parse on the debug output.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    return 0;
}

// A builder configuration: the reader takes a path, so each input goes to one file first.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = configPath();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();
    BuilderConfig config;
    QString error;
    readBuilderConfig(path, &config, &error);
    return 0;
}
