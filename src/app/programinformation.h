#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// What `--version` and `--help` print: which program this is and which release keys it checks
// releases against, so that an administrator can tell a keyed client from one built without
// keys, which takes any release.

// "SHA256:" and the base64 of the key's SHA-256, without padding, as OpenSSH shows keys.
QString releaseKeyFingerprint(const QByteArray &publicKey);

// The program's name and version, then one line per release key, or "unsigned".
QString versionText(const QVector<QByteArray> &releaseKeys);

// True when the arguments ask for the version or the help, which the program answers on its
// standard output without a window.
bool asksForInformation(int argc, char *argv[], bool *help);
