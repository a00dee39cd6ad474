#pragma once

#include <string>
#include <vector>

#include "album/TagWriter.h"

// The --tag KEY=VALUE options as edits, checked before anything is written.
// False, with `error` saying what is wrong (a usage error).
bool ParseTagOptions(const std::vector<std::string>& options, std::vector<TagEdit>& edits, std::string& error);

// The edits for piece (or job) `n`: "{n}" in a value becomes the number.
std::vector<TagEdit> NumberedEdits(const std::vector<TagEdit>& edits, int n);
