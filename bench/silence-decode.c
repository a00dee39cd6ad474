/* libmpg123 decoding alone, as split --silence sets it up (16-bit samples at
 * the stream's rate, gapless, one frame at a time into the library's own
 * buffer), with nothing done to the samples: the reference that the silence
 * search is measured against. Prints the decoded sample frames.
 *
 *   silence-decode FILE */
#include <mpg123.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  int err = MPG123_OK;
  mpg123_init();
  mpg123_handle* h = mpg123_new(NULL, &err);
  if (h == NULL) return 1;
  mpg123_param(h, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
  mpg123_format_none(h);
  const long* rates = NULL;
  size_t count = 0;
  mpg123_rates(&rates, &count);
  for (size_t i = 0; i < count; ++i) mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open(h, argv[1]) != MPG123_OK) return 1;
  long long samples = 0;
  int channels = 2;
  for (;;) {
    off_t num = 0;
    unsigned char* audio = NULL;
    size_t bytes = 0;
    const int r = mpg123_decode_frame(h, &num, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) {
      long rate = 0;
      int encoding = 0;
      mpg123_getformat(h, &rate, &channels, &encoding);
      continue;
    }
    if (r == MPG123_DONE) break;
    if (r != MPG123_OK) return 1;
    samples += (long long)(bytes / 2 / (size_t)channels);
  }
  printf("%lld\n", samples);
  mpg123_close(h);
  mpg123_delete(h);
  return 0;
}
