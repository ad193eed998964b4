#pragma once

#include "package/updatedocument.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

// The XML builder configuration as the package builder uses it.

struct GroupConfig
{
    bool hasSourceDir = false;
    QString sourceDir; // separators normalised, trailing "/"
    // The group as the document describes it, without size and files: the source tree gives them.
    UpdateGroup values;
};

struct BuilderConfig
{
    QString targetDir; // trimmed, normalised, trailing "/"; empty fails the run
    int year = 0; // 2000 to 9999; 0 when absent, which only a run without offline file allows
    QString targetFile; // trimmed; empty: no offline update file
    QString version; // verbatim
    // Signing: the Ed25519 private key's PEM file, relative paths counted from the configuration's
    // folder; empty: the release is published unsigned. The release number (by default the
    // build time in seconds) and the expiry are read only with a key.
    QString signKeyPath;
    // The statement published last, as a file (fetched from the update server, say): its number
    // is a floor besides the package folder's own "info.sig", for a folder that is new or not
    // the one on the server. Relative paths count from the configuration's folder.
    QString previousStatementPath;
    std::optional<quint64> releaseNumber;
    std::optional<QDateTime> expires; // UTC
    QVector<MainInfo> mainInfos; // every main_info in document order: "os" verbatim, all text
    QVector<GroupConfig> groups; // every group in document order, with or without srcdir
};

// Reads the file. False, with the failure line in *error (also written to the debug output), when
// it cannot be opened, is not well-formed XML, its year is not a year, or a signed release lacks
// its year or has a release number or expiry that cannot be read. A missing root element
// leaves the root values empty.
bool readBuilderConfig(const QString &path, BuilderConfig *config, QString *error);
