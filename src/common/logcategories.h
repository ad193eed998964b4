#pragma once

#include <QLoggingCategory>

// The debug output of each subsystem. Nothing reads it; a user or tester switches a part off
// with QT_LOGGING_RULES, e.g. "ledgora.check.debug=false", or all with "ledgora.*.debug=false".
Q_DECLARE_LOGGING_CATEGORY(lcPackage) // formats and builder: failures, rewritten data files
// The builder's lines for every file and the whole document: thousands of lines that cost more
// than the work they describe, so off unless asked for ("ledgora.package.files.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcPackageFiles)
Q_DECLARE_LOGGING_CATEGORY(lcDocument) // why an update document was refused
Q_DECLARE_LOGGING_CATEGORY(lcCheck) // the files the update check compares
Q_DECLARE_LOGGING_CATEGORY(lcStore) // the temporary store's file
Q_DECLARE_LOGGING_CATEGORY(lcWindow) // groups that do not apply to this system
Q_DECLARE_LOGGING_CATEGORY(lcTransfer) // downloads that were stopped
