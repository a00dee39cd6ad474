#include "gapless/JoinReach.h"

#include <cstring>

#include "gapless/GaplessPlan.h"
#include "gapless/GaplessStream.h"

bool MeasureCopyStart(SourceFile& source, const FrameHeader& reference, std::int64_t startFrame, CopyStart& start,
                      std::string& error) {
  start = CopyStart{};
  if (reference.Invalid || reference.Layer != 1) return true;
  GaplessStream stream;
  if (!ReadGaplessStream(source, reference, stream, error, false)) return false;
  const std::int64_t audio = startFrame - stream.FirstAudioFrame;
  if (audio <= 0) return true;
  std::vector<ReservoirReach> reach;
  WalkAround around;
  around.PlacesFrom = around.PlacesTo = audio;
  if (!MeasureReservoir(source, reference, stream, {audio}, reach, error, &around)) return false;
  start.Damaged = DamagedLeadingFrames(stream, audio, reach[0]);
  start.Reservoir = std::move(reach[0].Carried);
  if (!around.Places.empty() && around.Places[0].Index == startFrame) {
    start.Resume.Position = around.Places[0].Position;
    start.Resume.Index = around.Places[0].Index;
    std::memcpy(start.Resume.Header, around.Places[0].Header, 4);
  }
  return true;
}
