// Recording printers and other helpers shared by the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/backends.h"

namespace tillvane::testing {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex);  // "1B 40 0a" -> {0x1B, 0x40, 0x0A}
std::string ToHex(const Bytes& bytes);  // {0x1B, 0x40} -> "1B 40"
Bytes Join(const std::vector<Bytes>& calls);
Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// What a recording back end received, one entry per call, shared with the test after
// the back end has been handed to the link state.
struct Recording {
  std::mutex mutex;
  std::vector<Bytes> calls;
  int starts = 0;  // print queue: documents started
  int ends = 0;    // print queue: documents ended
  bool destroyed = false;
  // When set, decides the result of each write from its index (0-based): true takes
  // the bytes, false fails the write.
  std::function<bool(size_t index)> accept;
  bool start_ok = true;
  bool end_ok = true;

  std::vector<Bytes> Calls();
  Bytes All();
};

// One of each back end that records into a shared Recording. A failed write takes no
// byte (serial -1, USB 0, parallel 0, queue false).
std::unique_ptr<SerialBackend> RecordingSerial(std::shared_ptr<Recording> r);
std::unique_ptr<QueueBackend> RecordingQueue(std::shared_ptr<Recording> r);
std::unique_ptr<UsbBackend> RecordingUsb(std::shared_ptr<Recording> r);
std::unique_ptr<ParallelBackend> RecordingParallel(std::shared_ptr<Recording> r);

// Puts the link state back to start-up, opens a recording link of the given kind and
// returns its recording.
std::shared_ptr<Recording> OpenRecordingLink(LinkKind link_kind);

// Collects the texts that go through the message sink while it lives.
class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  std::vector<std::string> Messages();

 private:
  std::mutex mutex_;
  std::vector<std::string> messages_;
};

// A fresh temporary folder that is the current folder while the object lives.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// Folder of the golden files (tests/golden in the source tree).
std::filesystem::path GoldenDir();

}  // namespace tillvane::testing
