#pragma once

#include <string>

// What --help prints: every command and option, under a screen, for "" (or
// "help"); for a command (cut --help, help cut), that command and every
// option it takes.
std::string HelpText(const std::string& command);
// What --version prints.
std::string VersionText();
