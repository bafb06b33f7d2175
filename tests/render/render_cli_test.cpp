// tillvane-render on files: arguments, exit status, messages and the PNG files.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/cli/render_cli.h"
#include "render/png_file.h"
#include "tests/render/document_bytes.h"
#include "tests/render/render_support.h"
#include "tests/support/recording.h"

namespace tillvane::render {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

struct CliRun {
  int status = -1;
  std::string err;
};

class RenderCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    saved_xdg_ = xdg ? std::optional<std::string>(xdg) : std::nullopt;
    setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
  }
  void TearDown() override {
    if (saved_xdg_)
      setenv("XDG_DATA_HOME", saved_xdg_->c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
  }

  CliRun Render(std::vector<std::string> args) {
    std::vector<const char*> argv = {"tillvane-render"};
    for (const auto& a : args) argv.push_back(a.c_str());
    char* err_text = nullptr;
    size_t err_size = 0;
    std::FILE* err = open_memstream(&err_text, &err_size);
    std::FILE* out = std::tmpfile();
    CliRun r;
    r.status = RunRenderCommand(static_cast<int>(argv.size()), argv.data(), out, err);
    std::fclose(err);
    std::fclose(out);
    r.err.assign(err_text, err_size);
    std::free(err_text);
    return r;
  }

  fs::path Write(const std::string& name, const Bytes& bytes) {
    const fs::path p = dir_.path() / name;
    tillvane::testing::WriteFileBytes(p, bytes);
    return p;
  }

  tillvane::testing::ScopedTempDir dir_;
  std::optional<std::string> saved_xdg_;
};

const testing::SampleDocument& Doc(const std::string& name) {
  for (const auto& d : testing::SampleDocuments())
    if (name == d.name) return d;
  throw std::runtime_error(name);
}

TEST_F(RenderCliTest, BadArgumentsExitWithTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},
           {"--paper", "70", "x"},
           {"--paper"},
           {"--frobnicate", "x"},
           {"a", "b"},
           {"-o"},
           {"--split", "-o", "-", "x"},
           {"--profile", "gbk", "x"},
           {"--profile"},
       }) {
    const CliRun r = Render(args);
    EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find("usage: tillvane-render"), std::string::npos);
  }
}

TEST_F(RenderCliTest, FilesThatCannotBeReadOrWrittenExitWithOne) {
  CliRun r = Render({(dir_.path() / "missing.dat").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.dat"), std::string::npos);
  const fs::path in = Write("in.dat", testing::Text("hello\n"));
  r = Render({"-o", (dir_.path() / "no" / "such" / "folder.png").string(), in.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("folder.png"), std::string::npos);
}

TEST_F(RenderCliTest, WritesTheRollWithOneLinePerPage) {
  const fs::path in = Write("Commands.dat", testing::DocumentBytes(Doc("TwoPartTicket")));
  CliRun r = Render({in.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string error;
  const auto png = ReadPng(in.string() + ".png", &error);
  ASSERT_TRUE(png) << error;
  EXPECT_EQ(png->width(), kDots80mm);
  const auto direct = testing::Render(tillvane::testing::ReadFileBytes(in));
  ASSERT_EQ(direct.pages.size(), 2u);
  EXPECT_TRUE(*png == direct.Roll());
  const std::string h = std::to_string(direct.pages[0].dots.height());
  EXPECT_NE(r.err.find("page 1: 512 x " + h + " dots (full cut)\npage 2: 512 x "),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("unknown bytes: 0\n"), std::string::npos);

  // --split: one file per page, named after -o.
  r = Render({"--split", "-o", (dir_.path() / "two.png").string(), in.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  for (int i = 0; i < 2; ++i) {
    const auto page = ReadPng(dir_.path() / ("two-" + std::to_string(i + 1) + ".png"), &error);
    ASSERT_TRUE(page) << error;
    EXPECT_TRUE(*page == direct.pages[i].dots);
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "two-3.png"));
}

TEST_F(RenderCliTest, NarrowPaperAndUnknownBytes) {
  const fs::path in = Write(
      "odd.dat", testing::Cat({testing::Text("ab"), {0x01, 0x1B, 'z'}, testing::Text("c\n")}));
  const CliRun r = Render({"--paper", "56", "-o", (dir_.path() / "odd.png").string(), in.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string error;
  const auto png = ReadPng(dir_.path() / "odd.png", &error);
  ASSERT_TRUE(png) << error;
  EXPECT_EQ(png->width(), kDotsNarrow);
  EXPECT_NE(r.err.find("unknown bytes: 3 at offsets 2, 3, 4\n"), std::string::npos) << r.err;
}

TEST_F(RenderCliTest, TheProfileDecidesTheTextAtPowerOn) {
  const Bytes in_bytes = {0x82, 0xA0, 0x85, 0x87, '\n', 0x1B, 't', 99, 'x', '\n'};
  const fs::path in = Write("accented.dat", in_bytes);
  for (const Profile p : {Profile::kCn, Profile::kIntl}) {
    const std::string name(InfoOf(p).name);
    const fs::path out = dir_.path() / (name + ".png");
    const CliRun r = Render({"--profile=" + name, "-o", out.string(), in.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string error;
    const auto png = ReadPng(out, &error);
    ASSERT_TRUE(png) << error;
    PrinterOptions options;
    options.profile = p;
    EXPECT_TRUE(*png == testing::RenderWith(in_bytes, options).Roll()) << name;
    EXPECT_NE(r.err.find("not drawn: ESC t at 5: code page 99 not available, drawn as PC437\n"),
              std::string::npos)
        << r.err;
  }
  std::string error;
  const auto cn = ReadPng(dir_.path() / "cn.png", &error),
             intl = ReadPng(dir_.path() / "intl.png", &error);
  ASSERT_TRUE(cn && intl) << error;
  EXPECT_FALSE(*cn == *intl);
}

// The README's picture of one text in three code pages, as tillvane-render draws it in the
// intl profile, against its golden picture (TILLVANE_UPDATE_GOLDEN=1 rewrites it).
TEST_F(RenderCliTest, ThreeCodePagesMatchTheirGoldenPicture) {
  struct Line {
    uint8_t n;
    std::u32string text;
  };
  const Line lines[] = {
      {17, U"PC866    Съешь же ещё мягких булок"},
      {47, U"WPC1253  Καλημέρα κόσμε, ωραία"},
      {16, U"WPC1252  Crème brûlée à 4,50 €"},
  };
  Bytes bytes = {0x1B, '@', 0x1D, '!', 0x11, 0x1B, 'a', 1};
  bytes = testing::Cat({bytes, testing::Text("ESC t\n"), {0x1D, '!', 0, 0x1B, 'a', 0}});
  for (const Line& l : lines) {
    const Bytes text = testing::Encode(l.text, l.n);
    ASSERT_EQ(text.size(), l.text.size()) << l.n;
    bytes = testing::Cat({bytes, {0x1B, 't', l.n}, text, {'\n'}});
  }
  bytes = testing::Cat({bytes, {0x1B, 'd', 3, 0x1D, 'V', 0}});
  const fs::path in = Write("CodePages.dat", bytes);
  const fs::path out = dir_.path() / "CodePages.png";
  const CliRun r = Render({"--profile", "intl", "-o", out.string(), in.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("not drawn"), std::string::npos) << r.err;
  const fs::path golden =
      fs::path(TILLVANE_SOURCE_DIR) / "tests" / "golden" / "render" / "CodePages.png";
  if (const char* u = std::getenv("TILLVANE_UPDATE_GOLDEN"); u && std::string(u) == "1")
    fs::copy_file(out, golden, fs::copy_options::overwrite_existing);
  std::string error;
  const auto drawn = ReadPng(out, &error);
  const auto expected = ReadPng(golden, &error);
  ASSERT_TRUE(drawn && expected) << error;
  EXPECT_TRUE(*drawn == *expected);
}

TEST_F(RenderCliTest, FlashLogosComeFromTheStoreUnlessTurnedOff) {
  const fs::path define =
      Write("define.dat", testing::Cat({{0x1C, 'q', 1, 1, 0, 1, 0}, Bytes(8, 0xFF)}));
  const fs::path print = Write("print.dat", {0x1C, 'p', 1, 0});
  ASSERT_EQ(Render({define.string()}).status, 0);
  EXPECT_TRUE(fs::exists(dir_.path() / "data" / "tillvane" / "flash-logos.bin"));
  CliRun r = Render({print.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("page 1: 512 x 8 dots"), std::string::npos) << r.err;
  r = Render({"--no-flash-store", print.string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("flash logo 1, never defined"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("no paper came out"), std::string::npos) << r.err;
}

TEST_F(RenderCliTest, ReadsStandardInputAndWritesStandardOutput) {
  const fs::path tool = fs::path(TILLVANE_BIN_DIR) / "tillvane-render";
  ASSERT_TRUE(fs::exists(tool));
  const fs::path out = dir_.path() / "piped.png";
  const std::string cmd = "printf 'piped\\n\\035V0' | " + tool.string() + " --no-flash-store - > " +
                          out.string() + " 2> " + (dir_.path() / "err.txt").string();
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string error;
  const auto png = ReadPng(out, &error);
  ASSERT_TRUE(png) << error;
  EXPECT_EQ(png->height(), 30 + 2);
}

}  // namespace
}  // namespace tillvane::render
