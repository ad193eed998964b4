#pragma once

#include <QList>
#include <QString>

// The editions, numbered as the command line, the version record and exec groups number them.
// Where a number comes from outside, -1 stands for unknown.
enum class ProductType {
    Stavin = 1,
    StavinPortable = 2,
    Orvel = 3,
    OrvelPortable = 4,
    Lusk = 5,
    LuskPortable = 6,
};

// True for the number of an edition, 1 to 6.
bool isProductType(int number);

// The edition's display name; empty for a number that names none.
QString productName(int productType);

// The types the product combo offers: the installed edition family when the version record
// is valid (nothing for a value outside 1 to 6), all six otherwise.
QList<int> productChoices(bool recordValid, int productValue);
