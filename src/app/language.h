#pragma once

#include <QString>

// The language part of a locale name: "de_DE" gives "de"; a name without "_" gives itself.
QString languageOfLocale(const QString &localeName);
