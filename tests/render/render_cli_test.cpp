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

TEST_F(RenderCliTest, StrictExitsThreeOnAnyCountAndStillWritesThePicture) {
  struct Case {
    const char* name;
    Bytes bytes;
    int status;
    const char* line;
  };
  const Case cases[] = {
      {"clean", testing::Text("ok\n"), 0, "unknown bytes: 0\n"},
      {"unknown", testing::Cat({testing::Text("ok\n"), {0x01}}), 3,
       "unknown bytes: 1 at offsets 3"},
      {"not drawn", testing::Cat({{0x1B, '%', 1}, testing::Text("ok\n")}), 3,
       "not drawn: 1\nnot drawn: ESC % at 0: not drawn\n"},
      {"refused",
       testing::Cat({{0x1D, '*', 255, 255}, Bytes(255 * 255 * 8, 0), testing::Text("ok\n")}), 3,
       "refused: 1\nrefused: offset 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path in = Write("strict.dat", c.bytes);
    const fs::path out = dir_.path() / "strict.png";
    fs::remove(out);
    CliRun r = Render({"--no-flash-store", "-o", out.string(), in.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
    r = Render({"--strict", "--no-flash-store", "-o", out.string(), in.string()});
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(fs::exists(out));
  }
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
