#pragma once

#include <string>

// The tags of a file that --tags carries over to a new output: the ID3v2
// tag(s) at its start and the ID3v1 tag at its end. Each returns false with
// `error` naming the file and the reason; a file without such a tag copies
// nothing and succeeds.

// Appends the leading ID3v2 tags of `input` to `output`, creating it and its
// missing directories when absent.
bool CopyLeadingTags(const std::string& input, const std::string& output, std::string& error);
// Appends the 128-byte ID3v1 tag at the end of `input` to `output`.
bool CopyTrailingTag(const std::string& input, const std::string& output, std::string& error);

// Appends bytes [offset, offset + length) of `input` to `output` (which it
// creates with its missing directories), in pieces of constant size.
bool AppendFileBytes(const std::string& input, long long offset, long long length, const std::string& output,
                     std::string& error);
