// The print-queue link against a real, private CUPS daemon: listing, raw documents
// byte for byte, and what happens when the server fails or refuses.
#include "link/print_queue.h"

#include <cups/cups.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "link/link_state.h"
#include "link/queue/cups_queue.h"
#include "link/send_data.h"
#include "tests/rigs/cups_rig.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using rigs::CupsRig;
using testing::Bytes;

constexpr int kWaitMs = 20000;

// Every byte value, several times over, so that a document crosses libcups' send
// buffer more than once.
Bytes AllByteValues(int rounds) {
  Bytes bytes;
  for (int r = 0; r < rounds; ++r) {
    for (int v = 0; v < 256; ++v) bytes.push_back(static_cast<uint8_t>((v * 7 + r) & 0xFF));
  }
  return bytes;
}

// Sends one byte per call, as the command-file stream does; returns the index of the
// first failed send, or -1 when every send succeeded.
int SendByteByByte(const Bytes& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (SendData(&bytes[i], 1) != 0) return static_cast<int>(i);
  }
  return -1;
}

// Sockets this process holds open.
int OpenSockets() {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (dirent* entry = ::readdir(dir)) {
    char target[64] = {};
    std::string link = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t n = ::readlink(link.c_str(), target, sizeof(target) - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)).rfind("socket:", 0) == 0) ++count;
  }
  ::closedir(dir);
  return count;
}

class PrintQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLinkState();
    ASSERT_TRUE(rig_.Ready()) << rig_.Error();
  }
  void TearDown() override { ResetLinkState(); }

  std::filesystem::path AddQueue(const std::string& name) {
    std::filesystem::path out = rig_.AddRawQueue(name);
    EXPECT_FALSE(out.empty()) << rig_.Error();
    return out;
  }

  // Opens the queue the way the port page does and selects the link.
  void Open(const std::string& name) {
    ASSERT_TRUE(OpenPrintQueue(name));
    Links().Kind = LinkKind::PrintQueue;
  }

  CupsRig rig_;
};

TEST_F(PrintQueueTest, ListsMatchingQueuesInServerOrder) {
  // Created out of order; the server answers by name, without regard to case.
  AddQueue("Vorn_B_Receipt");
  AddQueue("Other_Printer");
  AddQueue("Vorn_A_Receipt");
  AddQueue("vornlower");

  std::vector<std::string> names = {"stale"};
  EXPECT_EQ(ListPrintQueues("Vorn", names), 2);
  EXPECT_EQ(names, (std::vector<std::string>{"Vorn_A_Receipt", "Vorn_B_Receipt"}));

  EXPECT_EQ(ListPrintQueues("", names), 4);
  EXPECT_EQ(names, (std::vector<std::string>{"Other_Printer", "Vorn_A_Receipt", "Vorn_B_Receipt",
                                             "vornlower"}));

  // The server answered, so a text that matches nothing empties the list.
  EXPECT_EQ(ListPrintQueues("Receipt_", names), 0);
  EXPECT_TRUE(names.empty());
}

TEST_F(PrintQueueTest, ServerWithoutQueuesEmptiesTheList) {
  std::vector<std::string> names = {"stale"};
  EXPECT_EQ(ListPrintQueues("", names), 0);
  EXPECT_TRUE(names.empty());
}

TEST_F(PrintQueueTest, NoServerLeavesTheListUnchanged) {
  AddQueue("Vorn_Receipt");
  rig_.StopDaemon();
  std::vector<std::string> names = {"kept", "also kept"};
  EXPECT_EQ(ListPrintQueues("", names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "also kept"}));
  EXPECT_FALSE(OpenPrintQueue("Vorn_Receipt"));
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
}

TEST_F(PrintQueueTest, EveryByteValueArrivesUnchangedAsOneJob) {
  const auto out = AddQueue("Vorn_Raw");
  Open("Vorn_Raw");
  const Bytes document = AllByteValues(20);  // 5120 bytes, 0x00 included

  ASSERT_TRUE(StartJobDocument());
  ASSERT_EQ(SendByteByByte(Bytes(document.begin(), document.begin() + 1000)), -1);
  // A send of no bytes in the middle must not end the document early.
  EXPECT_EQ(SendData(document.data(), 0), 0);
  ASSERT_EQ(SendByteByByte(Bytes(document.begin() + 1000, document.end())), -1);
  EndJobDocument();
  EXPECT_TRUE((OpenLinkKind() == LinkKind::PrintQueue));

  ASSERT_TRUE(rig_.WaitForOutput(out, document.size(), kWaitMs)) << rig_.ErrorLog();
  EXPECT_EQ(rigs::ReadAll(out), document);
  const std::vector<CupsRig::Job> jobs = rig_.Jobs("Vorn_Raw");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].title, "My Document");
  EXPECT_EQ(jobs[0].format, "application/vnd.cups-raw");
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED);

  // The queue stays open for the next job, which follows the first unchanged.
  const Bytes second = {0x1B, 0x40, 0x00, 0x0A, 0xFF};
  ASSERT_TRUE(StartJobDocument());
  ASSERT_EQ(SendData(second.data(), static_cast<int32_t>(second.size())), 0);
  EndJobDocument();
  ASSERT_TRUE(rig_.WaitForOutput(out, document.size() + second.size(), kWaitMs));
  Bytes both = document;
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_EQ(rigs::ReadAll(out), both);
  EXPECT_EQ(rig_.JobCount("Vorn_Raw"), 2);
}

TEST_F(PrintQueueTest, DocumentWrittenFromAWorkerThread) {
  // Started and ended on this thread, written on another, as the background jobs do.
  const auto out = AddQueue("Vorn_Worker");
  Open("Vorn_Worker");
  const Bytes document = AllByteValues(10);
  ASSERT_TRUE(StartJobDocument());
  int failed_at = 0;
  std::thread worker([&] { failed_at = SendByteByByte(document); });
  worker.join();
  EXPECT_EQ(failed_at, -1);
  EndJobDocument();
  ASSERT_TRUE(rig_.WaitForOutput(out, document.size(), kWaitMs));
  EXPECT_EQ(rigs::ReadAll(out), document);
}

TEST_F(PrintQueueTest, DaemonStoppedMidDocumentClosesTheQueue) {
  AddQueue("Vorn_Dies");
  Open("Vorn_Dies");
  ASSERT_TRUE(StartJobDocument());
  const Bytes document = AllByteValues(40);  // well past libcups' send buffer
  ASSERT_EQ(SendByteByByte(Bytes(document.begin(), document.begin() + 100)), -1);
  rig_.StopDaemon();

  const int failed_at = SendByteByByte(document);
  ASSERT_NE(failed_at, -1) << "writes kept succeeding with no server";
  // The failed write ended the document and closed the queue.
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(Links().Kind, LinkKind::PrintQueue);
  EXPECT_EQ(SendData(document.data(), 1), -1);
  EndJobDocument();  // the sender's end finds the queue closed and leaves it alone
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
}

TEST_F(PrintQueueTest, ShortDocumentOnAStoppedDaemonFailsAtItsEnd) {
  AddQueue("Vorn_Short");
  Open("Vorn_Short");
  ASSERT_TRUE(StartJobDocument());
  rig_.StopDaemon();
  // Fits libcups' buffer, so the failure shows only when the document ends.
  const Bytes document = AllByteValues(1);
  EXPECT_EQ(SendByteByByte(document), -1);
  EndJobDocument();
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(SendData(document.data(), 1), -1);
}

TEST_F(PrintQueueTest, ServerThatStopsAnsweringFailsInsteadOfHanging) {
  const auto out = AddQueue("Vorn_Frozen");
  std::unique_ptr<CupsQueue> queue = CupsQueue::Open("Vorn_Frozen", 1.0);
  ASSERT_TRUE(queue);
  ASSERT_TRUE(queue->StartDocument());
  rig_.PauseDaemon();
  // Far more than the socket holds; the writes must give up once it is full.
  const Bytes block(64 * 1024, 0x55);
  bool failed = false;
  for (int i = 0; i < 256 && !failed; ++i) {
    failed = !queue->Write(block.data(), static_cast<int32_t>(block.size()));
  }
  EXPECT_TRUE(failed);
  EXPECT_FALSE(queue->EndDocument());
  // The frozen server could not be told to drop the job; closing tells it once it
  // answers again.
  rig_.ResumeDaemon();
  queue.reset();
  EXPECT_EQ(rig_.ActiveJobCount("Vorn_Frozen"), 0);
  EXPECT_TRUE(rigs::ReadAll(out).empty());
}

TEST_F(PrintQueueTest, QueueDeletedMidDocumentLeavesNoJob) {
  const auto out = AddQueue("Vorn_Gone");
  Open("Vorn_Gone");
  ASSERT_TRUE(StartJobDocument());
  const Bytes document = AllByteValues(40);
  ASSERT_EQ(SendByteByByte(Bytes(document.begin(), document.begin() + 100)), -1);
  ASSERT_TRUE(rig_.DeleteQueue("Vorn_Gone")) << rig_.Error();

  // The server may refuse the rest at once or only when the document ends.
  if (SendByteByByte(document) == -1) EndJobDocument();
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(SendData(document.data(), 1), -1);
  EXPECT_EQ(rig_.ActiveJobCount(""), 0);
  EXPECT_TRUE(rigs::ReadAll(out).empty());
}

TEST_F(PrintQueueTest, RejectingQueueFailsTheStartAndClosesTheQueue) {
  const auto out = AddQueue("Vorn_Rejects");
  ASSERT_TRUE(rig_.RejectJobs("Vorn_Rejects")) << rig_.Error();
  Open("Vorn_Rejects");  // a queue that refuses jobs still opens
  EXPECT_FALSE(StartJobDocument());
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  const uint8_t lf = 0x0A;
  EXPECT_EQ(SendData(&lf, 1), -1);
  EXPECT_EQ(rig_.JobCount("Vorn_Rejects"), 0);

  // Accepting again needs the port page to open the queue again.
  ASSERT_TRUE(rig_.AcceptJobs("Vorn_Rejects"));
  Open("Vorn_Rejects");
  ASSERT_TRUE(StartJobDocument());
  ASSERT_EQ(SendData(&lf, 1), 0);
  EndJobDocument();
  ASSERT_TRUE(rig_.WaitForOutput(out, 1, kWaitMs));
  EXPECT_EQ(rigs::ReadAll(out), Bytes{0x0A});
}

TEST_F(PrintQueueTest, DocumentTheServerRefusesClosesTheQueueAndLeavesNoJob) {
  const auto out = AddQueue("Vorn_Refuses");
  ASSERT_TRUE(rig_.SetOperationPolicy("Vorn_Refuses", "refuse-documents")) << rig_.Error();
  Open("Vorn_Refuses");
  ASSERT_TRUE(StartJobDocument());
  const Bytes document = AllByteValues(1);
  ASSERT_EQ(SendData(document.data(), static_cast<int32_t>(document.size())), 0);
  EndJobDocument();  // the server refuses the document here
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(SendData(document.data(), 1), -1);
  // The job the server created for it does not wait for a document that never comes.
  EXPECT_EQ(rig_.ActiveJobCount("Vorn_Refuses"), 0);
  const std::vector<CupsRig::Job> jobs = rig_.Jobs("Vorn_Refuses");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_CANCELED);
  EXPECT_TRUE(rigs::ReadAll(out).empty());
}

TEST_F(PrintQueueTest, WritesOutsideADocumentNeverReachTheServer) {
  const auto out = AddQueue("Vorn_NoDoc");
  std::unique_ptr<CupsQueue> queue = CupsQueue::Open("Vorn_NoDoc");
  ASSERT_TRUE(queue);
  const uint8_t lf = 0x0A;
  EXPECT_FALSE(queue->Write(&lf, 1));
  EXPECT_FALSE(queue->EndDocument());

  // Through the send path the failed write closes the queue, as any failed write does.
  Open("Vorn_NoDoc");
  EXPECT_EQ(SendData(&lf, 1), -1);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(rig_.JobCount("Vorn_NoDoc"), 0);
  EXPECT_TRUE(rigs::ReadAll(out).empty());
}

TEST_F(PrintQueueTest, ClosingWithADocumentOpenCancelsItsJob) {
  const auto out = AddQueue("Vorn_Closed");
  Open("Vorn_Closed");
  ASSERT_TRUE(StartJobDocument());
  const Bytes document = AllByteValues(2);
  ASSERT_EQ(SendByteByByte(document), -1);
  CloseLinkOf(LinkKind::PrintQueue);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(rig_.ActiveJobCount("Vorn_Closed"), 0);
  ASSERT_TRUE(rig_.WaitForJobs(kWaitMs));
  EXPECT_TRUE(rigs::ReadAll(out).empty());
}

TEST_F(PrintQueueTest, MissingQueueDoesNotOpen) {
  AddQueue("Vorn_Here");
  EXPECT_FALSE(OpenPrintQueue("Vorn_Not_Here"));
  EXPECT_FALSE(OpenPrintQueue(""));  // never the server's default queue
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
}

TEST_F(PrintQueueTest, ApplyingTwiceClosesTheFirstQueueBeforeOpeningTheSecond) {
  const auto out_a = AddQueue("Vorn_First");
  const auto out_b = AddQueue("Vorn_Second");
  const int before = OpenSockets();
  Open("Vorn_First");
  EXPECT_EQ(OpenSockets(), before + 1);
  const uint8_t a = 'A';
  ASSERT_TRUE(StartJobDocument());
  ASSERT_EQ(SendData(&a, 1), 0);
  EndJobDocument();

  // What the port page does on the next apply.
  CloseLinkOf(LinkKind::PrintQueue);
  EXPECT_EQ(OpenSockets(), before);
  Open("Vorn_Second");
  EXPECT_EQ(OpenSockets(), before + 1);
  const uint8_t b = 'B';
  ASSERT_TRUE(StartJobDocument());
  ASSERT_EQ(SendData(&b, 1), 0);
  EndJobDocument();

  ASSERT_TRUE(rig_.WaitForOutput(out_b, 1, kWaitMs));
  EXPECT_EQ(rigs::ReadAll(out_a), Bytes{'A'});
  EXPECT_EQ(rigs::ReadAll(out_b), Bytes{'B'});
  CloseLinkOf(LinkKind::PrintQueue);
  EXPECT_EQ(OpenSockets(), before);
}

TEST_F(PrintQueueTest, LongQueueNameIsPassedWhole) {
  const std::string long_name = "Vorn_Receipt_Printer_On_The_Front_Counter_Left_2";
  ASSERT_GE(long_name.size(), 40u);
  // A queue named by the first 29 characters must not receive the job.
  const auto out_short = AddQueue(long_name.substr(0, 29));
  const auto out_long = AddQueue(long_name);
  Open(long_name);
  const Bytes document = AllByteValues(1);
  ASSERT_TRUE(StartJobDocument());
  ASSERT_EQ(SendData(document.data(), static_cast<int32_t>(document.size())), 0);
  EndJobDocument();
  ASSERT_TRUE(rig_.WaitForOutput(out_long, document.size(), kWaitMs));
  EXPECT_EQ(rigs::ReadAll(out_long), document);
  EXPECT_TRUE(rigs::ReadAll(out_short).empty());
  EXPECT_EQ(rig_.JobCount(long_name), 1);
}

// No daemon at all: the socket named does not exist.
TEST(PrintQueueNoServerTest, ListingWithoutAnyServerKeepsTheList) {
  testing::ScopedTempDir dir;
  const std::string socket = (dir.path() / "absent.sock").string();
  cupsSetServer(socket.c_str());
  std::vector<std::string> names = {"kept"};
  EXPECT_EQ(ListPrintQueues("", names), 0);
  EXPECT_EQ(names, std::vector<std::string>{"kept"});
  EXPECT_FALSE(OpenPrintQueue("kept"));
  cupsSetServer(nullptr);
}

}  // namespace
}  // namespace tillvane
