#pragma once
// The upgrade command's form for several modules (found by a search), beside the one-module form.

#include "app/cli/Cli.h"

int FleetUpgradeCommand(const TCliOptions &opt, const QStringList &args);
QString FleetUpgradeHelp();
