#pragma once

#include <QString>

// Whether an entry whose "os" text lists keys separated by ";" applies: an empty list always
// does. With an override (--os) a key applies when the override begins with it, letter case
// aside; otherwise when it is "windows" or the running version's key.
bool osTextMatches(const QString &osText, const QString &osOverride, int windowsVersion);

// True when the text names exactly one key and that key is not the generic "windows".
bool namesSingleSpecificOs(const QString &osText);
