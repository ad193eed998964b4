#include "common/producttypes.h"

#include <QCoreApplication>

QString productName(int productType)
{
    static const char *const names[] = {"Stavin", "Stavin Portabel", "Orvel", "Orvel Portabel",
                                        "Lusk",   "Lusk Portabel"};
    if (productType < 1 || productType > 6)
        return QString();
    return QCoreApplication::translate("MainWindow", names[productType - 1]);
}

QList<int> productChoices(bool recordValid, int productValue)
{
    if (!recordValid)
        return {1, 3, 5, 2, 4, 6};
    switch (productValue) {
    case 1:
    case 3:
    case 5:
        return {1, 3, 5};
    case 2:
    case 4:
    case 6:
        return {2, 4, 6};
    default:
        return {};
    }
}

bool isPortable(int productType)
{
    return productType == 2 || productType == 4 || productType == 6;
}
