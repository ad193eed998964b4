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
    // Checks the key and the expiry, and reads the numbers of the statements already published:
    // the package folder's "info.sig" and the configuration's `previous` file. The higher one of
    // this year is the floor, which this release's number must exceed (or equal, for the same
    // document); a published statement that cannot be read fails the run, since without it any
    // number could be signed again. False with the failure line in *error.
    bool prepare(const BuilderConfig &config, const QString &configPath, QString *error);
    // Which floor prepare() found, for the publisher: "Kleinste Release-Nummer: …".
    QString floorText() const;
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
    bool readPublished(QString *error);
    bool readFloor(const QString &statementPath, const QByteArray &text, QString *error);
    bool checkSettings(QString *error) const;
    std::optional<quint64> number(const QString &documentHash, QString *error) const;
    bool failSettings(const QString &reason, QString *error) const;

    BuilderConfig config;
    QString configPath;
    QString path;
    QByteArray text;
    std::optional<QByteArray> previousText; // the published file, when there was one
    std::optional<ReleaseStatement> previous; // the floor: the highest statement of this year
    QString previousPath; // where the floor was read
};
