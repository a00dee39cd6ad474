#pragma once

#include <string>
#include <vector>

// Exit statuses of kerfwell-cut.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // an input was refused or an I/O operation failed
constexpr int kExitUsage = 2;

int RunInfo(const std::string& path);
int RunCount(const std::string& path);
int RunCut(const std::string& output, const std::vector<std::string>& jobs);
