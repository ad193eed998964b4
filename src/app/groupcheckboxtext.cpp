#include "app/groupcheckboxtext.h"

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

QString groupCheckBoxText(const UpdateGroup &group)
{
    QString amount;
    QString unit;
    groupSizeText(double(group.size), &amount, &unit);
    // One substitution for all values: a "%2" in a group name must stay text.
    return QCoreApplication::translate("MainWindow", "%1: Version: %2 Datei(en): %3 Größe (%4): %5")
        .arg(group.name, group.version, QString::number(group.files.size()), unit, amount);
}
