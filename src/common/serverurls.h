#pragma once

#include <QString>

// The update server's base URL, ending in "/": the environment variable LEDGORA_UPDATE_URL when
// set (tests, staging), else the build's LEDGORA_UPDATE_URL setting. A value of the variable
// that is not an absolute http(s) URL ending in "/" is refused with the reason in *error: the
// year folder is appended to it directly, and a mistyped address must not send the requests
// somewhere else.
bool updateBaseUrl(QString *url, QString *error);
QString helpPageUrl();
// Pages about changing edition: to Stavin, and from Stavin to Orvel or Lusk.
QString migrateToStavinUrl();
QString migrateFromStavinUrl();

// A URL as it may be shown to anyone (a dialog, a log line, the debug output): without the
// password of its user information. Any other text comes back as it is.
QString shownUrl(const QString &url);
// The text with the URL's password taken out wherever the URL appears in it ("user:secret@"
// becomes "user@"), as the system's and the toolkit's error texts quote the URL.
QString withoutPassword(const QString &text, const QString &url);
