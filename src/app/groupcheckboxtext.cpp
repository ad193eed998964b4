#include "groupcheckboxtext.h"

#include <QCoreApplication>

void groupSizeText(double size, QString *amount, QString *unit)
{
    double value = size / 1000;
    *unit = QStringLiteral("kB");
    if (value > 1000) {
        value /= 1000;
        *unit = QStringLiteral("MB");
    }
    *amount = QString::number(value, 'g', 6);
}

QString groupCheckBoxText(const QJsonObject &group)
{
    QString amount;
    QString unit;
    groupSizeText(group.value(QStringLiteral("size")).toDouble(), &amount, &unit);
    // One substitution for all values: a "%2" in a group name must stay text.
    return QCoreApplication::translate("MainWindow", "%1: Version: %2 Datei(en): %3 Größe (%4): %5")
        .arg(group.value(QStringLiteral("name")).toString(),
             group.value(QStringLiteral("version")).toString(),
             QString::number(group.value(QStringLiteral("count")).toInt()), unit, amount);
}
