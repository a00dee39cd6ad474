#include "stream/FrameHeader.h"

// Bit rates in kbps. First index: VersionId & 1 (1 MPEG-1, 0 MPEG-2).
// Second index: Layer - 1 as coded (0 Layer III, 1 Layer II, 2 Layer I).
// Index 0 is free format and 15 is forbidden; a valid header reaches neither.
const std::int32_t BitRateTable[2][3][16] = {
    {
        // MPEG-2 (ISO/IEC 13818-3, lower sampling frequencies)
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},       // Layer III
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},       // Layer II
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},  // Layer I
    },
    {
        // MPEG-1 (ISO/IEC 11172-3)
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // Layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // Layer II
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // Layer I
    },
};

// Sampling frequencies in Hz, [VersionId][SampleRateIndex]. Only the MPEG-1
// and MPEG-2 rows are reachable from a valid header.
const std::int32_t SampleRateTable[4][3] = {
    {11025, 12000, 8000},   // MPEG 2.5
    {0, 0, 0},              // reserved
    {22050, 24000, 16000},  // MPEG-2
    {44100, 48000, 32000},  // MPEG-1
};

// Read with fixed offsets: version VersionId + 2, layer Layer + 6, mode
// Mode + 10, copyright Copyright + 14, original Original + 16. Emphasis codes
// (18 to 21) and the first no/yes pair are kept for completeness.
const char* const StreamInfoNames[22] = {
    "No", "Yes", "MPEG Audio 2.5", "reserved",     "MPEG 2",       "MPEG 1",         "reserved", "III",
    "II", "I",   "Stereo",         "Joint-Stereo", "Dual Channel", "Single Channel", "No",       "Yes",
    "No", "Yes", "none",           "50/15 ms",     "reserved",     "CCIT J.17",
};
