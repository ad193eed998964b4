#pragma once

#include "common/logcategories.h"

#include <QString>

// The step of the builder that failed, as its failure line names it.
namespace FailedStep {
constexpr char open[] = "Fehler beim Öffnen der Datei:";
constexpr char write[] = "Fehler beim Schreiben der Datei:";
constexpr char loadXml[] = "Fehler beim Laden der XML-Datei:";
constexpr char readSource[] = "Fehler beim Lesen des Quellordners:";
} // namespace FailedStep

// Writes the failure to the debug output and returns it as the one line the publisher sees:
// "<step> <path>: <reason>", e.g. "Fehler beim Schreiben der Datei: /pkg/info.bin: No space left
// on device".
QString reportFailure(const char *step, const QString &path, const QString &reason);
