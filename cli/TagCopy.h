#pragma once

#include <string>

class OutputWriter;
class SourceFile;

// The tags of a file that --tags carries over to a new output: the ID3v2
// tag(s) at its start and the ID3v1 tag at its end, copied as bytes. Each
// returns false with `error` naming the file and the reason; a file without
// such a tag copies nothing and succeeds.

// Writes the leading ID3v2 tags of `input` in front of the output's frames.
bool CopyLeadingTags(const std::string& input, OutputWriter& output, std::string& error);
// Writes the 128-byte ID3v1 tag at the end of `input` after the output's frames.
bool CopyTrailingTag(const std::string& input, OutputWriter& output, std::string& error);
// The same from an input already open, read through its descriptor.
bool CopyLeadingTags(SourceFile& input, OutputWriter& output, std::string& error);
bool CopyTrailingTag(SourceFile& input, OutputWriter& output, std::string& error);
