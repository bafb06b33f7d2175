#include "tests/rigs/usb_rig.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace tillvane::rigs {
namespace {

constexpr const char* kUsbLibraryName = "libVornUsbInt.so";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "usb rig: %s\n", what.c_str());
  std::abort();
}

}  // namespace

LoadedUsbLibrary::LoadedUsbLibrary() : module_(::dlopen(kUsbLibraryName, RTLD_NOW | RTLD_NOLOAD)) {}

LoadedUsbLibrary::~LoadedUsbLibrary() {
  if (module_ != nullptr) ::dlclose(module_);
}

void* LoadedUsbLibrary::Symbol(const char* name) const {
  return module_ != nullptr ? ::dlsym(module_, name) : nullptr;
}

bool LoadedUsbLibrary::IsLoaded() {
  void* m = ::dlopen(kUsbLibraryName, RTLD_NOW | RTLD_NOLOAD);
  if (m == nullptr) return false;
  ::dlclose(m);
  return true;
}

SimUsb::SimUsb() {
  if (!library_.loaded()) Fail("no USB library is loaded; load it before reaching its controls");
#define TILLVANE_SIM_RESOLVE(name, type) \
  name##_ = library_.Get<type>(#name);   \
  if (name##_ == nullptr) Fail("the loaded USB library is not the simulated one (no " #name ")");
  VORN_USB_SIM_CONTROLS(TILLVANE_SIM_RESOLVE)
#undef TILLVANE_SIM_RESOLVE
}

std::vector<uint8_t> SimUsb::Received(int32_t device) const {
  int32_t total = VornUsbSimReceived_(device, nullptr, 0);
  std::vector<uint8_t> bytes(static_cast<size_t>(total));
  if (total > 0) VornUsbSimReceived_(device, bytes.data(), total);
  return bytes;
}

PtyPrinter::PtyPrinter(const std::filesystem::path& folder, int number) {
  if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) Fail("openpty failed");
  // Raw on the slave, the side the library writes to, so that every byte value passes
  // unchanged; the master's own settings are never touched.
  termios t{};
  if (::tcgetattr(slave_, &t) != 0) Fail("tcgetattr failed");
  ::cfmakeraw(&t);
  if (::tcsetattr(slave_, TCSANOW, &t) != 0) Fail("tcsetattr failed");
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  node_ = folder / ("lp" + std::to_string(number));
  std::error_code ec;
  std::filesystem::create_symlink(::ttyname(slave_), node_, ec);
  if (ec) Fail("cannot link " + node_.string() + ": " + ec.message());
}

PtyPrinter::~PtyPrinter() {
  std::error_code ec;
  std::filesystem::remove(node_, ec);
  CloseMaster();
  if (slave_ >= 0) ::close(slave_);
}

void PtyPrinter::Answer(const std::vector<uint8_t>& bytes) const {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) Fail("the printer side cannot answer");
    done += static_cast<size_t>(n);
  }
}

void PtyPrinter::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

std::vector<uint8_t> PtyPrinter::Read(size_t count, std::chrono::milliseconds timeout) const {
  std::vector<uint8_t> bytes;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  uint8_t buffer[4096];
  while (bytes.size() < count && master_ >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

std::vector<uint8_t> PtyPrinter::Drain(std::chrono::milliseconds quiet) const {
  std::vector<uint8_t> all;
  for (;;) {
    auto part = Read(1 << 16, quiet);
    if (part.empty()) return all;
    all.insert(all.end(), part.begin(), part.end());
  }
}

}  // namespace tillvane::rigs
