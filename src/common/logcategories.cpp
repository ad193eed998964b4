#include "common/logcategories.h"

Q_LOGGING_CATEGORY(lcPackage, "ledgora.package")
Q_LOGGING_CATEGORY(lcPackageFiles, "ledgora.package.files", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDocument, "ledgora.document")
Q_LOGGING_CATEGORY(lcCheck, "ledgora.check")
Q_LOGGING_CATEGORY(lcStore, "ledgora.store")
Q_LOGGING_CATEGORY(lcWindow, "ledgora.window")
Q_LOGGING_CATEGORY(lcTransfer, "ledgora.transfer")
