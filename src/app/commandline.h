#pragma once

#include <QString>
#include <QStringList>

// The values that the updater takes from its command line, converted as start-up uses them.
struct CommandLine
{
    QString conf; // unquoted; used in mode 1 only
    int mode = 2; // 0, empty or not a number give 2; no range test
    QString osOverride; // unchanged
    quint32 callerProcessId = 0;
    QString offlinePath; // unquoted
    QString product; // raw; applied after the version record is read
    bool allowOlder = false; // an offline file older than the installed signed release is taken

    // Parses like the shipped updater: unknown options and missing values are ignored. Help
    // and version are answered before the window starts (app/programinformation.h).
    static CommandLine parse(const QStringList &arguments);
    // The options and what they mean, as `--help` prints them.
    static QString helpText();
};

// Trims, then drops one leading and one trailing double quote.
QString unquote(const QString &value);
