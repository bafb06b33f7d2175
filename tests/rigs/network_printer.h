// A simulated raw TCP printer on the loopback interface (127.0.0.1 or ::1 only). It
// accepts connections on a port of its own, captures every byte, answers GS r 1 and
// DLE EOT n from a state the test sets, and misbehaves on request: refuses
// connections, takes none (connects hang), never answers, stops reading after N
// bytes, resets the connection after N bytes, or delays closing its side.
#pragma once

#include <array>
#include <atomic>
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

class SimNetworkPrinter {
 public:
  enum class Family { IPv4, IPv6 };

  SimNetworkPrinter() = default;
  ~SimNetworkPrinter();
  SimNetworkPrinter(const SimNetworkPrinter&) = delete;
  SimNetworkPrinter& operator=(const SimNetworkPrinter&) = delete;

  // Listens on 127.0.0.1 or ::1, on `port` (0: a free one), and starts the printer's
  // thread. False with a reason in `error`.
  bool Start(Family family = Family::IPv4, uint16_t port = 0, std::string* error = nullptr);
  void Stop();

  uint16_t port() const { return port_; }
  // "127.0.0.1:PORT" or "[::1]:PORT": what the operator types.
  std::string Address() const;
  // "Address=..." for the [Network] section of Tillvane.ini.
  std::string AddressLine() const;

  // Connections are refused (nothing listens on the port) while on.
  void SetRefusing(bool on);
  // No connection is taken while on: the listening queue is kept full, so that a new
  // connect hangs until the caller's deadline.
  void SetUnresponsive(bool on);
  // Reads everything but never answers a status request.
  void SetSilent(bool on);
  // Stops reading a connection once it has received `count` bytes (empty: reads all).
  void SetStopReadingAfter(std::optional<size_t> count);
  // Resets a connection (RST) once it has received `count` bytes.
  void SetResetAfter(std::optional<size_t> count);
  // When the link closes its sending side, wait this long before closing ours.
  void SetCloseDelayMs(int ms);
  // Its receive buffer, set before listening; small values make the link's writes
  // wait sooner. 0 keeps the system's.
  void SetReceiveBuffer(int bytes);

  // The answer to GS r 1 (1D 72 01).
  void SetPaperStatus(uint8_t answer);
  // The answer to DLE EOT n (10 04 n), n 1..4; empty: that request gets no answer.
  void SetRealTimeStatus(int n, std::optional<uint8_t> answer);

  // With recording off only the count grows (long benchmark runs).
  void SetRecording(bool on);
  // Called on the printer's thread with each chunk read.
  void SetOnReceive(std::function<void(const uint8_t*, size_t)> on_receive);

  std::vector<uint8_t> Received() const;
  size_t received_count() const;
  void ClearReceived();
  bool WaitForReceived(size_t count, int timeout_ms) const;

  int connections() const;        // connections accepted so far
  int open_connections() const;   // still open on the printer's side
  int status_requests() const;    // GS r 1 seen
  int realtime_requests() const;  // DLE EOT n seen
  // Connections whose link closed its sending side in order (the printer read the
  // end of the stream rather than a reset).
  int orderly_closes() const;
  // Waits until no connection is open on the printer's side.
  bool WaitForNoConnection(int timeout_ms) const;

 private:
  struct Client {
    int fd = -1;
    size_t received = 0;
    bool reading = true;
    bool eof = false;
    int64_t close_at_ms = -1;  // on the steady clock, once end-of-stream was read
    int match = 0;             // bytes of a request matched so far, across reads
    uint8_t pending[3] = {};
  };

  void Run();
  void Wake();
  bool Listen(std::string* error);
  void StopListening();
  void FillBacklog();
  void DropBacklog();
  void Accept();
  // Reads one client; false when it is to be closed now.
  bool ReadClient(Client& c);
  void Answer(Client& c, const uint8_t* bytes, size_t length);
  void Reset(Client& c);

  Family family_ = Family::IPv4;
  std::atomic<uint16_t> port_{0};  // listening is redone on the printer's thread
  int listener_ = -1;
  int wake_ = -1;
  std::vector<int> backlog_;  // our own connections that fill the listening queue
  std::vector<Client> clients_;
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  bool stopping_ = false;
  bool refusing_ = false;
  bool unresponsive_ = false;
  // What the printer's thread has put into effect, so that the setters return only then.
  bool applied_refusing_ = false;
  bool applied_unresponsive_ = false;
  bool silent_ = false;
  std::optional<size_t> stop_after_;
  std::optional<size_t> reset_after_;
  int close_delay_ms_ = 0;
  int receive_buffer_ = 0;
  uint8_t paper_ = 0x00;
  std::array<std::optional<uint8_t>, 4> realtime_{{0x12, 0x12, 0x12, 0x12}};
  bool recording_ = true;
  std::vector<uint8_t> received_;
  size_t received_count_ = 0;
  int connections_ = 0;
  int open_ = 0;
  int status_requests_ = 0;
  int realtime_requests_ = 0;
  int orderly_closes_ = 0;
  std::function<void(const uint8_t*, size_t)> on_receive_;
};

}  // namespace tillvane::rigs
