#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Writes Qt 5 binary JSON ("qbjs", version 1) byte for byte as QJsonDocument::toBinaryData
// does, without building the toolkit's JSON values first: for a document of thousands of
// entries that conversion costs more than the rest of a rebuild's own work. Containers are made
// innermost first; each is complete and compact, as the toolkit leaves a container it stores.
namespace BinaryJson {

// One value of an object or array.
struct Value
{
    quint32 type = 0; // as QJsonValue::Type: 0 null, 1 bool, 2 double, 3 string, 4 array, 5 object
    bool latinOrInt = false; // a string of Latin-1, or a number small enough to be held inline
    quint32 inlineValue = 0; // the bool, or the number held inline
    QByteArray data; // stored after the entry: a string, a double or a container
};

struct Member
{
    QString key;
    Value value;
};

Value boolean(bool value);
Value number(double value);
Value string(const QString &value);
// An object of its members in any order; it keeps them in the order of their keys.
Value object(QVector<Member> members);
Value array(const QVector<Value> &values);

// The document holding `root`, which must be an object or an array.
QByteArray document(const Value &root);

} // namespace BinaryJson
