// tillvane-render on files: arguments, exit status, messages and the PNG files.
#include <cmath>
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
      {"not drawn", testing::Cat({{0x1C, 'C', 1}, testing::Text("ok\n")}), 3,
       "not drawn: 1\nnot drawn: FS C at 0: not drawn\n"},
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

// Runs the real tillvane-render binary (a new process each time, so nothing lives on but
// what its stores keep); its standard error goes to `err`.
int RunTool(const std::string& args, const fs::path& err) {
  const fs::path tool = fs::path(TILLVANE_BIN_DIR) / "tillvane-render";
  const std::string cmd = tool.string() + " " + args + " 2> " + err.string();
  return std::system(cmd.c_str());
}

std::string ReadText(const fs::path& p) {
  const Bytes b = tillvane::testing::ReadFileBytes(p);
  return std::string(b.begin(), b.end());
}

TEST_F(RenderCliTest, NvGraphicsOutliveTheProgramUnlessTheStoreIsTurnedOff) {
  const Bitmap pic =
      testing::Drawn(32, 12, [](int x, int y) { return (x ^ y) % 5 == 0 || y == 11; });
  const fs::path define = Write("define.dat", testing::GsParenL(testing::NvGraphic('L', 'G', pic)));
  const fs::path print = Write("print.dat", testing::GsParenL({48, 69, 'L', 'G', 2, 1}));
  const fs::path err = dir_.path() / "err.txt";
  ASSERT_EQ(RunTool(define.string(), err), 0) << ReadText(err);
  EXPECT_TRUE(fs::exists(dir_.path() / "data" / "tillvane" / "nv-graphics.bin"));
  const fs::path out = dir_.path() / "print.png";
  ASSERT_EQ(RunTool("-o " + out.string() + " " + print.string(), err), 0) << ReadText(err);
  std::string error;
  const auto png = ReadPng(out, &error);
  ASSERT_TRUE(png) << error;
  EXPECT_TRUE(*png == testing::Render(testing::RasterImage(1, pic)).Roll());

  const fs::path none = dir_.path() / "none.png";
  ASSERT_EQ(RunTool("--no-flash-store -o " + none.string() + " " + print.string(), err), 0);
  const std::string text = ReadText(err);
  EXPECT_NE(text.find("no NV picture under key codes 76, 71"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(none));
}

// A receipt headed by a picture in the print buffer (GS ( L fn 112, 50) and ended by
// one of NV memory printed at double size (GS 8 L fn 67, GS ( L fn 69).
Bytes GraphicsReceipt() {
  constexpr uint8_t ESC = 0x1B, GS = 0x1D, LF = 0x0A;
  // A cup on its saucer with steam rising, 200 x 100.
  const Bitmap cup = testing::Drawn(200, 100, [](int x, int y) {
    const bool body = x >= 60 && x < 140 && y >= 40 && y < 90 && !(x >= 66 && x < 134 && y < 84);
    const double hx = x - 140, hy = y - 60, r = std::sqrt(hx * hx + hy * hy);
    const bool handle = x >= 140 && r >= 8 && r < 15;
    const double sx = (x - 104) / 64.0, sy = (y - 94) / 5.0;
    const bool saucer = sx * sx + sy * sy <= 1.0 && y >= 91;
    bool steam = false;
    for (int k = 0; k < 3; ++k)
      steam =
          steam || (y >= 6 && y < 34 && std::abs(x - (80 + 20 * k + 5 * std::sin(y / 5.0))) < 2);
    const bool coffee = x >= 66 && x < 134 && y >= 48 && y < 84 && (x + y) % 4 == 0;
    return body || handle || saucer || steam || coffee;
  });
  // A heart, 32 x 28.
  const Bitmap heart = testing::Drawn(32, 28, [](int x, int y) {
    const double u = (x - 15.5) / 13.0, v = (13.0 - y) / 12.0;
    const double a = u * u + v * v - 1;
    return a * a * a - u * u * v * v * v <= 0;
  });
  auto line = [](const std::string& s) { return testing::Cat({testing::Text(s), {LF}}); };
  return testing::Cat({
      {ESC, '@', ESC, 'a', 1},
      testing::GsParenL(testing::BufferGraphic(112, 1, 1, cup)),
      testing::GsParenL({48, 50}),
      {ESC, '!', 0x38},
      line("TILLVANE CAFE"),
      {ESC, '!', 0},
      line("12 Harbour Street"),
      {LF, ESC, 'a', 0},
      line("Espresso                            2.40"),
      line("Flat white                          3.20"),
      line("Almond croissant                    2.90"),
      line("----------------------------------------"),
      {ESC, 'E', 1},
      line("TOTAL                               8.50"),
      {ESC, 'E', 0, LF, ESC, 'a', 1},
      testing::Gs8L(testing::NvGraphic('H', 'T', heart)),
      testing::GsParenL({48, 69, 'H', 'T', 2, 2}),
      line("Thank you"),
      {ESC, 'd', 2, GS, 'V', 0},
  });
}

TEST_F(RenderCliTest, GraphicsReceiptMatchesItsGoldenPicture) {
  const fs::path in = Write("GraphicsReceipt.dat", GraphicsReceipt());
  const fs::path out = dir_.path() / "GraphicsReceipt.png";
  const fs::path err = dir_.path() / "err.txt";
  ASSERT_EQ(RunTool("--no-flash-store -o " + out.string() + " " + in.string(), err), 0);
  const std::string text = ReadText(err);
  EXPECT_NE(text.find("unknown bytes: 0\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("refused"), std::string::npos) << text;
  std::string error;
  const auto roll = ReadPng(out, &error);
  ASSERT_TRUE(roll) << error;
  const fs::path golden =
      fs::path(TILLVANE_SOURCE_DIR) / "tests" / "golden" / "render" / "GraphicsReceipt.png";
  const char* update = std::getenv("TILLVANE_UPDATE_GOLDEN");
  if (update && std::string(update) == "1")
    fs::copy_file(out, golden, fs::copy_options::overwrite_existing);
  const auto expected = ReadPng(golden, &error);
  ASSERT_TRUE(expected) << error;
  EXPECT_TRUE(*roll == *expected);
}

}  // namespace
}  // namespace tillvane::render
