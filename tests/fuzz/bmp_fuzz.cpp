// Fuzz target: both logo downloads on a file written from the input.
// Byte 0 chooses the link: bits 0-1 = 0 a recording link that takes everything, 1 no
// link, 2 a link that fails the size header, 3 a link that fails the column image.
// The rest of the input is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands/bitmap_logo.h"
#include "link/link_state.h"
#include "tests/support/recording.h"

namespace {

using tillvane::Links;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// The file the input is written to, removed when the process ends.
struct InputFile {
  InputFile() {
    char tmpl[] = "/tmp/tillvane-fuzz-bmp-XXXXXX";
    const int fd = mkstemp(tmpl);
    Check(fd >= 0, "temporary file");
    close(fd);
    path = tmpl;
  }
  ~InputFile() { unlink(path.c_str()); }
  std::string path;
};

const std::string& FilePath() {
  static const InputFile file;
  return file.path;
}

uint32_t U32(const uint8_t* d, size_t size, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= (at + i < size ? uint32_t{d[at + i]} : 0u) << (8 * i);
  return v;
}

std::shared_ptr<tillvane::testing::Recording> OpenLink(uint8_t mode, size_t failing_send) {
  if (mode == 1) {
    tillvane::ResetLinkState();
    return nullptr;
  }
  auto r = tillvane::testing::OpenRecordingLink(tillvane::LinkKind::Serial);
  if (mode >= 2) {
    auto attempt = std::make_shared<size_t>(0);
    r->accept = [attempt, failing_send](size_t) { return (*attempt)++ != failing_send; };
  }
  return r;
}

void CheckFraming(const std::shared_ptr<tillvane::testing::Recording>& r, uint8_t mode, bool ram,
                  int32_t result) {
  Check(Links().BusyTimeout.load() == tillvane::kBusyTimeoutNormal, "BusyTimeout restored");
  if (!r) return;
  const auto calls = r->Calls();
  if (mode == 0 && result == 0) {
    Check(calls.size() == (ram ? 3u : 2u), "call count");
    const auto& h = calls[ram ? 1 : 0];
    Check(h.size() == 4, "size header length");
    const size_t s = ram ? h[2] : size_t{h[0]} | size_t{h[1]} << 8;
    const size_t b = ram ? h[3] : size_t{h[2]} | size_t{h[3]} << 8;
    Check(calls.back().size() == s * 8 * b, "column image length");
    if (ram) Check(s <= 255 && b <= 48 && s * b <= 912, "RAM limits");
  }
  if (mode >= 2) Check(result != 0, "a failed send is reported");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0] & 3;
  const uint8_t* file = data + 1;
  const size_t file_size = size - 1;
  std::FILE* f = std::fopen(FilePath().c_str(), "wb");
  Check(f != nullptr, "write the input file");
  if (file_size > 0) std::fwrite(file, 1, file_size, f);
  std::fclose(f);

  auto r = OpenLink(mode, mode == 2 ? 1 : 2);
  const int32_t ram = tillvane::DownloadRamLogo(FilePath().c_str(), 1);
  CheckFraming(r, mode, true, ram);

  // Pictures declared above 64 KiB are left to the RAM download, which refuses them from
  // the header; converting them for flash would only slow the search down.
  const int64_t w = static_cast<int32_t>(U32(file, file_size, 18));
  const int64_t h = static_cast<int32_t>(U32(file, file_size, 22));
  if (w > 0 && h > 0 && ((w + 31) / 32) * 4 * 8 * ((h + 7) / 8) <= (int64_t{1} << 16)) {
    r = OpenLink(mode, mode == 2 ? 0 : 1);
    const int32_t flash = tillvane::SendFlashLogoImage(FilePath().c_str());
    CheckFraming(r, mode, false, flash);
  }
  tillvane::ResetLinkState();
  return 0;
}
