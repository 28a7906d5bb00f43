#pragma once
// The texts of --help and --version (the manual page is made from them).

#include <string>

std::string HelpText();
std::string VersionText();
// The short hint after a usage error.
std::string UsageHint();
