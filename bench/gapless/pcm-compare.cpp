// pcm-compare WHOLE CUT CHANNELS FROM TO: compares the 16-bit samples of CUT
// (raw, interleaved) with samples [FROM, TO) of WHOLE (per channel; TO -1 for
// the end). Prints: samples expected largest-difference differing-samples,
// over the length the two have in common.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

static std::vector<std::int16_t> Read(const char* path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return pcm;
}

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: pcm-compare WHOLE CUT CHANNELS FROM TO\n");
    return 2;
  }
  const std::vector<std::int16_t> whole = Read(argv[1]), cut = Read(argv[2]);
  const long long channels = std::atoll(argv[3]), from = std::atoll(argv[4]);
  long long to = std::atoll(argv[5]);
  if (to < 0) to = static_cast<long long>(whole.size()) / channels;
  const long long samples = static_cast<long long>(cut.size()) / channels, expected = to - from;
  long long common = (samples < expected ? samples : expected) * channels, differing = 0;
  int largest = 0;
  for (long long i = 0; i < common; ++i) {
    const int d = std::abs(cut[static_cast<std::size_t>(i)] - whole[static_cast<std::size_t>(from * channels + i)]);
    if (d > largest) largest = d;
    differing += d != 0;
  }
  std::printf("%lld %lld %d %lld\n", samples, expected, largest, differing);
  return 0;
}
