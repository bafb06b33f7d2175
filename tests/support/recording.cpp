#include "tests/support/recording.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "base/message_sink.h"
#include "link/link_state.h"

namespace tillvane::testing {

Bytes FromHex(const std::string& hex) {
  Bytes out;
  int nibble = -1;
  for (char c : hex) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      continue;
    if (nibble < 0) {
      nibble = v;
    } else {
      out.push_back(static_cast<uint8_t>(nibble * 16 + v));
      nibble = -1;
    }
  }
  if (nibble >= 0) throw std::invalid_argument("odd number of hex digits");
  return out;
}

std::string ToHex(const Bytes& bytes) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

Bytes Join(const std::vector<Bytes>& calls) {
  Bytes out;
  for (const Bytes& c : calls) out.insert(out.end(), c.begin(), c.end());
  return out;
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<Bytes> Recording::Calls() {
  std::lock_guard lock(mutex);
  return calls;
}

Bytes Recording::All() {
  return Join(Calls());
}

namespace {

// Records the call and says whether it is accepted.
bool Record(Recording& r, const uint8_t* bytes, int32_t length) {
  std::lock_guard lock(r.mutex);
  size_t index = r.calls.size();
  bool ok = !r.accept || r.accept(index);
  if (ok) r.calls.emplace_back(bytes, bytes + length);
  return ok;
}

class SerialRecorder : public SerialBackend {
 public:
  explicit SerialRecorder(std::shared_ptr<Recording> r) : r_(std::move(r)) {}
  ~SerialRecorder() override { r_->destroyed = true; }
  int32_t Write(const uint8_t* b, int32_t n) override { return Record(*r_, b, n) ? n : -1; }
  bool Purge() override { return true; }
  int32_t ReceiveQueueCount() override { return 1; }

 private:
  std::shared_ptr<Recording> r_;
};

class QueueRecorder : public QueueBackend {
 public:
  explicit QueueRecorder(std::shared_ptr<Recording> r) : r_(std::move(r)) {}
  ~QueueRecorder() override { r_->destroyed = true; }
  bool StartDocument() override {
    std::lock_guard lock(r_->mutex);
    ++r_->starts;
    return r_->start_ok;
  }
  bool Write(const uint8_t* b, int32_t n) override { return Record(*r_, b, n); }
  bool EndDocument() override {
    std::lock_guard lock(r_->mutex);
    ++r_->ends;
    return r_->end_ok;
  }

 private:
  std::shared_ptr<Recording> r_;
};

class UsbRecorder : public UsbBackend {
 public:
  explicit UsbRecorder(std::shared_ptr<Recording> r) : r_(std::move(r)) {}
  ~UsbRecorder() override { r_->destroyed = true; }
  int32_t Write(const uint8_t* b, int32_t n) override { return Record(*r_, b, n) ? n : 0; }

 private:
  std::shared_ptr<Recording> r_;
};

class ParallelRecorder : public ParallelBackend {
 public:
  explicit ParallelRecorder(std::shared_ptr<Recording> r) : r_(std::move(r)) {}
  ~ParallelRecorder() override { r_->destroyed = true; }
  int32_t WriteBuffer(const uint8_t* b, int32_t n) override { return Record(*r_, b, n) ? n : 0; }

 private:
  std::shared_ptr<Recording> r_;
};

}  // namespace

std::unique_ptr<SerialBackend> RecordingSerial(std::shared_ptr<Recording> r) {
  return std::make_unique<SerialRecorder>(std::move(r));
}
std::unique_ptr<QueueBackend> RecordingQueue(std::shared_ptr<Recording> r) {
  return std::make_unique<QueueRecorder>(std::move(r));
}
std::unique_ptr<UsbBackend> RecordingUsb(std::shared_ptr<Recording> r) {
  return std::make_unique<UsbRecorder>(std::move(r));
}
std::unique_ptr<ParallelBackend> RecordingParallel(std::shared_ptr<Recording> r) {
  return std::make_unique<ParallelRecorder>(std::move(r));
}

std::shared_ptr<Recording> OpenRecordingLink(LinkKind link_kind) {
  ResetLinkState();
  auto r = std::make_shared<Recording>();
  // One recorder of each kind that records; the others open no link.
  using Factory = std::unique_ptr<Link> (*)(std::shared_ptr<Recording>);
  static constexpr struct {
    LinkKind kind;
    Factory make;
  } kRecorders[] = {
      {LinkKind::Parallel,
       [](std::shared_ptr<Recording> rec) -> std::unique_ptr<Link> {
         return RecordingParallel(std::move(rec));
       }},
      {LinkKind::Serial,
       [](std::shared_ptr<Recording> rec) -> std::unique_ptr<Link> {
         return RecordingSerial(std::move(rec));
       }},
      {LinkKind::PrintQueue,
       [](std::shared_ptr<Recording> rec) -> std::unique_ptr<Link> {
         return RecordingQueue(std::move(rec));
       }},
      {LinkKind::Usb,
       [](std::shared_ptr<Recording> rec) -> std::unique_ptr<Link> {
         return RecordingUsb(std::move(rec));
       }},
  };
  for (const auto& row : kRecorders) {
    if (row.kind == link_kind) SetLink(row.make(r));
  }
  Links().Kind = link_kind;
  return r;
}

MessageRecorder::MessageRecorder() {
  SetMessageSink([this](std::string_view text) {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(text);
  });
}

MessageRecorder::~MessageRecorder() {
  SetMessageSink(nullptr);
}

std::vector<std::string> MessageRecorder::Messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

ScopedTempDir::ScopedTempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tillvane-test-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
  previous_ = std::filesystem::current_path();
  std::filesystem::current_path(path_);
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path GoldenDir() {
  return std::filesystem::path(TILLVANE_SOURCE_DIR) / "tests" / "golden";
}

}  // namespace tillvane::testing
