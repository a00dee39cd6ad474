// Measures a player over real playback: CPU time of the process, and how the
// position notifications keep time with the frames decoded and heard.
//   xaudio_measure FILE SECONDS [silent|system]

#include <sys/resource.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageWindow.h"
#include "xaudio/MessageFields.h"
#include "xaudio/xaudio.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Run {
  XA_Player* player = nullptr;
  std::map<uint32_t, Clock::time_point> decoded;  // frame -> arrival of "decoded frame N"
  std::vector<std::pair<uint32_t, Clock::time_point>> positions;
  bool ended = false;
  int errors = 0;
  int rate = 0;
  int samples_per_frame = 1152;
};

// Runs the event loop as a window would, blocked until events come, for
// `ms` or until `done` holds.
void Pump(int ms, const std::function<bool()>& done) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  check.start(50);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s FILE SECONDS [silent|system]\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const int seconds = std::atoi(argv[2]);
  const bool silent = argc > 3 && std::strcmp(argv[3], "silent") == 0;
  if (silent) {
    setenv("KERFWELL_AUDIO_OUTPUT", "silent", 1);
  } else {
    unsetenv("KERFWELL_AUDIO_OUTPUT");
  }
  QCoreApplication app(argc, argv);

  Run run;
  MessageWindow window([&](uint32_t message, uintptr_t wparam, intptr_t lparam) {
    XA_Message m;
    control_win32_params_to_message(run.player, &m, message, wparam, lparam);
    const auto now = Clock::now();
    if (m.code == XA_MSG_NOTIFY_INPUT_POSITION) run.positions.emplace_back(xa_fields::U32(m, 4), now);
    if (m.code == XA_MSG_NOTIFY_PLAYER_STATE && xa_fields::Byte(m, 4) == XA_PLAYER_STATE_EOF)
      run.ended = true;
    if (m.code == XA_MSG_NOTIFY_INPUT_STREAM_INFO) {
      run.rate = xa_fields::U16(m, 8);
      const int level = xa_fields::Byte(m, 4), layer = xa_fields::Byte(m, 5);
      run.samples_per_frame = layer == 1 ? 384 : (layer == 3 && level > 1) ? 576 : 1152;
    }
    if (m.code == XA_MSG_NOTIFY_ERROR) {
      ++run.errors;
      std::printf("error notification: %s\n", xa_fields::Text(m, 8));
    }
    if (m.code == XA_MSG_NOTIFY_DEBUG) {
      unsigned frame = 0;
      if (std::sscanf(xa_fields::Text(m, 8), "decoded frame %u", &frame) == 1) run.decoded[frame] = now;
    }
  });
  uint32_t handle = window.Handle();
  if (player_new(&run.player, &handle) != 0) return 1;
  control_message_send_S(run.player, XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER,
                         "dsound_output_module_register@xa_dsound_output.dll");
  control_message_send_S(run.player, XA_MSG_SET_OUTPUT_NAME, "/dev/dsound/0");
  control_message_send_S(run.player, XA_MSG_COMMAND_INPUT_OPEN, path.c_str());
  Pump(3000, [] { return false; });  // open, scan, settle

  // 1. CPU over `seconds` of playback, positions on, nothing else.
  const double cpu0 = CpuSeconds();
  const auto wall0 = Clock::now();
  control_message_send_N(run.player, XA_MSG_COMMAND_PLAY);
  Pump(seconds * 1000, [&] { return run.ended; });
  const double cpu = CpuSeconds() - cpu0;
  const double wall = Ms(Clock::now() - wall0) / 1000;
  control_message_send_N(run.player, XA_MSG_COMMAND_STOP);
  Pump(300, [] { return false; });
  std::printf("output %s: %.1f s played, CPU %.3f s = %.2f %% of one core, %zu positions\n",
              silent ? "silent" : "system", wall, cpu, 100 * cpu / wall, run.positions.size());

  // 2. Lag. With a range much finer than the frames, every frame heard gives
  // exactly one position notification, so the i-th position after a seek to
  // the start is frame i: compare it with the arrival of "decoded frame i",
  // and with the audio clock (position 0's arrival + i frame durations).
  control_message_send_I(run.player, XA_MSG_SET_DEBUG_LEVEL, 2);
  control_message_send_I(run.player, XA_MSG_SET_INPUT_POSITION_RANGE, 1 << 30);
  control_message_send_II(run.player, XA_MSG_COMMAND_INPUT_SEEK, 0, 1);
  Pump(300, [] { return false; });
  run.positions.clear();
  run.decoded.clear();
  run.ended = false;
  control_message_send_N(run.player, XA_MSG_COMMAND_PLAY);
  Pump(10000, [&] { return run.ended; });
  control_message_send_N(run.player, XA_MSG_COMMAND_STOP);
  Pump(300, [] { return false; });

  std::vector<double> behind_decode, off_clock;
  const double frame_ms = 1000.0 * run.samples_per_frame / std::max(1, run.rate);
  for (size_t i = 0; i < run.positions.size(); ++i) {
    auto it = run.decoded.find(static_cast<uint32_t>(i));
    if (it != run.decoded.end()) behind_decode.push_back(Ms(run.positions[i].second - it->second));
    off_clock.push_back(Ms(run.positions[i].second - run.positions[0].second) -
                        static_cast<double>(i) * frame_ms);
  }
  auto report = [](const char* what, std::vector<double> v) {
    if (v.empty()) return;
    std::sort(v.begin(), v.end());
    std::printf("%s: min %.1f ms, median %.1f ms, p95 %.1f ms, max %.1f ms (%zu frames)\n", what, v.front(),
                v[v.size() / 2], v[v.size() * 95 / 100], v.back(), v.size());
  };
  report("position after decode", behind_decode);
  report("position against the audio clock", off_clock);
  if (std::getenv("XAUDIO_MEASURE_TRACE") != nullptr) {
    for (size_t i = 0; i < run.positions.size() && i < 12; ++i)
      std::printf("position %zu at %.1f ms\n", i, Ms(run.positions[i].second - run.positions[0].second));
  }
  player_delete(run.player);
  return run.errors == 0 ? 0 : 3;
}
