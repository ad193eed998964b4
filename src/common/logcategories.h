#pragma once

#include <QLoggingCategory>

// The debug output of each subsystem. Nothing reads it; a user or tester switches a part off
// with QT_LOGGING_RULES, e.g. "ledgora.check.debug=false", or all with "ledgora.*.debug=false".
Q_DECLARE_LOGGING_CATEGORY(lcPackage) // formats and builder: paths, hash names, failures
Q_DECLARE_LOGGING_CATEGORY(lcDocument) // why an update document was refused
Q_DECLARE_LOGGING_CATEGORY(lcCheck) // the files the update check compares
Q_DECLARE_LOGGING_CATEGORY(lcStore) // the temporary store's file
Q_DECLARE_LOGGING_CATEGORY(lcWindow) // groups that do not apply to this system
Q_DECLARE_LOGGING_CATEGORY(lcTransfer) // downloads that were stopped
