#pragma once

#include <QLoggingCategory>
#include <QString>

// Debug output of the package formats and the builder (paths, hash names, failures). Nothing
// reads it; QT_LOGGING_RULES="ledgora.package.debug=false" silences it.
Q_DECLARE_LOGGING_CATEGORY(lcPackage)

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
