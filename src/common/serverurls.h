#pragma once

#include <QString>

// The update server's base URL, ending in "ldg_update/": the environment variable
// LEDGORA_UPDATE_URL when set (tests, staging), else the build's LEDGORA_UPDATE_URL setting.
QString updateBaseUrl();
QString helpPageUrl();
// Pages about changing edition: to Stavin, and from Stavin to Orvel or Lusk.
QString migrateToStavinUrl();
QString migrateFromStavinUrl();
