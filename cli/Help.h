#pragma once

#include <string>

// What --help prints: every command and option, under a screen.
extern const char kHelpText[];
// What --version prints.
std::string VersionText();
