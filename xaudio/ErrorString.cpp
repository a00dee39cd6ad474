#include "xaudio/xaudio.h"

extern "C" const char* xaudio_error_string(int code) {
  switch (code) {
    case XA_SUCCESS:
      return "success";
    case XA_FAILURE:
      return "failure";
    case XA_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case XA_ERROR_INVALID_PARAMETERS:
      return "invalid parameters";
    case XA_ERROR_NO_SUCH_FILE:
      return "file not found";
    case XA_ERROR_OPEN_FAILED:
      return "cannot open file";
    case XA_ERROR_NOT_MPEG_AUDIO:
      return "not an MPEG audio stream";
    case XA_ERROR_NO_INPUT:
      return "no input open";
    case XA_ERROR_NO_OUTPUT:
      return "no output available";
    case XA_ERROR_OUTPUT_OPEN_FAILED:
      return "cannot open audio output";
    case XA_ERROR_UNKNOWN_MODULE:
      return "unknown module";
    case XA_ERROR_SEEK_FAILED:
      return "seek failed";
    case XA_ERROR_DECODE_FAILED:
      return "decoding failed";
    case XA_ERROR_UNSUPPORTED_COMMAND:
      return "unsupported command";
    case XA_ERROR_NO_PLAYER:
      return "no player";
    case XA_ERROR_QUEUE_FULL:
      return "command queue full";
    case XA_ERROR_NO_SUCH_VARIABLE:
      return "no such environment variable";
    default:
      return "unknown error";
  }
}
