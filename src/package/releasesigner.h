#pragma once

#include "package/builderconfig.h"
#include "package/releasestatement.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The builder's side of signed releases: the statement of the release it builds, and the
// statement file "info.sig" in the package folder, which changes together with "info.bin".
class ReleaseSigner
{
public:
    // Checks the key and reads the number of the statement already published in the package
    // folder, which this release's number must exceed. False with the failure line in *error.
    bool prepare(const BuilderConfig &config, const QString &configPath, QString *error);
    // Signs the statement of the document; nothing to sign without a key.
    bool sign(const QString &documentHash, QString *error);
    // The signed statement; empty without a key.
    QByteArray statement() const { return text; }

    // Writes "info.sig", or removes an earlier one when unsigned (it would name another
    // document), keeping what was there for restore().
    bool publish(QString *error);
    // Puts the earlier "info.sig" back when "info.bin" could not follow it.
    void restore();

private:
    std::optional<quint64> number(const QString &documentHash, QString *error) const;

    BuilderConfig config;
    QString configPath;
    QString path;
    QByteArray text;
    std::optional<QByteArray> previousText; // the published file, when there was one
    std::optional<ReleaseStatement> previous; // its statement, when it reads as one of this year
};
