// Every link kind through the one Link interface and the link state: what a send
// returns, whether the printer can answer, the document framing, what a failed send
// does to the link, and what the state says when the kind has no open link.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "link/network_link.h"
#include "link/send_data.h"
#include "link/virtual_link.h"
#include "tests/rigs/network_printer.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using testing::Bytes;
using testing::FromHex;

// Opens a link of the row's kind and makes it the one SendData writes to. Returns the
// recording when the back end records (the failure cases need one), null otherwise.
using Opener = std::shared_ptr<testing::Recording> (*)(rigs::SimNetworkPrinter& printer);

struct KindCase {
  LinkKind kind;
  Opener open;
  bool answers;              // Replies() is there: the printer can answer
  bool keeps_documents;      // StartDocument and EndDocument reach the device
  bool closes_after_failed;  // a failed send ends the document and closes the link
  const char* absent_reason;
  bool absent_takes_empty_send;
  bool absent_refuses_documents;
};

std::shared_ptr<testing::Recording> Recorder(LinkKind kind) {
  return testing::OpenRecordingLink(kind);
}

const KindCase kKinds[] = {
    {LinkKind::Parallel, [](rigs::SimNetworkPrinter&) { return Recorder(LinkKind::Parallel); },
     false, false, false, "the port I/O library is not loaded", true, false},
    {LinkKind::Serial, [](rigs::SimNetworkPrinter&) { return Recorder(LinkKind::Serial); }, true,
     false, false, "no serial device is open", false, false},
    {LinkKind::PrintQueue, [](rigs::SimNetworkPrinter&) { return Recorder(LinkKind::PrintQueue); },
     false, true, true, "the print queue was closed after a failure", false, true},
    {LinkKind::Usb, [](rigs::SimNetworkPrinter&) { return Recorder(LinkKind::Usb); }, false, false,
     false, "no USB device is open", false, false},
    {LinkKind::Network,
     [](rigs::SimNetworkPrinter& printer) -> std::shared_ptr<testing::Recording> {
       ResetLinkState();
       EXPECT_TRUE(OpenNetworkPrinter(printer.Address(), {}));
       Links().Kind = LinkKind::Network;
       return nullptr;
     },
     true, false, false, "no network printer is connected", false, false},
    {LinkKind::Virtual,
     [](rigs::SimNetworkPrinter&) -> std::shared_ptr<testing::Recording> {
       ResetLinkState();
       std::string why;
       EXPECT_TRUE(OpenVirtualLink(576, &why)) << why;
       Links().Kind = LinkKind::Virtual;
       return nullptr;
     },
     true, false, false, "the virtual printer is closed", false, false},
};

int32_t Send(const Bytes& b) {
  return SendData(b.data(), static_cast<int32_t>(b.size()));
}

class LinkInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(printer_.Start(rigs::SimNetworkPrinter::Family::IPv4, 0, &error)) << error;
  }
  void TearDown() override {
    ResetLinkState();
    ForgetVirtualPrinter();
    printer_.Stop();
  }
  // What the open link answers through the interface, under the link lock.
  struct Seen {
    LinkKind kind = LinkKind::None;
    bool answers = false;
    bool closes_after_failed = false;
  };
  static Seen Look() {
    std::lock_guard lock(Links().mutex);
    Seen seen;
    if (Link* link = CurrentLink(Links())) {
      seen.kind = link->kind();
      seen.answers = link->Replies() != nullptr;
      seen.closes_after_failed = link->ClosesAfterFailedSend();
    }
    return seen;
  }

  testing::ScopedTempDir dir_;
  testing::MessageRecorder messages_;
  rigs::SimNetworkPrinter printer_;
};

TEST_F(LinkInterfaceTest, EveryKindOpenSendsFramesAndAnswersAsItsRowSays) {
  const Bytes payload = FromHex("1B 40 0A");
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(::testing::Message() << "kind " << c.kind);
    auto rec = c.open(printer_);
    const Seen seen = Look();
    EXPECT_EQ(seen.kind, c.kind);
    EXPECT_EQ(OpenLinkKind(), c.kind);
    EXPECT_EQ(seen.answers, c.answers);
    EXPECT_EQ((OpenReplyChannel(Links()) != nullptr), c.answers);
    EXPECT_EQ(seen.closes_after_failed, c.closes_after_failed);

    ASSERT_TRUE(StartJobDocument());
    EXPECT_EQ(Send(payload), 0);
    EXPECT_EQ(SendData(nullptr, 0), 0);
    EndJobDocument();
    EXPECT_EQ(OpenLinkKind(), c.kind);  // a good document leaves the link open
    if (rec != nullptr) {
      EXPECT_EQ(rec->All(), payload);
      EXPECT_EQ(rec->starts, c.keeps_documents ? 1 : 0);
      EXPECT_EQ(rec->ends, c.keeps_documents ? 1 : 0);
    }
  }
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(LinkInterfaceTest, AFailedSendClosesOnlyTheLinksThatSaySo) {
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(::testing::Message() << "kind " << c.kind);
    auto rec = c.open(printer_);
    if (rec == nullptr) continue;  // the real devices' failures have tests of their own
    // The first write fails, every later one is taken (a failed write records no call,
    // so the index stays 0: count the writes instead).
    rec->accept = [writes = 0](size_t) mutable { return writes++ != 0; };
    EXPECT_EQ(Send(FromHex("0A")), -1);
    EXPECT_EQ(rec->destroyed, c.closes_after_failed);
    EXPECT_EQ(rec->ends, c.closes_after_failed ? 1 : 0);
    EXPECT_EQ(OpenLinkKind(), c.closes_after_failed ? LinkKind::None : c.kind);
    EXPECT_EQ(Links().Kind, c.kind);  // the kind in force stays; only the link went
    // A closed link takes nothing more and no call reaches its device; an open one
    // takes the next bytes.
    EXPECT_EQ(Send(FromHex("0A")), c.closes_after_failed ? -1 : 0);
    EXPECT_EQ(rec->Calls().size(), c.closes_after_failed ? 0u : 1u);
    // The recorder's device gives no words of its own, so none follow the reason.
    if (c.closes_after_failed) EXPECT_EQ(LinkFailureReason(), c.absent_reason);
  }
}

TEST_F(LinkInterfaceTest, AKindWithNoOpenLinkSaysWhyAndTakesNothing) {
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(::testing::Message() << "kind " << c.kind);
    ResetLinkState();
    Links().Kind = c.kind;
    EXPECT_EQ(LinkFailureReason(), c.absent_reason);
    EXPECT_EQ(Send(FromHex("0A")), -1);
    EXPECT_EQ(SendData(nullptr, 0), c.absent_takes_empty_send ? 0 : -1);
    EXPECT_EQ(StartJobDocument(), !c.absent_refuses_documents);
    EXPECT_EQ(OpenReplyChannel(Links()), nullptr);
  }
  ResetLinkState();
  EXPECT_EQ(LinkFailureReason(), "no link is open");
  EXPECT_EQ(Send(FromHex("0A")), -1);
}

TEST_F(LinkInterfaceTest, ALinkOfAnotherKindThanTheOneInForceTakesNoBytes) {
  auto rec = testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Usb;
  EXPECT_EQ(Send(FromHex("0A")), -1);
  EXPECT_TRUE(rec->Calls().empty());
  EXPECT_EQ(LinkFailureReason(), "no USB device is open");
  CloseLinkOf(LinkKind::Usb);  // a close of another kind leaves the link open
  EXPECT_EQ(OpenLinkKind(), LinkKind::Serial);
  CloseOpenLink();
  EXPECT_TRUE(rec->destroyed);
  EXPECT_EQ(Links().Kind, LinkKind::None);
}

}  // namespace
}  // namespace tillvane
