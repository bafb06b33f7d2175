// The status answers decoded, over every byte value.
#include <array>
#include <string>

#include <gtest/gtest.h>

#include "commands/printer_status.h"

namespace tillvane {
namespace {

TEST(PaperStatusTest, EveryAnswerOfGsR1) {
  for (int v = 0; v <= 0xFF; ++v) {
    const auto b = static_cast<uint8_t>(v);
    const PaperState s = DecodePaperStatus(b);
    if (b & 0x0C) {
      EXPECT_EQ(s, PaperState::Out) << v;
    } else if (b & 0x03) {
      EXPECT_EQ(s, PaperState::NearEnd) << v;
    } else {
      EXPECT_EQ(s, PaperState::Ready) << v;
    }
  }
  // The bits above 3 say nothing about the paper.
  EXPECT_EQ(DecodePaperStatus(0xF0), PaperState::Ready);
  EXPECT_EQ(DecodePaperStatus(0x01), PaperState::NearEnd);
  EXPECT_EQ(DecodePaperStatus(0x02), PaperState::NearEnd);
  EXPECT_EQ(DecodePaperStatus(0x04), PaperState::Out);
  EXPECT_EQ(DecodePaperStatus(0x08), PaperState::Out);
  EXPECT_EQ(DecodePaperStatus(0x0F), PaperState::Out) << "paper out wins over near end";
  EXPECT_STREQ(PaperStateText(PaperState::Ready), "就绪");
  EXPECT_STREQ(PaperStateText(PaperState::NearEnd), "纸将尽");
  EXPECT_STREQ(PaperStateText(PaperState::Out), "缺纸");
}

TEST(RealTimeStatusTest, OnlyAnswersWithTheFixedBitsAreDecoded) {
  int understood = 0;
  for (int v = 0; v <= 0xFF; ++v) {
    const auto b = static_cast<uint8_t>(v);
    const bool fixed_ok = (b & 0x02) && (b & 0x10) && !(b & 0x01) && !(b & 0x80);
    EXPECT_EQ(StatusFixedBitsOk(b), fixed_ok) << v;
    understood += fixed_ok;
    for (int n = 1; n <= 4; ++n) {
      std::array<StatusFlag, 5> flags{};
      const int count = DecodeRealTimeStatus(n, b, &flags);
      if (!fixed_ok) {
        EXPECT_EQ(count, -1) << n << " " << v;
        continue;
      }
      ASSERT_GE(count, 0);
      // Each flag named is one of request n whose bits are set in the answer.
      for (int i = 0; i < count; ++i) {
        EXPECT_EQ(flags[static_cast<size_t>(i)].request, n);
        const uint8_t mask = flags[static_cast<size_t>(i)].mask;
        if (n == 1)
          EXPECT_EQ((b & mask) != 0, std::string(flags[0].english) == "offline");
        else
          EXPECT_NE(b & mask, 0) << n << " " << v;
      }
    }
  }
  EXPECT_EQ(understood, 16) << "four free bits";
  EXPECT_EQ(DecodeRealTimeStatus(0, 0x12, nullptr), -1);
  EXPECT_EQ(DecodeRealTimeStatus(5, 0x12, nullptr), -1);
}

std::string Names(int n, uint8_t b) {
  std::array<StatusFlag, 5> flags{};
  const int count = DecodeRealTimeStatus(n, b, &flags);
  std::string text;
  for (int i = 0; i < count; ++i) text += std::string(flags[static_cast<size_t>(i)].english) + ";";
  return text;
}

TEST(RealTimeStatusTest, EachFlagItsBit) {
  EXPECT_EQ(Names(1, 0x12), "online;");
  EXPECT_EQ(Names(1, 0x1A), "offline;");
  EXPECT_EQ(Names(1, 0x16), "online;") << "the drawer pin is not shown";
  EXPECT_EQ(Names(2, 0x12), "");
  EXPECT_EQ(Names(2, 0x16), "cover open;");
  EXPECT_EQ(Names(2, 0x1A), "paper fed by the feed button;");
  EXPECT_EQ(Names(2, 0x32), "printing stopped for paper end;");
  EXPECT_EQ(Names(2, 0x52), "error occurred;");
  EXPECT_EQ(Names(2, 0x7E),
            "cover open;paper fed by the feed button;printing stopped for paper end;error "
            "occurred;");
  EXPECT_EQ(Names(3, 0x1A), "auto-cutter error;");
  EXPECT_EQ(Names(3, 0x32), "unrecoverable error;");
  EXPECT_EQ(Names(3, 0x52), "auto-recoverable error;");
  EXPECT_EQ(Names(3, 0x16), "") << "bit 2 of request 3 means nothing here";
  EXPECT_EQ(Names(4, 0x16), "paper near end;");
  EXPECT_EQ(Names(4, 0x1A), "paper near end;");
  EXPECT_EQ(Names(4, 0x32), "paper end;");
  EXPECT_EQ(Names(4, 0x52), "paper end;");
  EXPECT_EQ(Names(4, 0x7E), "paper near end;paper end;");
}

TEST(StatusReportTest, HexBitsMeaningsAndTheRequestsWithoutAnswer) {
  StatusAnswers answers{{uint8_t{0x1A}, uint8_t{0x16}, std::nullopt, uint8_t{0x00}}};
  const std::string text = StatusReport(answers);
  EXPECT_NE(text.find("DLE EOT 1: 0x1A  00011010  脱机 (offline)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("DLE EOT 2: 0x16  00010110  纸仓盖打开 (cover open)\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("DLE EOT 3: 无应答 (no answer)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("DLE EOT 4: 0x00  00000000  无法识别 (not understood)\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("(no answer to): DLE EOT 3\n"), std::string::npos) << text;

  const std::string quiet = StatusReport(StatusAnswers{});
  EXPECT_NE(quiet.find("(no answer to): DLE EOT 1, 2, 3, 4\n"), std::string::npos) << quiet;

  const std::string fine =
      StatusReport({{uint8_t{0x12}, uint8_t{0x12}, uint8_t{0x12}, uint8_t{0x12}}});
  EXPECT_EQ(fine.find("no answer"), std::string::npos) << fine;
  EXPECT_NE(fine.find("DLE EOT 3: 0x12  00010010  正常 (normal)\n"), std::string::npos) << fine;
}

}  // namespace
}  // namespace tillvane
