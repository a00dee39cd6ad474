// The message window: posts from any thread arrive on the GUI thread, in
// order; a released window takes nothing more.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/MessageWindow.h"
#include "platform/post_message.h"

namespace {

struct Received {
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
  bool onGuiThread;
};

void Pump() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

TEST(MessageWindow, PostsFromManyThreadsArriveOnTheGuiThreadInTheirOrder) {
  std::vector<Received> got;
  MessageWindow window([&](uint32_t m, uintptr_t w, intptr_t l) {
    got.push_back({m, w, l, QThread::currentThread() == QCoreApplication::instance()->thread()});
  });
  ASSERT_NE(window.Handle(), 0u);
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) EXPECT_EQ(platform_post_message(window.Handle(), 100 + t, i, -i), 1);
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_TRUE(got.empty()) << "nothing arrives before the event loop runs";
  Pump();
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kThreads * kEach));
  std::vector<uintptr_t> next(kThreads, 0);
  for (const Received& r : got) {
    ASSERT_GE(r.message, 100u);
    const std::size_t t = r.message - 100;
    EXPECT_EQ(r.wparam, next[t]) << "thread " << t << " out of order";
    EXPECT_EQ(r.lparam, -static_cast<intptr_t>(r.wparam));
    EXPECT_TRUE(r.onGuiThread);
    next[t] = r.wparam + 1;
  }
}

TEST(MessageWindow, AReleasedWindowDropsWhatWasQueuedAndRefusesNewPosts) {
  int calls = 0;
  auto window = std::make_unique<MessageWindow>([&](uint32_t, uintptr_t, intptr_t) { ++calls; });
  const uint32_t handle = window->Handle();
  EXPECT_EQ(platform_post_message(handle, 1, 0, 0), 1);
  EXPECT_EQ(platform_post_message(handle, 2, 0, 0), 1);
  window.reset();
  Pump();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(platform_post_message(handle, 3, 0, 0), 0);
  EXPECT_EQ(platform_post_message(0xFFFFFFFFu, 3, 0, 0), 0);
}

TEST(MessageWindow, ADetachedWindowCallsNothing) {
  int calls = 0;
  MessageWindow window([&](uint32_t, uintptr_t, intptr_t) { ++calls; });
  platform_post_message(window.Handle(), 1, 0, 0);
  window.Detach();
  Pump();
  EXPECT_EQ(calls, 0);
}

TEST(MessageWindow, EachWindowHasItsOwnHandle) {
  int a = 0;
  int b = 0;
  MessageWindow wa([&](uint32_t, uintptr_t, intptr_t) { ++a; });
  MessageWindow wb([&](uint32_t, uintptr_t, intptr_t) { ++b; });
  EXPECT_NE(wa.Handle(), wb.Handle());
  platform_post_message(wb.Handle(), 1, 0, 0);
  Pump();
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
}

TEST(MessageWindow, PostsRacingWithTheReleaseNeverReachAFreedWindow) {
  for (int round = 0; round < 20; ++round) {
    std::atomic<bool> stop{false};
    auto window = std::make_unique<MessageWindow>([](uint32_t, uintptr_t, intptr_t) {});
    const uint32_t handle = window->Handle();
    std::thread poster([&] {
      while (!stop) platform_post_message(handle, 1, 0, 0);
    });
    Pump();
    window.reset();  // the sanitizer build catches any post that reaches the freed window
    EXPECT_EQ(platform_post_message(handle, 1, 0, 0), 0);
    stop = true;
    poster.join();
    Pump();
  }
}

}  // namespace
