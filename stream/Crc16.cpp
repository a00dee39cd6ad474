#include "stream/Crc16.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KERFWELL_CRC_CLMUL 1
#endif

namespace {

// Slices[k][b] is the CRC of byte b followed by k zero bytes.
struct CrcTable {
  std::uint16_t Entries[256];
  std::uint16_t Slices[8][256];
  constexpr CrcTable() : Entries(), Slices() {
    for (int i = 0; i < 256; ++i) {
      std::uint16_t c = static_cast<std::uint16_t>(i);
      for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? static_cast<std::uint16_t>(c >> 1 ^ 0xA001) : c >> 1;
      Entries[i] = c;
      Slices[0][i] = c;
    }
    for (int k = 1; k < 8; ++k) {
      for (int i = 0; i < 256; ++i) {
        const std::uint16_t prev = Slices[k - 1][i];
        Slices[k][i] = static_cast<std::uint16_t>(prev >> 8 ^ Entries[prev & 0xFF]);
      }
    }
  }
};
constexpr CrcTable kCrcTable;

#ifdef KERFWELL_CRC_CLMUL

// x^n modulo x^16 + x^15 + x^2 + 1, as a 64-bit lane of reflected bits: the
// coefficient of x^d sits in bit 63 - d. Multiplied without carries by a lane
// of message bits (bit u holding x^(63 - u)), it gives bit w the coefficient
// of x^(126 - w); read as a 128-bit block of the message (bit w holding
// x^(127 - w)) that is one x more, which the exponent leaves out.
constexpr std::uint64_t FoldConstant(unsigned n) {
  std::uint32_t r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x10000) r ^= 0x18005;
  }
  std::uint64_t lane = 0;
  for (int d = 0; d < 16; ++d)
    if (r >> d & 1) lane |= std::uint64_t{1} << (63 - d);
  return lane;
}

// Moving a block of 128 message bits forward by `bits`: its first 64 bits
// are worth x^(bits + 64), the others x^bits (less the one x above).
struct Fold {
  std::uint64_t First;
  std::uint64_t Second;
};
constexpr Fold kFold128{FoldConstant(128 + 63), FoldConstant(128 - 1)};
constexpr Fold kFold512{FoldConstant(512 + 63), FoldConstant(512 - 1)};
constexpr Fold kFold256{FoldConstant(256 + 63), FoldConstant(256 - 1)};
constexpr Fold kFold1024{FoldConstant(1024 + 63), FoldConstant(1024 - 1)};

__attribute__((target("pclmul,sse4.1"))) inline __m128i FoldForward(__m128i block, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(block, constants, 0x00),
                       _mm_clmulepi64_si128(block, constants, 0x11));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Blocks congruent to what they replace keep the CRC: the message is folded
// down to one block of 16 bytes at the place of the last whole one, and the
// tables finish that block and the bytes after it. Needs 64 bytes at least.
__attribute__((target("pclmul,sse4.1"))) std::uint16_t Crc16Folded(const std::uint8_t* data,
                                                                   std::size_t length, std::uint16_t crc) {
  const __m128i by512 =
      _mm_set_epi64x(static_cast<long long>(kFold512.Second), static_cast<long long>(kFold512.First));
  const __m128i by128 =
      _mm_set_epi64x(static_cast<long long>(kFold128.Second), static_cast<long long>(kFold128.First));
  // A CRC that does not start from 0 is the same as those bits added to the
  // message's first ones.
  __m128i x0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(crc));
  __m128i x1 = Load(data + 16);
  __m128i x2 = Load(data + 32);
  __m128i x3 = Load(data + 48);
  std::size_t at = 64;
  for (; at + 64 <= length; at += 64) {
    x0 = _mm_xor_si128(FoldForward(x0, by512), Load(data + at));
    x1 = _mm_xor_si128(FoldForward(x1, by512), Load(data + at + 16));
    x2 = _mm_xor_si128(FoldForward(x2, by512), Load(data + at + 32));
    x3 = _mm_xor_si128(FoldForward(x3, by512), Load(data + at + 48));
  }
  __m128i x = _mm_xor_si128(FoldForward(x0, by128), x1);
  x = _mm_xor_si128(FoldForward(x, by128), x2);
  x = _mm_xor_si128(FoldForward(x, by128), x3);
  for (; at + 16 <= length; at += 16) x = _mm_xor_si128(FoldForward(x, by128), Load(data + at));
  std::uint8_t last[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(last), x);
  return Crc16ByTables(data + at, length - at, Crc16ByTables(last, sizeof last, 0));
}

// The same with two blocks to a register where the processor multiplies
// both at once: four registers of 32 bytes fold 128 bytes a step, twice the
// bytes of the loop above for the same number of instructions. Needs 128
// bytes at least.
__attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1"))) inline __m256i FoldForwardWide(__m256i block,
                                                                                        __m256i constants) {
  return _mm256_xor_si256(_mm256_clmulepi64_epi128(block, constants, 0x00),
                          _mm256_clmulepi64_epi128(block, constants, 0x11));
}

__attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1"))) inline __m256i LoadWide(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1"))) inline __m256i BothBlocks(const Fold& fold) {
  return _mm256_broadcastsi128_si256(
      _mm_set_epi64x(static_cast<long long>(fold.Second), static_cast<long long>(fold.First)));
}

__attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1"))) std::uint16_t Crc16FoldedWide(
    const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
  const __m256i by1024 = BothBlocks(kFold1024);
  const __m256i by256 = BothBlocks(kFold256);
  const __m128i by128 =
      _mm_set_epi64x(static_cast<long long>(kFold128.Second), static_cast<long long>(kFold128.First));
  // Each register holds two blocks of 16 bytes, one after the other; a step
  // moves every block forward by the four registers' 128 bytes.
  __m256i y0 = _mm256_xor_si256(LoadWide(data), _mm256_zextsi128_si256(_mm_cvtsi32_si128(crc)));
  __m256i y1 = LoadWide(data + 32);
  __m256i y2 = LoadWide(data + 64);
  __m256i y3 = LoadWide(data + 96);
  std::size_t at = 128;
  for (; at + 128 <= length; at += 128) {
    y0 = _mm256_xor_si256(FoldForwardWide(y0, by1024), LoadWide(data + at));
    y1 = _mm256_xor_si256(FoldForwardWide(y1, by1024), LoadWide(data + at + 32));
    y2 = _mm256_xor_si256(FoldForwardWide(y2, by1024), LoadWide(data + at + 64));
    y3 = _mm256_xor_si256(FoldForwardWide(y3, by1024), LoadWide(data + at + 96));
  }
  // Each register's blocks moved forward by 32 bytes onto the next one's,
  // then the last register's two blocks into one.
  y1 = _mm256_xor_si256(FoldForwardWide(y0, by256), y1);
  y2 = _mm256_xor_si256(FoldForwardWide(y1, by256), y2);
  y3 = _mm256_xor_si256(FoldForwardWide(y2, by256), y3);
  __m128i x = _mm_xor_si128(FoldForward(_mm256_castsi256_si128(y3), by128), _mm256_extracti128_si256(y3, 1));
  for (; at + 16 <= length; at += 16) x = _mm_xor_si128(FoldForward(x, by128), Load(data + at));
  std::uint8_t last[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(last), x);
  return Crc16ByTables(data + at, length - at, Crc16ByTables(last, sizeof last, 0));
}

bool CanFoldWide() {
  static const bool can = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("vpclmulqdq") &&
                          __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return can;
}

bool CanFold() {
  static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return can;
}

#endif

}  // namespace

std::uint16_t Crc16ByTables(const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
  std::size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    const std::uint8_t* b = data + i;
    const auto& t = kCrcTable.Slices;
    crc =
        static_cast<std::uint16_t>(t[7][(b[0] ^ crc) & 0xFF] ^ t[6][(b[1] ^ (crc >> 8)) & 0xFF] ^ t[5][b[2]] ^
                                   t[4][b[3]] ^ t[3][b[4]] ^ t[2][b[5]] ^ t[1][b[6]] ^ t[0][b[7]]);
  }
  for (; i < length; ++i)
    crc = static_cast<std::uint16_t>(crc >> 8 ^ kCrcTable.Entries[(crc ^ data[i]) & 0xFF]);
  return crc;
}

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
#ifdef KERFWELL_CRC_CLMUL
  if (length >= 128 && CanFoldWide()) return Crc16FoldedWide(data, length, crc);
  if (length >= 64 && CanFold()) return Crc16Folded(data, length, crc);
#endif
  return Crc16ByTables(data, length, crc);
}
