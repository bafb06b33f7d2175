#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "link/send_data.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using testing::Bytes;
using testing::FromHex;
namespace fs = std::filesystem;

class SendDataTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetLinkState(); }
  testing::ScopedTempDir dir_;
  testing::MessageRecorder messages_;
};

int32_t Send(const Bytes& b) {
  return SendData(b.data(), static_cast<int32_t>(b.size()));
}

TEST_F(SendDataTest, EachLinkTakesTheBytesUnchanged) {
  const Bytes payload = FromHex("1B 40 00 FF 0A 00");
  for (LinkKind kind :
       {LinkKind::Parallel, LinkKind::Serial, LinkKind::PrintQueue, LinkKind::Usb}) {
    auto r = testing::OpenRecordingLink(kind);
    EXPECT_EQ(Send(payload), 0) << kind;
    ASSERT_EQ(r->Calls().size(), 1u) << kind;
    EXPECT_EQ(r->Calls()[0], payload) << kind;
  }
  EXPECT_FALSE(fs::exists(kCommandFileName));
}

TEST_F(SendDataTest, FailedWritesGiveMinusOne) {
  for (LinkKind kind : {LinkKind::Parallel, LinkKind::Serial, LinkKind::Usb}) {
    auto r = testing::OpenRecordingLink(kind);
    r->accept = [](size_t) { return false; };
    EXPECT_EQ(Send(FromHex("0A")), -1) << kind;
  }
}

TEST_F(SendDataTest, ZeroLengthSucceedsOnEveryLinkThatReportsZero) {
  for (LinkKind kind : {LinkKind::Parallel, LinkKind::Serial, LinkKind::Usb}) {
    testing::OpenRecordingLink(kind);
    EXPECT_EQ(SendData(nullptr, 0), 0) << kind;
  }
}

TEST_F(SendDataTest, ParallelWithoutLibraryFailsButZeroBytesStillCount) {
  ResetLinkState();
  Links().Kind = LinkKind::Parallel;
  EXPECT_EQ(Send(FromHex("0A")), -1);
  EXPECT_EQ(SendData(nullptr, 0), 0);
}

TEST_F(SendDataTest, FailedQueueWriteEndsDocumentClosesQueueAndLaterSendsFailAtOnce) {
  auto r = testing::OpenRecordingLink(LinkKind::PrintQueue);
  r->accept = [](size_t i) { return i == 0; };
  EXPECT_EQ(Send(FromHex("0A")), 0);
  EXPECT_EQ(Send(FromHex("0A")), -1);
  EXPECT_EQ(r->ends, 1);
  EXPECT_TRUE(r->destroyed);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(Send(FromHex("0A")), -1);
  EXPECT_EQ(r->ends, 1);
  EXPECT_EQ(Links().Kind, LinkKind::PrintQueue);
}

TEST_F(SendDataTest, QueueCountWrittenIsNotCompared) {
  auto r = testing::OpenRecordingLink(LinkKind::PrintQueue);
  EXPECT_EQ(SendData(nullptr, 0), 0);
}

TEST_F(SendDataTest, NoLinkSucceedsOnlyWhenTheCommandFileTookTheBytes) {
  ResetLinkState();
  EXPECT_EQ(Send(FromHex("0A")), -1);
  Links().PrintToFile = true;
  EXPECT_EQ(Send(FromHex("0A 0B")), 0);
  EXPECT_EQ(testing::ReadFileBytes(kCommandFileName), FromHex("0A 0B"));
  fs::remove(kCommandFileName);
  fs::create_directory(kCommandFileName);  // cannot be opened as a file
  EXPECT_EQ(Send(FromHex("0A")), -1);
  ASSERT_EQ(messages_.Messages().size(), 1u);
  EXPECT_EQ(messages_.Messages()[0], "打开文件 \"Commands.dat\"出错！");
}

TEST_F(SendDataTest, CommandFileHoldsEveryCallInOrderAndTheLinkStillGetsThem) {
  auto r = testing::OpenRecordingLink(LinkKind::Serial);
  Links().PrintToFile = true;
  testing::WriteFileBytes(kCommandFileName, FromHex("AA"));  // earlier runs are kept
  EXPECT_EQ(Send(FromHex("1B 40")), 0);
  EXPECT_EQ(SendData(nullptr, 0), 0);
  EXPECT_EQ(Send(FromHex("00 00 7F")), 0);
  EXPECT_EQ(testing::ReadFileBytes(kCommandFileName), FromHex("AA 1B 40 00 00 7F"));
  EXPECT_EQ(r->All(), FromHex("1B 40 00 00 7F"));
}

TEST_F(SendDataTest, BytesOfAFailedSendAreStillInTheCommandFile) {
  auto r = testing::OpenRecordingLink(LinkKind::Serial);
  r->accept = [](size_t) { return false; };
  Links().PrintToFile = true;
  EXPECT_EQ(Send(FromHex("1D 72 01")), -1);
  EXPECT_EQ(testing::ReadFileBytes(kCommandFileName), FromHex("1D 72 01"));
}

TEST_F(SendDataTest, UnopenableCommandFileWarnsOnEveryCallAndTheLinkWriteStillHappens) {
  auto r = testing::OpenRecordingLink(LinkKind::Usb);
  Links().PrintToFile = true;
  // Another holder of the file keeps it from being opened without sharing.
  int holder = ::open(kCommandFileName, O_RDWR | O_CREAT, 0666);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  EXPECT_EQ(Send(FromHex("0A")), 0);
  EXPECT_EQ(Send(FromHex("0B")), 0);
  ::close(holder);
  EXPECT_EQ(Send(FromHex("0C")), 0);
  EXPECT_EQ(messages_.Messages().size(), 2u);
  EXPECT_EQ(r->All(), FromHex("0A 0B 0C"));
  EXPECT_EQ(testing::ReadFileBytes(kCommandFileName), FromHex("0C"));
}

TEST_F(SendDataTest, CommandFileIsEmptiedAtTheSizeBoundOnly) {
  testing::OpenRecordingLink(LinkKind::Serial);
  Links().PrintToFile = true;
  // Sparse files: the size counts, not the blocks.
  {
    int fd = ::open(kCommandFileName, O_RDWR | O_CREAT, 0666);
    ASSERT_EQ(::ftruncate(fd, kCommandFileLimit - 1), 0);
    ::close(fd);
  }
  EXPECT_EQ(Send(FromHex("01 02")), 0);
  EXPECT_EQ(fs::file_size(kCommandFileName), static_cast<uintmax_t>(kCommandFileLimit + 1));
  {
    int fd = ::open(kCommandFileName, O_RDWR, 0666);
    ASSERT_EQ(::ftruncate(fd, kCommandFileLimit), 0);
    ::close(fd);
  }
  EXPECT_EQ(Send(FromHex("03 04")), 0);
  EXPECT_EQ(testing::ReadFileBytes(kCommandFileName), FromHex("03 04"));
}

TEST_F(SendDataTest, ConcurrentSendersNeverInterleaveWithinACall) {
  auto r = testing::OpenRecordingLink(LinkKind::Serial);
  Links().PrintToFile = true;
  const Bytes a(64, 0xAA), b(64, 0xBB);
  auto run = [](const Bytes& bytes) {
    for (int i = 0; i < 200; ++i) Send(bytes);
  };
  std::thread t1(run, a), t2(run, b);
  t1.join();
  t2.join();
  Bytes file = testing::ReadFileBytes(kCommandFileName);
  ASSERT_EQ(file.size(), 400u * 64u);
  for (size_t call = 0; call < 400; ++call) {
    for (size_t i = 1; i < 64; ++i) ASSERT_EQ(file[call * 64 + i], file[call * 64]) << call;
  }
  EXPECT_EQ(r->Calls().size(), 400u);
}

}  // namespace
}  // namespace tillvane
