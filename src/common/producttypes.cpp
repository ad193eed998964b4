#include "common/producttypes.h"

#include <QCoreApplication>

namespace {

int number(ProductType type)
{
    return static_cast<int>(type);
}

} // namespace

bool isProductType(int number)
{
    return number >= static_cast<int>(ProductType::Stavin)
        && number <= static_cast<int>(ProductType::LuskPortable);
}

QString productName(int productType)
{
    static const char *const names[] = {"Stavin", "Stavin Portabel", "Orvel", "Orvel Portabel",
                                        "Lusk",   "Lusk Portabel"};
    if (!isProductType(productType))
        return QString();
    return QCoreApplication::translate("MainWindow", names[productType - 1]);
}

QList<int> productChoices(bool recordValid, int productValue)
{
    const QList<int> installed {number(ProductType::Stavin), number(ProductType::Orvel),
                                number(ProductType::Lusk)};
    const QList<int> portable {number(ProductType::StavinPortable),
                               number(ProductType::OrvelPortable),
                               number(ProductType::LuskPortable)};
    if (!recordValid)
        return installed + portable;
    if (installed.contains(productValue))
        return installed;
    if (portable.contains(productValue))
        return portable;
    return {};
}
