#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/posfun.h"
#include "config/current_model.h"
#include "documents/ticket.h"
#include "documents/ticket56.h"
#include "link/link_state.h"
#include "link/send_data.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using testing::Bytes;
using testing::FromHex;
using testing::ToHex;
namespace fs = std::filesystem;

struct Document {
  const char* name;
  int32_t (*print)(int32_t);
  size_t size;      // bytes with an empty model name and a full cut
  int name_copies;  // how often the model name is printed
  int pages;        // feeds and cuts
  bool narrow;
};

const std::vector<Document>& Documents() {
  static const std::vector<Document> docs = {
      {"SampleTicket", SampleTicket, 168, 1, 1, false},
      {"LogoTicket", LogoTicket, 138, 1, 1, false},
      {"FontBarcodeTicket", FontBarcodeTicket, 437, 1, 1, false},
      {"TwoPartTicket", TwoPartTicket, 1236, 2, 2, false},
      {"CleanReceiptTicket", CleanReceiptTicket, 2086, 1, 1, false},
      {"AtmTicket", AtmTicket, 411, 1, 1, false},
      {"AccountTicket", AccountTicket, 982, 0, 1, false},
      {"WideAccountTicket", WideAccountTicket, 625, 0, 1, false},
      {"SampleTicket56", SampleTicket56, 162, 1, 1, true},
      {"LogoTicket56", LogoTicket56, 121, 1, 1, true},
      {"FontBarcodeTicket56", FontBarcodeTicket56, 368, 1, 1, true},
      {"TwoPartTicket56", TwoPartTicket56, 1105, 2, 2, true},
      {"CleanReceiptTicket56", CleanReceiptTicket56, 2127, 1, 1, true},
      {"AtmTicket56", AtmTicket56, 363, 1, 1, true},
      {"AccountTicket56", AccountTicket56, 716, 0, 1, true},
      {"WideAccountTicket56", WideAccountTicket56, 424, 0, 1, true},
  };
  return docs;
}

void SetLogos(bool l1, bool l2, bool l3) {
  RamLogoLoaded()[0] = l1;
  RamLogoLoaded()[1] = l2;
  RamLogoLoaded()[2] = l3;
}

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCurrentModel("", 80);
    SetLogos(false, false, false);
  }
  void TearDown() override {
    ResetLinkState();
    SetCurrentModel("", 80);
    SetLogos(false, false, false);
  }

  // Prints the document on a recording serial link and returns its calls.
  std::vector<Bytes> Record(const Document& d, int32_t cutter_mode = 0) {
    auto rec = testing::OpenRecordingLink(LinkKind::Serial);
    EXPECT_EQ(d.print(cutter_mode), 0) << d.name;
    return rec->Calls();
  }

  testing::ScopedTempDir dir_;
  testing::MessageRecorder messages_;
};

TEST_F(DocumentTest, SizesWithEmptyModelNameAndFullCut) {
  for (const Document& d : Documents()) {
    EXPECT_EQ(testing::Join(Record(d)).size(), d.size) << d.name;
  }
}

TEST_F(DocumentTest, SampleTicketIsExactlyItsBytes) {
  const Bytes expected = FromHex(
      "1D 50 B4 B4 1B 46 00 1B 45 00 1D 21 10 1B 20 00 1B 33 00 1D 21 00 1B 4C"
      "1B 57 00 00 00 00 00 02 96 01 1B 54 00 18 1B 24 64 00 1D 24 64 00 1D 21 10"
      "1B 24 28 00 1D 5C 3C 00 50 4F 53 20 54 68 65 72 6D 61 6C 20 50 72 69 6E 74 65 72"
      "1D 21 00 1B 24 C8 00 1D 5C 50 00 45 61 73 79 20 74 6F 20 6C 6F 61 64"
      "1B 24 CE 00 1D 5C 28 00 45 61 73 79 20 74 6F 20 75 73 65"
      "1B 24 78 00 1D 5C 50 00"
      "54 68 65 20 4C 65 61 64 65 72 20 66 6F 72 20 50 72 69 6E 74 65 72 20 53 6F 6C 75 74 69 "
      "6F 6E 0A 1B 0C 18 15 FF 1D 56 30 1B 53");
  ASSERT_EQ(expected.size(), 168u);
  EXPECT_EQ(ToHex(testing::Join(Record(Documents()[0]))), ToHex(expected));
}

TEST_F(DocumentTest, NarrowLogoTicketPrintsOnlyLoadedLogos) {
  const Document& logo56 = Documents()[9];
  const Bytes none = testing::Join(Record(logo56));
  EXPECT_EQ(none.size(), 121u);

  SetLogos(false, true, false);
  const Bytes second = testing::Join(Record(logo56));
  ASSERT_EQ(second.size(), 121u + 14u);
  // Its own position commands, then GS # 2, GS / 0.
  const Bytes logo2 = FromHex("1B 24 5A 00 1D 5C 96 00 1D 23 02 1D 2F 30");
  EXPECT_NE(std::search(second.begin(), second.end(), logo2.begin(), logo2.end()), second.end());

  SetLogos(true, false, true);
  EXPECT_EQ(testing::Join(Record(logo56)).size(), 121u + 28u);
  SetLogos(true, true, true);
  EXPECT_EQ(testing::Join(Record(logo56)).size(), 163u);
}

TEST_F(DocumentTest, ModelNameAddsItsBytesWherePrinted) {
  const std::string model = "TV-80\xB4";  // bytes from the configuration file, unchanged
  for (const Document& d : Documents()) {
    SetCurrentModel("", 80);
    const size_t plain = testing::Join(Record(d)).size();
    SetCurrentModel(model, d.narrow ? 56 : 80);
    const std::vector<Bytes> calls = Record(d);
    EXPECT_EQ(testing::Join(calls).size(), plain + d.name_copies * model.size()) << d.name;

    // The name goes out one byte per call, as many times as the document prints it.
    int found = 0;
    for (size_t i = 0; i + model.size() <= calls.size(); ++i) {
      bool match = true;
      for (size_t k = 0; k < model.size() && match; ++k)
        match = calls[i + k] == Bytes{static_cast<uint8_t>(model[k])};
      found += match;
    }
    EXPECT_EQ(found, d.name_copies) << d.name;
  }
}

// Calls of the full-cut run with each cut replaced (or dropped when `cut` is empty).
std::vector<Bytes> WithCut(std::vector<Bytes> calls, const Bytes& cut) {
  const Bytes full = FromHex("1D 56 30");
  std::vector<Bytes> out;
  for (Bytes& c : calls) {
    if (c == full) {
      if (!cut.empty()) out.push_back(cut);
    } else {
      out.push_back(std::move(c));
    }
  }
  return out;
}

TEST_F(DocumentTest, CutterModes) {
  const Bytes feed = FromHex("15"), partial = FromHex("1D 56 31");
  for (const Document& d : Documents()) {
    const std::vector<Bytes> full = Record(d, 0);
    EXPECT_EQ(std::count(full.begin(), full.end(), FromHex("1D 56 30")), d.pages) << d.name;
    EXPECT_EQ(std::count(full.begin(), full.end(), feed), d.pages) << d.name;
    EXPECT_EQ(Record(d, 1), WithCut(full, partial)) << d.name;
    // Any mode but 0 and 1 drops the cut; the feed stays.
    for (int32_t mode : {2, -1, 7}) {
      const std::vector<Bytes> none = Record(d, mode);
      EXPECT_EQ(none, WithCut(full, {})) << d.name << " mode " << mode;
      EXPECT_EQ(testing::Join(none).size(), d.size - 3 * d.pages) << d.name;
    }
  }
}

TEST_F(DocumentTest, FinishTicketStopsAtItsFirstFailure) {
  struct Case {
    int32_t mode;
    int refused;  // index of the refused write
    int attempts;
    std::string sent;
  };
  const Case cases[] = {
      {0, 0, 1, ""},       // the feed's code byte: nothing more, no cut
      {0, 1, 2, "15"},     // the feed's count
      {0, 2, 3, "15 FF"},  // the full cut
      {1, 2, 3, "15 FF"},  // the partial cut
      {2, 1, 2, "15"},     // no cut: only the feed
  };
  for (const Case& c : cases) {
    auto rec = testing::OpenRecordingLink(LinkKind::Serial);
    int attempts = 0;
    rec->accept = [&](size_t) { return attempts++ != c.refused; };
    EXPECT_EQ(FinishTicket(c.mode), -1) << c.mode << " at " << c.refused;
    EXPECT_EQ(attempts, c.attempts) << c.mode << " at " << c.refused;
    EXPECT_EQ(ToHex(rec->All()), c.sent) << c.mode << " at " << c.refused;
  }
  auto rec = testing::OpenRecordingLink(LinkKind::Serial);
  EXPECT_EQ(FinishTicket(2), 0);
  EXPECT_EQ(ToHex(rec->All()), "15 FF");
}

TEST_F(DocumentTest, FirstCommandDecides) {
  for (const Document& d : Documents()) {
    auto rec = testing::OpenRecordingLink(LinkKind::Serial);
    int attempts = 0;
    rec->accept = [&](size_t) {
      ++attempts;
      return false;
    };
    EXPECT_EQ(d.print(0), -1) << d.name;
    EXPECT_EQ(attempts, 1) << d.name;
  }
}

// Refuses write `refused` of a document on a recording link of `kind`: the document
// reports the failure and nothing after the refused write is offered to the link.
std::shared_ptr<testing::Recording> ExpectStopsAt(const Document& d, const std::vector<Bytes>& full,
                                                  LinkKind kind, int refused) {
  auto rec = testing::OpenRecordingLink(kind);
  if (kind == LinkKind::PrintQueue) EXPECT_TRUE(StartJobDocument());
  int attempts = 0;
  rec->accept = [&](size_t) { return attempts++ != refused; };
  EXPECT_EQ(d.print(0), -1) << d.name << " at " << refused;
  EXPECT_EQ(attempts, refused + 1) << d.name << " at " << refused;
  const std::vector<Bytes> got = rec->Calls();
  EXPECT_EQ(got.size(), static_cast<size_t>(refused)) << d.name << " at " << refused;
  EXPECT_TRUE(got.size() <= full.size() && std::equal(got.begin(), got.end(), full.begin()))
      << d.name << " at " << refused;
  return rec;
}

TEST_F(DocumentTest, AFailedSendEndsTheDocument) {
  for (const Document& d : Documents()) {
    const std::vector<Bytes> full = Record(d);
    const int n = static_cast<int>(full.size());
    // The first command's trailing bytes, the second builder, the middle, the feed
    // and cut of the end, the very last call.
    for (int refused : {1, 2, 3, n / 3, n / 2, n - 4, n - 3, n - 2, n - 1})
      ExpectStopsAt(d, full, LinkKind::Serial, refused);
  }
}

TEST_F(DocumentTest, EveryCallOfTheSampleCanEndIt) {
  const Document& sample = Documents()[0];
  const std::vector<Bytes> full = Record(sample);
  for (int refused = 0; refused < static_cast<int>(full.size()); ++refused)
    ExpectStopsAt(sample, full, LinkKind::Serial, refused);
}

TEST_F(DocumentTest, AFailedSendEndsTheDocumentOnEveryLink) {
  for (const Document& d : Documents()) {
    const std::vector<Bytes> full = Record(d);
    const int refused = static_cast<int>(full.size() / 2);
    for (LinkKind kind :
         {LinkKind::Parallel, LinkKind::Serial, LinkKind::PrintQueue, LinkKind::Usb}) {
      auto rec = ExpectStopsAt(d, full, kind, refused);
      if (kind == LinkKind::PrintQueue) {
        // The failed write ended the queue's document and closed the queue.
        EXPECT_EQ(rec->ends, 1) << d.name;
        EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue)) << d.name;
      }
    }
  }
}

TEST_F(DocumentTest, AFailedDocumentLeavesOnlyItsSentBytesInTheCommandFile) {
  for (const Document& d : Documents()) {
    const std::vector<Bytes> full = Record(d);
    const size_t refused = full.size() / 2;
    auto rec = testing::OpenRecordingLink(LinkKind::Serial);
    Links().PrintToFile = true;
    fs::remove(kCommandFileName);
    size_t attempts = 0;
    rec->accept = [&](size_t) { return attempts++ != refused; };
    EXPECT_EQ(d.print(0), -1) << d.name;
    // The copy goes first, so the refused call is in the file; nothing after it.
    const Bytes file = testing::ReadFileBytes(kCommandFileName);
    const Bytes expected = testing::Join({full.begin(), full.begin() + refused + 1});
    EXPECT_EQ(file, expected) << d.name;
  }
}

TEST_F(DocumentTest, ADocumentAfterAFailedOneIsWholeAgain) {
  const Document& sample = Documents()[0];
  const std::vector<Bytes> full = Record(sample);
  ExpectStopsAt(sample, full, LinkKind::Serial, 10);
  // The link takes everything again: the next document and a lone builder go out whole.
  auto rec = testing::OpenRecordingLink(LinkKind::Serial);
  EXPECT_EQ(sample.print(0), 0);
  EXPECT_EQ(InitializePrinter(), 0);
  std::vector<Bytes> expected = full;
  expected.push_back(FromHex("1B 40"));
  EXPECT_EQ(rec->Calls(), expected);
}

// A serial port that throws on one write.
class ThrowingSerial : public SerialBackend {
 public:
  ThrowingSerial(int throw_at, int* writes) : throw_at_(throw_at), writes_(writes) {}
  int32_t Write(const uint8_t*, int32_t length) override {
    if ((*writes_)++ == throw_at_) throw std::runtime_error("device vanished");
    return length;
  }
  bool Purge() override { return true; }
  int32_t ReceiveQueueCount() override { return 0; }

 private:
  int throw_at_;
  int* writes_;
};

TEST_F(DocumentTest, AnExceptionEndsTheDocumentWithMinusOne) {
  for (const Document& d : Documents()) {
    for (int at : {0, 1, 40}) {
      ResetLinkState();
      int writes = 0;
      SetLink(std::make_unique<ThrowingSerial>(at, &writes));
      Links().Kind = LinkKind::Serial;
      EXPECT_EQ(d.print(0), -1) << d.name << " at " << at;
      EXPECT_EQ(writes, at + 1) << d.name << " at " << at;  // nothing after the throw
    }
  }
}

TEST_F(DocumentTest, EachDocumentLandsWholeInTheCommandFile) {
  for (const Document& d : Documents()) {
    const Bytes sent = testing::Join(Record(d));
    ResetLinkState();
    Links().PrintToFile = true;  // and no link at all
    fs::remove(kCommandFileName);
    EXPECT_EQ(d.print(0), 0) << d.name;
    EXPECT_EQ(testing::ReadFileBytes(kCommandFileName), sent) << d.name;
  }
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(DocumentTest, HowDocumentsBeginAndEnd) {
  const Bytes units = FromHex("1D 50"), standard = FromHex("1B 53");
  for (const Document& d : Documents()) {
    const std::vector<Bytes> calls = Record(d);
    ASSERT_GE(calls.size(), 3u);
    const std::string first = ToHex(calls[0]) + " " + ToHex(calls[1]) + " " + ToHex(calls[2]);
    const auto standards = std::count(calls.begin(), calls.end(), standard);
    if (d.narrow) {
      EXPECT_EQ(first.substr(0, 8), "1B 46 00") << d.name;
      EXPECT_EQ(std::count(calls.begin(), calls.end(), units), 0) << d.name;
      // Only the two standard-mode documents select it, right after the opening.
      const std::string name = d.name;
      const bool standard_mode = name == "FontBarcodeTicket56" || name == "CleanReceiptTicket56";
      EXPECT_EQ(standards, standard_mode ? 1 : 0) << d.name;
    } else {
      EXPECT_EQ(first, "1D 50 B4 B4") << d.name;
      EXPECT_EQ(std::count(calls.begin(), calls.end(), units), 1) << d.name;
    }
    // Page-mode documents of the 80 mm set return to standard mode last.
    const std::string name = d.name;
    if (!d.narrow && name != "CleanReceiptTicket") {
      EXPECT_EQ(calls.back(), standard) << d.name;
    }
  }
}

TEST_F(DocumentTest, TwoPartTicket56EntersPageModeThreeTimes) {
  const std::vector<Bytes> calls = Record(Documents()[11]);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), FromHex("1B 4C")), 3);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), FromHex("0C")), 2);
}

// The recorded calls of every document, compared with tests/golden/<name>.calls (one
// call per line in hex) and <name>.bin (the joined bytes). TILLVANE_UPDATE_GOLDEN=1
// writes the files instead.
TEST_F(DocumentTest, GoldenFiles) {
  struct Variant {
    std::string file;
    const Document* doc;
    bool logos;
  };
  std::vector<Variant> variants;
  for (const Document& d : Documents()) variants.push_back({d.name, &d, false});
  variants.push_back({"LogoTicket56_all_logos", &Documents()[9], true});

  const bool write = std::getenv("TILLVANE_UPDATE_GOLDEN") != nullptr &&
                     std::string(std::getenv("TILLVANE_UPDATE_GOLDEN")) == "1";
  for (const Variant& v : variants) {
    SetLogos(v.logos, v.logos, v.logos);
    const std::vector<Bytes> calls = Record(*v.doc);
    const fs::path calls_file = testing::GoldenDir() / (v.file + ".calls");
    const fs::path bin_file = testing::GoldenDir() / (v.file + ".bin");
    if (write) {
      fs::create_directories(testing::GoldenDir());
      std::ofstream out(calls_file, std::ios::trunc);
      for (const Bytes& c : calls) out << ToHex(c) << '\n';
      testing::WriteFileBytes(bin_file, testing::Join(calls));
      continue;
    }
    std::ifstream in(calls_file);
    ASSERT_TRUE(in) << "missing " << calls_file;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), calls.size()) << v.file;
    for (size_t i = 0; i < calls.size(); ++i)
      ASSERT_EQ(ToHex(calls[i]), lines[i]) << v.file << " call " << i + 1;
    EXPECT_EQ(testing::ReadFileBytes(bin_file), testing::Join(calls)) << v.file;
  }
}

}  // namespace
}  // namespace tillvane
