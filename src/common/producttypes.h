#pragma once

#include <QList>
#include <QString>

// Product types (editions) 1 to 6: Stavin, Stavin Portabel, Orvel, Orvel Portabel, Lusk,
// Lusk Portabel; -1 stands for unknown.
QString productName(int productType);

// The types the product combo offers: the installed edition family when the version record
// is valid (nothing for a value outside 1 to 6), all six otherwise.
QList<int> productChoices(bool recordValid, int productValue);

bool isPortable(int productType);
