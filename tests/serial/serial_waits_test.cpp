// The link's waits on modem lines and on the output queue, driven by scripted status
// readers in place of the ioctls.
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "link/serial/serial_device.h"

namespace tillvane::serial {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(SerialDsrWait, OutputWaitsUntilThePrinterRaisesDsr) {
  int calls = 0;
  auto status = [&](int* bits) {
    *bits = ++calls < 4 ? TIOCM_CTS : (TIOCM_CTS | TIOCM_DSR);
    return 0;
  };
  int err = 0;
  EXPECT_EQ(WaitForDsr(status, Clock::now() + milliseconds(5000), 1, &err), DsrWait::Ready);
  EXPECT_EQ(calls, 4);
}

TEST(SerialDsrWait, DsrLowUntilTheDeadlineTimesOut) {
  int calls = 0;
  auto status = [&](int* bits) {
    ++calls;
    *bits = TIOCM_CTS | TIOCM_CD;
    return 0;
  };
  int err = 0;
  const auto deadline = Clock::now() + milliseconds(60);
  EXPECT_EQ(WaitForDsr(status, deadline, 5, &err), DsrWait::TimedOut);
  EXPECT_GE(Clock::now(), deadline);
  EXPECT_GT(calls, 1);
  // A deadline already passed still samples once: a printer that is ready goes ahead.
  auto ready = [](int* bits) {
    *bits = TIOCM_DSR;
    return 0;
  };
  EXPECT_EQ(WaitForDsr(ready, Clock::now() - milliseconds(1), 5, &err), DsrWait::Ready);
}

TEST(SerialDsrWait, RefusedStatusMeansNoLinesOrAFailure) {
  for (int e : {ENOTTY, EINVAL, EIO}) {
    auto status = [e](int*) {
      errno = e;
      return -1;
    };
    int err = 0;
    EXPECT_EQ(WaitForDsr(status, Clock::now() + milliseconds(1000), 1, &err),
              e == EIO ? DsrWait::Failed : DsrWait::NoLines);
    EXPECT_EQ(err, e);
  }
}

TEST(SerialCloseDrain, MovingOutputIsLetOutAndStalledOutputIsGivenUp) {
  // Shrinks by one every sample: drains fully, however long that takes overall.
  int queued = 40;
  auto moving = [&](int* count) {
    *count = queued > 0 ? queued-- : 0;
    return 0;
  };
  EXPECT_TRUE(DrainWhileMoving(moving, 1, 20));
  EXPECT_EQ(queued, 0);

  int samples = 0;
  auto stalled = [&](int* count) {
    ++samples;
    *count = 17;
    return 0;
  };
  EXPECT_FALSE(DrainWhileMoving(stalled, 2, 30));
  EXPECT_GT(samples, 2);

  auto refused = [](int*) {
    errno = ENOTTY;
    return -1;
  };
  EXPECT_TRUE(DrainWhileMoving(refused, 1, 1000));
  auto empty = [](int* count) {
    *count = 0;
    return 0;
  };
  EXPECT_TRUE(DrainWhileMoving(empty, 1000, 1000));  // no sleep when nothing is queued
}

}  // namespace
}  // namespace tillvane::serial
