#pragma once

#include <QString>
#include <cstdint>

// "hh : mm . ss", each part with at least two digits and a negative part with
// its sign ahead of the zero-padded digits ("00 : 00 . -05").
QString TimeText(std::int64_t hours, std::int64_t minutes, std::int64_t seconds);

// "current  from  total".
QString PositionText(std::int64_t current, std::int64_t total);
