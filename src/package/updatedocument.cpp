#include "package/updatedocument.h"

#include "package/binaryjsonreader.h"
#include "package/binaryjsonwriter.h"
#include "package/hashname.h"
#include "package/payload.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

#include <cmath>

namespace {

// Reads the keys of one JSON object; the first key that is missing or of another type ends
// the reading with a line that names the key and where the object stands in the document.
class ObjectReader
{
public:
    ObjectReader(const QJsonObject &object, QString where, QString *error)
        : object(object)
        , where(std::move(where))
        , error(error)
    {
    }

    bool ok() const { return error->isEmpty(); }

    QString text(const char *key) { return take(key, QJsonValue::String).toString(); }
    bool flag(const char *key) { return take(key, QJsonValue::Bool).toBool(); }
    // A size: a JSON number that a 64-bit integer holds (a hostile document may state 1e300).
    qint64 size(const char *key)
    {
        const double value = take(key, QJsonValue::Double).toDouble();
        constexpr double limit = 9.2e18;
        if (std::isfinite(value) && value > -limit && value < limit)
            return qint64(value);
        if (ok())
            *error = QStringLiteral("%1: Schlüssel \"%2\" liegt außerhalb des Bereichs")
                         .arg(where, QLatin1String(key));
        return 0;
    }
    int integer(const char *key) { return take(key, QJsonValue::Double).toInt(); }
    QJsonArray array(const char *key) { return take(key, QJsonValue::Array).toArray(); }

    std::optional<QString> optionalText(const char *key)
    {
        if (!object.contains(QLatin1String(key)))
            return std::nullopt;
        return text(key);
    }
    // Keys whose absence the format gives a meaning: that meaning when missing, the type still
    // checked when present.
    QString text(const char *key, const QString &absent)
    {
        return object.contains(QLatin1String(key)) ? text(key) : absent;
    }
    bool flag(const char *key, bool absent)
    {
        return object.contains(QLatin1String(key)) ? flag(key) : absent;
    }
    int integer(const char *key, int absent)
    {
        return object.contains(QLatin1String(key)) ? integer(key) : absent;
    }

    // An element of an array that must be an object.
    QJsonObject objectAt(const QJsonArray &array, int index, const QString &elementWhere)
    {
        if (!array.at(index).isObject() && ok())
            *error = QStringLiteral("%1: kein JSON-Objekt").arg(elementWhere);
        return array.at(index).toObject();
    }

private:
    QJsonValue take(const char *key, QJsonValue::Type type)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.type() == type || !ok())
            return value;
        *error = value.isUndefined()
            ? QStringLiteral("%1: Schlüssel \"%2\" fehlt").arg(where, QLatin1String(key))
            : QStringLiteral("%1: Schlüssel \"%2\" hat den falschen Typ")
                  .arg(where, QLatin1String(key));
        return QJsonValue();
    }

    const QJsonObject &object;
    const QString where;
    QString *error;
};

FileEntry readFileEntry(ObjectReader &&reader)
{
    FileEntry entry;
    entry.targetPath = reader.text("targetpath");
    entry.isDir = reader.flag("isdir");
    entry.sha256 = reader.text("sha256");
    entry.size = reader.size("size");
    entry.created = reader.text("time_c");
    entry.modified = reader.text("time_m");
    entry.accessed = reader.text("time_r");
    return entry;
}

UpdateGroup readGroup(const QJsonObject &object, int groupIndex, QString *error)
{
    const QString where = QStringLiteral("Gruppe %1").arg(groupIndex);
    ObjectReader reader(object, where, error);
    UpdateGroup group;
    group.name = reader.text("name");
    group.version = reader.text("version");
    // Without "os" a group applies everywhere, without "active" it is preselected, without
    // "disable" selectable; "beta" is false, "cert" true, and "subtype" that of a group the
    // builder read it for.
    group.os = reader.text("os", QString());
    group.type = reader.text("type");
    group.subtype = reader.integer("subtype", group.type == QLatin1String("exec") ? 0 : -1);
    group.beta = reader.flag("beta", false);
    group.cert = reader.flag("cert", true);
    group.active = reader.text("active", QString());
    group.disable = reader.text("disable", QString());
    group.info = reader.optionalText("info");
    group.size = reader.size("size");
    const QJsonArray files = reader.array("data");
    for (int i = 0; i < files.size() && reader.ok(); ++i) {
        const QString entryWhere = QStringLiteral("%1, Datei %2").arg(where).arg(i);
        const QJsonObject file = reader.objectAt(files, i, entryWhere);
        group.files.append(readFileEntry(ObjectReader(file, entryWhere, error)));
        const FileEntry &entry = group.files.constLast();
        // A folder named by a content's hash would stand for that content in the check; a
        // file's hash name becomes part of a URL and a file name.
        if (entry.isDir && !entry.sha256.isEmpty() && reader.ok())
            *error = QStringLiteral("%1: ein Ordner mit Hash-Wert").arg(entryWhere);
        else if (!entry.isDir && !isHashName(entry.sha256) && reader.ok())
            *error = QStringLiteral("%1: \"sha256\" ist kein Hash-Wert aus 64 Hexadezimalziffern")
                         .arg(entryWhere);
    }
    // The count is what the window shows; one that disagrees with the entries is not a
    // document the builder wrote.
    if (reader.integer("count") != files.size() && reader.ok())
        *error = QStringLiteral("%1: \"count\" ist nicht die Zahl der Dateien").arg(where);
    return group;
}

std::optional<UpdateDocument> readDocument(const QJsonObject &root, QString *error)
{
    error->clear();
    ObjectReader reader(root, QStringLiteral("Dokument"), error);
    UpdateDocument document;
    document.version = reader.text("version");
    const QJsonArray mainInfos = reader.array("main_info");
    for (int i = 0; i < mainInfos.size() && reader.ok(); ++i) {
        const QString where = QStringLiteral("main_info %1").arg(i);
        ObjectReader info(reader.objectAt(mainInfos, i, where), where, error);
        document.mainInfos.append({info.text("os", QString()), info.text("info")});
    }
    const QJsonArray groups = reader.array("data");
    for (int i = 0; i < groups.size() && reader.ok(); ++i) {
        const QJsonObject group = reader.objectAt(groups, i, QStringLiteral("Gruppe %1").arg(i));
        document.groups.append(readGroup(group, i, error));
    }
    if (!reader.ok())
        return std::nullopt;
    return document;
}

QJsonObject fileEntryToJson(const FileEntry &entry)
{
    return {{QStringLiteral("targetpath"), entry.targetPath},
            {QStringLiteral("isdir"), entry.isDir},
            {QStringLiteral("sha256"), entry.sha256},
            {QStringLiteral("size"), entry.size},
            {QStringLiteral("time_c"), entry.created},
            {QStringLiteral("time_m"), entry.modified},
            {QStringLiteral("time_r"), entry.accessed}};
}

QJsonObject groupToJson(const UpdateGroup &group)
{
    QJsonArray files;
    for (const FileEntry &entry : group.files)
        files.append(fileEntryToJson(entry));
    QJsonObject object {{QStringLiteral("name"), group.name},
                        {QStringLiteral("version"), group.version},
                        {QStringLiteral("os"), group.os},
                        {QStringLiteral("type"), group.type},
                        {QStringLiteral("subtype"), group.subtype},
                        {QStringLiteral("beta"), group.beta},
                        {QStringLiteral("cert"), group.cert},
                        {QStringLiteral("active"), group.active},
                        {QStringLiteral("disable"), group.disable},
                        // A JSON number: groups above 2 GB keep their size.
                        {QStringLiteral("size"), group.size},
                        {QStringLiteral("count"), files.size()},
                        {QStringLiteral("data"), files}};
    if (group.info)
        object.insert(QStringLiteral("info"), *group.info);
    return object;
}

// The same keys and values as fileEntryToJson and groupToJson, written as binary JSON directly.
BinaryJson::Value fileEntryValue(const FileEntry &entry)
{
    using namespace BinaryJson;
    return object({{QStringLiteral("targetpath"), string(entry.targetPath)},
                   {QStringLiteral("isdir"), boolean(entry.isDir)},
                   {QStringLiteral("sha256"), string(entry.sha256)},
                   {QStringLiteral("size"), number(double(entry.size))},
                   {QStringLiteral("time_c"), string(entry.created)},
                   {QStringLiteral("time_m"), string(entry.modified)},
                   {QStringLiteral("time_r"), string(entry.accessed)}});
}

BinaryJson::Value groupValue(const UpdateGroup &group)
{
    using namespace BinaryJson;
    QVector<Value> files;
    files.reserve(group.files.size());
    for (const FileEntry &entry : group.files)
        files.append(fileEntryValue(entry));
    QVector<Member> members {{QStringLiteral("name"), string(group.name)},
                             {QStringLiteral("version"), string(group.version)},
                             {QStringLiteral("os"), string(group.os)},
                             {QStringLiteral("type"), string(group.type)},
                             {QStringLiteral("subtype"), number(group.subtype)},
                             {QStringLiteral("beta"), boolean(group.beta)},
                             {QStringLiteral("cert"), boolean(group.cert)},
                             {QStringLiteral("active"), string(group.active)},
                             {QStringLiteral("disable"), string(group.disable)},
                             {QStringLiteral("size"), number(double(group.size))},
                             {QStringLiteral("count"), number(group.files.size())},
                             {QStringLiteral("data"), array(files)}};
    if (group.info)
        members.append({QStringLiteral("info"), string(*group.info)});
    return object(members);
}

} // namespace

QDateTime FileEntry::timeOf(const QString &text)
{
    return QVariant(text).toDateTime();
}

GroupKind UpdateGroup::kind() const
{
    const QString lower = type.toLower();
    if (lower == QLatin1String("exec"))
        return GroupKind::Exec;
    if (lower == QLatin1String("elster"))
        return GroupKind::Elster;
    if (lower == QLatin1String("updater"))
        return GroupKind::Updater;
    return GroupKind::Files;
}

QJsonObject documentToJson(const UpdateDocument &document)
{
    QJsonArray mainInfos;
    for (const MainInfo &info : document.mainInfos)
        mainInfos.append(
            QJsonObject {{QStringLiteral("os"), info.os}, {QStringLiteral("info"), info.info}});
    QJsonArray groups;
    for (const UpdateGroup &group : document.groups)
        groups.append(groupToJson(group));
    return {{QStringLiteral("version"), document.version},
            {QStringLiteral("main_info"), mainInfos},
            {QStringLiteral("data"), groups}};
}

QByteArray documentToBinary(const UpdateDocument &document)
{
    using namespace BinaryJson;
    QVector<Value> mainInfos;
    for (const MainInfo &info : document.mainInfos)
        mainInfos.append(object({{QStringLiteral("os"), string(info.os)},
                                 {QStringLiteral("info"), string(info.info)}}));
    QVector<Value> groups;
    for (const UpdateGroup &group : document.groups)
        groups.append(groupValue(group));
    return BinaryJson::document(object({{QStringLiteral("version"), string(document.version)},
                                        {QStringLiteral("main_info"), array(mainInfos)},
                                        {QStringLiteral("data"), array(groups)}}));
}

std::optional<UpdateDocument> documentFromBinary(const QByteArray &data, QString *error)
{
    const QJsonDocument json = readBinaryJson(data);
    if (!json.isObject()) {
        *error = QStringLiteral("Dokument: kein gültiges binäres JSON-Objekt");
        return std::nullopt;
    }
    return readDocument(json.object(), error);
}

QByteArray expandDocumentPayload(const QByteArray &payload)
{
    if (payload.size() > documentSizeLimit || statedPayloadSize(payload) > documentSizeLimit)
        return QByteArray();
    return expandPayload(payload);
}

std::optional<UpdateDocument> documentFromPayload(const QByteArray &payload, QString *error)
{
    return documentFromBinary(expandDocumentPayload(payload), error);
}
