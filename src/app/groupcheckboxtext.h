#pragma once

#include "package/updatedocument.h"

#include <QString>

// A group's size for its check box: bytes / 1000 in "kB", once more / 1000 in "MB" when that
// is over 1000, written with six significant digits ("1.5" MB, "1000" kB).
void groupSizeText(double size, QString *amount, QString *unit);

// "<name>: Version: <version> Datei(en): <count> Größe (<unit>): <amount>"
QString groupCheckBoxText(const UpdateGroup &group);
