#include "cli/XingFinish.h"

#include "stream/Scanner.h"
#include "stream/XingFrame.h"

bool FinishXingFrame(const std::string& output, bool keepEndPadding, bool newOutput, std::string& error) {
  const XingResult r = UpdateOutputXingFrame(output, keepEndPadding, error);
  if (r == XingResult::Failed) return false;
  if (r == XingResult::Updated || !newOutput) return true;
  // A Xing frame is a Layer III frame: other layers stay as they are.
  FrameHeader first;
  if (!ProbeFile(output, first) || first.Layer != 1 || !HoldsSeveralBitRates(output)) return true;
  return PrependXingFrame(output, error);
}
