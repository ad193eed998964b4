#include "app/language.h"

QString languageOfLocale(const QString &localeName)
{
    const int underscore = localeName.indexOf(QLatin1Char('_'));
    return underscore < 0 ? localeName : localeName.left(underscore);
}
