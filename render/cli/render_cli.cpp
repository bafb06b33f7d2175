#include "render/cli/render_cli.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "render/graphics.h"
#include "render/logo_store.h"
#include "render/png_file.h"
#include "render/printer.h"
#include "render/roll_png.h"

namespace tillvane::render {
namespace {

constexpr const char* kUsage =
    "usage: tillvane-render [--paper 80|56] [--profile cn|intl] [--split] [--no-flash-store]\n"
    "                       [-o OUT.png] INPUT\n"
    "  Renders a file of raw printer bytes (INPUT, or - for standard input) as the\n"
    "  virtual printer prints it: one PNG of the whole roll (default INPUT.png), or with\n"
    "  --split one PNG per page (OUT-1.png, OUT-2.png, ...). -o - writes to standard\n"
    "  output. Flash logos and NV graphics come from the virtual printer's stores unless\n"
    "  --no-flash-store. --profile: the printer's text at power-on, cn double-byte GBK (the\n"
    "  default) or intl single-byte code page PC437. Standard error lists unknown bytes,\n"
    "  commands not drawn and commands refused; --strict exits with 3 when any of them is\n"
    "  not zero.\n";

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

const char* CutName(Cut cut, bool continued) {
  if (continued) return "continued on the next page";
  switch (cut) {
    case Cut::kFull:
      return "full cut";
    case Cut::kPartial:
      return "partial cut";
    case Cut::kNone:
      break;
  }
  return "end of input";
}

bool Clean(const Report& r) {
  return r.unknown_bytes == 0 && r.not_drawn == 0 && r.refused == 0;
}

// The three counts of the report, each with its first offsets or notes.
void PrintReport(const Report& r, std::FILE* err) {
  std::string unknown = "unknown bytes: " + std::to_string(r.unknown_bytes);
  if (!r.unknown_offsets.empty()) {
    unknown += " at offsets";
    for (size_t i = 0; i < r.unknown_offsets.size(); ++i)
      unknown += (i ? ", " : " ") + std::to_string(r.unknown_offsets[i]);
    if (r.unknown_bytes > r.unknown_offsets.size()) unknown += ", ...";
  }
  std::fprintf(err, "%s\n", unknown.c_str());
  const auto more = [err](const char* what, uint64_t count, size_t listed) {
    if (count > listed)
      std::fprintf(err, "%s: %llu more\n", what, static_cast<unsigned long long>(count - listed));
  };
  if (r.not_drawn)
    std::fprintf(err, "not drawn: %llu\n", static_cast<unsigned long long>(r.not_drawn));
  for (const std::string& note : r.not_drawn_notes)
    std::fprintf(err, "not drawn: %s\n", note.c_str());
  more("not drawn", r.not_drawn, r.not_drawn_notes.size());
  if (r.refused) std::fprintf(err, "refused: %llu\n", static_cast<unsigned long long>(r.refused));
  for (const std::string& note : r.notes) std::fprintf(err, "refused: %s\n", note.c_str());
  more("refused", r.refused, r.notes.size());
}

// OUT.png -> OUT-n.png
std::string SplitName(const std::string& out, uint64_t n) {
  std::string stem = out;
  if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".png") == 0)
    stem.resize(stem.size() - 4);
  return stem + "-" + std::to_string(n) + ".png";
}

}  // namespace

int RunRenderCommand(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  int paper = 80;
  Profile profile = Profile::kCn;
  bool split = false, flash_store = true, strict = false;
  std::string output, input;
  bool have_input = false;
  auto bad = [err](const std::string& why) {
    std::fprintf(err, "tillvane-render: %s\n%s", why.c_str(), kUsage);
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, out);
      return 0;
    } else if (a == "--paper" || a.rfind("--paper=", 0) == 0) {
      std::string v;
      if (a == "--paper") {
        if (++i >= argc) return bad("--paper needs 80 or 56");
        v = argv[i];
      } else {
        v = a.substr(8);
      }
      if (v == "80") {
        paper = 80;
      } else if (v == "56") {
        paper = 56;
      } else {
        return bad("--paper takes 80 or 56, not " + v);
      }
    } else if (a == "--profile" || a.rfind("--profile=", 0) == 0) {
      std::string v;
      if (a == "--profile") {
        if (++i >= argc) return bad("--profile needs " + std::string(ProfileNames()));
        v = argv[i];
      } else {
        v = a.substr(10);
      }
      const auto named = ProfileNamed(v);
      if (!named) return bad("--profile takes " + std::string(ProfileNames()) + ", not " + v);
      profile = *named;
    } else if (a == "--split") {
      split = true;
    } else if (a == "--no-flash-store") {
      flash_store = false;
    } else if (a == "--strict") {
      strict = true;
    } else if (a == "-o" || a == "--output") {
      if (++i >= argc) return bad(a + " needs a file name");
      output = argv[i];
    } else if (a.size() > 1 && a[0] == '-') {
      return bad("unknown option " + a);
    } else {
      if (have_input) return bad("one INPUT only");
      input = a;
      have_input = true;
    }
  }
  if (!have_input) return bad("no INPUT given");
  if (output.empty()) output = input == "-" ? "-" : input + ".png";
  if (output == "-" && split) return bad("--split writes files: give -o OUT.png");

  File in_file;
  std::FILE* in = stdin;
  if (input != "-") {
    in_file.reset(std::fopen(input.c_str(), "rb"));
    if (!in_file) {
      std::fprintf(err, "tillvane-render: %s: %s\n", input.c_str(), std::strerror(errno));
      return 1;
    }
    in = in_file.get();
  }

  std::unique_ptr<RollPng> roll;
  const int dots = paper == 56 ? kDotsNarrow : kDots80mm;
  if (!split) {
    roll = std::make_unique<RollPng>(dots);
    if (!roll->ok()) {
      std::fprintf(err, "tillvane-render: %s\n", roll->error().c_str());
      return 1;
    }
  }
  int status = 0;
  PrinterOptions options;
  options.paper_dots = dots;
  options.profile = profile;
  if (flash_store) {
    options.flash_store = DefaultFlashStorePath();
    options.nv_graphics_store = DefaultNvGraphicsPath();
  }
  auto on_page = [&](Page&& page) {
    const Bitmap& b = page.dots;
    std::fprintf(err, "page %llu: %d x %d dots (%s)\n",
                 static_cast<unsigned long long>(page.number), b.width(), b.height(),
                 CutName(page.cut, page.continued));
    if (status != 0) return;
    if (split) {
      std::string why;
      if (!WritePng(SplitName(output, page.number), b, &why)) {
        std::fprintf(err, "tillvane-render: %s\n", why.c_str());
        status = 1;
      }
    } else {
      roll->Add(b);
      if (!roll->ok()) {
        std::fprintf(err, "tillvane-render: %s\n", roll->error().c_str());
        status = 1;
      }
    }
  };
  Printer printer(options, on_page);
  std::vector<uint8_t> buffer(1 << 16);
  for (;;) {
    const size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
    if (n > 0) printer.Feed(buffer.data(), n);
    if (n < buffer.size()) break;
  }
  if (std::ferror(in)) {
    std::fprintf(err, "tillvane-render: %s: %s\n", input == "-" ? "standard input" : input.c_str(),
                 std::strerror(errno));
    return 1;
  }
  printer.Finish();

  const Report& r = printer.report();
  PrintReport(r, err);
  if (status == 0 && strict && !Clean(r)) status = 3;
  if (status != 0 && status != 3) return status;
  if (split) return status;

  if (roll->rows() == 0) {
    std::fprintf(err, "tillvane-render: no paper came out; %s not written\n", output.c_str());
    return status;
  }
  if (roll->too_long()) {
    std::fprintf(err, "tillvane-render: the roll is too long for one PNG; use --split\n");
    return 1;
  }
  File out_file;
  std::FILE* png = out;
  if (output != "-") {
    out_file.reset(std::fopen(output.c_str(), "wb"));
    if (!out_file) {
      std::fprintf(err, "tillvane-render: %s: %s\n", output.c_str(), std::strerror(errno));
      return 1;
    }
    png = out_file.get();
  }
  std::string why;
  bool ok = roll->Write(png, &why);
  if (out_file && std::fclose(out_file.release()) != 0) ok = false;
  if (!ok) {
    std::fprintf(err, "tillvane-render: %s: %s\n", output.c_str(),
                 why.empty() ? "write failed" : why.c_str());
    return 1;
  }
  return status;
}

}  // namespace tillvane::render
