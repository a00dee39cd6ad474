#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16 as the LAME extension uses it (polynomial 0x8005, bits reflected,
// starting from 0); pass the result back in to go on. The music CRC runs over
// every audio byte an output gets, so on processors that multiply without
// carries it folds 64 bytes a step and takes tables only for the last few.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length, std::uint16_t crc = 0);

// The same by tables alone, eight bytes a step: what Crc16 falls back on.
std::uint16_t Crc16ByTables(const std::uint8_t* data, std::size_t length, std::uint16_t crc = 0);
