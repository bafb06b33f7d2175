// A simulated serial printer behind a pseudo-terminal pair. The link opens the slave
// side as its serial device (map a COM name to device_path() in the Ports section);
// the printer reads and answers on the master side, on a thread of its own.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tillvane::rigs {

class SimSerialPrinter {
 public:
  enum class Mode {
    Answer,       // reads everything, answers GS r 1 (1D 72 01) with the status byte and
                  // DLE EOT n (10 04 n) with the real-time status of n
    Silent,       // reads everything and never answers
    StopReading,  // reads nothing, so the link's output fills up and writes time out
  };

  SimSerialPrinter() = default;
  ~SimSerialPrinter();
  SimSerialPrinter(const SimSerialPrinter&) = delete;
  SimSerialPrinter& operator=(const SimSerialPrinter&) = delete;

  // Opens the pseudo-terminal pair, puts the slave side in raw mode and starts the
  // printer's thread. False with a reason in `error` when the pair cannot be had.
  bool Start(std::string* error = nullptr);
  // Stops the thread and closes both sides.
  void Stop();

  // The slave side, e.g. /dev/pts/5: the device a COM name maps to.
  const std::string& device_path() const { return path_; }
  // "COM<n>=<device path>", a line of the Ports section of Tillvane.ini.
  std::string PortsLine(int com_number) const;

  void SetMode(Mode mode);
  // A printer whose buffer fills up: once it has received `count` bytes in all (since
  // the last ClearReceived), it sends XOFF, so that a link with software flow control
  // stops its output, and turns to StopReading. SetMode and SendXon let it go on.
  void StopReadingAfter(size_t count);
  Mode mode() const;
  void SetStatusByte(uint8_t status);
  // The answer to DLE EOT n, n 1..4; empty: that request gets no answer.
  void SetRealTimeStatus(int n, std::optional<uint8_t> answer);
  int realtime_requests() const;  // DLE EOT n sequences seen
  // With recording off only the count grows (long benchmark runs).
  void SetRecording(bool on);
  // Called on the printer's thread with each chunk read, before it is answered.
  void SetOnReceive(std::function<void(const uint8_t*, size_t)> on_receive);

  // Bytes from the printer to the link, as flow control or any reply.
  bool SendToLink(const uint8_t* bytes, size_t length);
  bool SendXoff();
  bool SendXon();

  // Closes the master side as if the printer were unplugged: the link's next write
  // fails. The printer's thread ends first.
  void CloseMaster();

  std::vector<uint8_t> Received() const;
  size_t received_count() const;
  int status_requests() const;  // GS r 1 sequences seen
  void ClearReceived();
  // Waits until at least `count` bytes have been received; false after `timeout_ms`.
  bool WaitForReceived(size_t count, int timeout_ms) const;

 private:
  void Run();
  void Wake();
  void StopThread();
  void Process(const uint8_t* bytes, size_t length);

  int master_ = -1;
  int slave_ = -1;  // held open so that the terminal lives while the link reopens it
  int wake_ = -1;   // eventfd: mode changes and stopping
  std::string path_;
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable received_cv_;
  bool stopping_ = false;
  Mode mode_ = Mode::Answer;
  uint8_t status_ = 0x00;
  bool recording_ = true;
  std::vector<uint8_t> received_;
  size_t received_count_ = 0;
  int status_requests_ = 0;
  int match_ = 0;  // bytes of 1D 72 01 matched so far, across reads
  std::array<std::optional<uint8_t>, 4> realtime_{{0x12, 0x12, 0x12, 0x12}};
  int realtime_requests_ = 0;
  size_t stop_after_ = 0;     // StopReadingAfter's count; 0 for none
  uint8_t last_two_[2] = {};  // the two bytes before, for DLE EOT n across reads
  std::function<void(const uint8_t*, size_t)> on_receive_;
};

}  // namespace tillvane::rigs
