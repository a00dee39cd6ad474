#pragma once

// Reading and writing the fields of an XA_Message by their offset in the
// 16-byte wire record, whatever the width of the data words.

#include <cstdint>
#include <cstring>

#include "xaudio/xaudio.h"

static_assert(offsetof(XA_Message, code) == 0);
static_assert(sizeof(void*) != 4 || sizeof(XA_Message) == 16, "the 32-bit record is 16 bytes");
static_assert(sizeof(void*) != 8 || (sizeof(XA_Message) == 32 && offsetof(XA_Message, data) == 8),
              "the 64-bit record widens each data word to 8 bytes");

namespace xa_fields {

inline std::uint8_t* BytePtr(XA_Message& m, int offset) {
  return reinterpret_cast<std::uint8_t*>(&m.data[(offset - 4) / 4]) + (offset - 4) % 4;
}
inline const std::uint8_t* BytePtr(const XA_Message& m, int offset) {
  return reinterpret_cast<const std::uint8_t*>(&m.data[(offset - 4) / 4]) + (offset - 4) % 4;
}

inline std::uint8_t Byte(const XA_Message& m, int offset) { return *BytePtr(m, offset); }
inline std::uint16_t U16(const XA_Message& m, int offset) {
  const std::uint8_t* p = BytePtr(m, offset);
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t S16(const XA_Message& m, int offset) { return static_cast<std::int16_t>(U16(m, offset)); }
inline std::uint32_t U32(const XA_Message& m, int offset) {
  const std::uint8_t* p = BytePtr(m, offset);
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
// Texts and records: the whole word at a word-aligned wire offset (4, 8 or 12).
inline const char* Text(const XA_Message& m, int offset) {
  return reinterpret_cast<const char*>(m.data[(offset - 4) / 4]);
}
inline void* Pointer(const XA_Message& m, int offset) {
  return reinterpret_cast<void*>(m.data[(offset - 4) / 4]);
}

inline void SetByte(XA_Message& m, int offset, std::uint8_t v) { *BytePtr(m, offset) = v; }
inline void SetU16(XA_Message& m, int offset, std::uint16_t v) {
  std::uint8_t* p = BytePtr(m, offset);
  p[0] = static_cast<std::uint8_t>(v & 0xFF);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void SetU32(XA_Message& m, int offset, std::uint32_t v) {
  std::uint8_t* p = BytePtr(m, offset);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void SetPointer(XA_Message& m, int offset, const void* v) {
  m.data[(offset - 4) / 4] = reinterpret_cast<uintptr_t>(v);
}

}  // namespace xa_fields
