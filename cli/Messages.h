#pragma once

#include <string>

// One line on standard error, "kerfwell-cut: " first.
void Complain(const std::string& message);

// A usage error: the message and a pointer to --help. Returns exit status 2.
int UsageError(const std::string& message);
