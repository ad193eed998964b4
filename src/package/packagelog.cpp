#include "packagelog.h"

Q_LOGGING_CATEGORY(lcPackage, "ledgora.package")
