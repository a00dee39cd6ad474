#pragma once

#include <cstddef>
#include <string>

// How a text stands as UTF-8.
enum class Utf8Form {
  Valid,
  // Bytes that do not form UTF-8 sequences at all: another encoding, such as
  // Latin-1.
  NotUtf8,
  // Sequences of UTF-8's form whose value UTF-8 forbids: an overlong form
  // (C0 AF for '/'), a surrogate half, or past U+10FFFF. No encoder writes
  // them; they only hide characters from checks.
  BadValue,
};

// The form of `text`; `at` gets the offset of the first byte that is not
// valid UTF-8 (the text's size when it is valid).
Utf8Form CheckUtf8(const std::string& text, std::size_t& at);
