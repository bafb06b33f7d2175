// tillvane-sim-network-printer: a simulated raw TCP printer on the loopback interface,
// for trying the program's network link by hand. It prints the Address= line for the
// [Network] section of Tillvane.ini and then every byte it receives, until Ctrl+C.
//
//   tillvane-sim-network-printer [--ipv6] [--port N] [--silent] [--paper HH]
//                                [--status N HH]... [--close-delay MS]
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/rigs/network_printer.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: tillvane-sim-network-printer [--ipv6] [--port N] [--silent] [--paper HH]\n"
               "                                    [--status N HH]... [--close-delay MS]\n");
  return 2;
}

bool ParseNumber(const char* text, int base, unsigned long max, unsigned long* value) {
  char* end = nullptr;
  *value = std::strtoul(text, &end, base);
  return end != text && *end == '\0' && *value <= max;
}

// Prints a chunk as hex, sixteen bytes a line, with the printable characters beside.
void PrintChunk(const uint8_t* bytes, size_t length) {
  for (size_t row = 0; row < length; row += 16) {
    char line[100];
    int pos = 0;
    for (size_t i = row; i < row + 16; ++i) {
      if (i < length)
        pos += std::snprintf(line + pos, sizeof line - pos, "%02X ", bytes[i]);
      else
        pos += std::snprintf(line + pos, sizeof line - pos, "   ");
    }
    pos += std::snprintf(line + pos, sizeof line - pos, " ");
    for (size_t i = row; i < row + 16 && i < length; ++i)
      line[pos++] = (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
    line[pos] = '\0';
    std::printf("%s\n", line);
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  using tillvane::rigs::SimNetworkPrinter;
  SimNetworkPrinter printer;
  auto family = SimNetworkPrinter::Family::IPv4;
  unsigned long port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    unsigned long v = 0, n = 0;
    if (a == "--ipv6") {
      family = SimNetworkPrinter::Family::IPv6;
    } else if (a == "--port" && i + 1 < argc) {
      if (!ParseNumber(argv[++i], 10, 65535, &port)) return Usage();
    } else if (a == "--silent") {
      printer.SetSilent(true);
    } else if (a == "--paper" && i + 1 < argc) {
      if (!ParseNumber(argv[++i], 16, 0xFF, &v)) return Usage();
      printer.SetPaperStatus(static_cast<uint8_t>(v));
    } else if (a == "--status" && i + 2 < argc) {
      if (!ParseNumber(argv[++i], 10, 4, &n) || n < 1 || !ParseNumber(argv[++i], 16, 0xFF, &v))
        return Usage();
      printer.SetRealTimeStatus(static_cast<int>(n), static_cast<uint8_t>(v));
    } else if (a == "--close-delay" && i + 1 < argc) {
      if (!ParseNumber(argv[++i], 10, 600000, &v)) return Usage();
      printer.SetCloseDelayMs(static_cast<int>(v));
    } else {
      return Usage();
    }
  }

  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  printer.SetRecording(false);
  printer.SetOnReceive(PrintChunk);
  std::string error;
  if (!printer.Start(family, static_cast<uint16_t>(port), &error)) {
    std::fprintf(stderr, "cannot start the simulated network printer: %s\n", error.c_str());
    return 1;
  }
  std::printf("Simulated network printer on %s\n", printer.Address().c_str());
  std::printf("Put these lines in Tillvane.ini:\n[Network]\n%s\n", printer.AddressLine().c_str());
  std::printf("Receiving; Ctrl+C ends.\n");
  std::fflush(stdout);

  int sig = 0;
  sigwait(&stop_signals, &sig);
  printer.Stop();
  std::printf("%zu bytes received over %d connections, %d GS r 1 and %d DLE EOT requests.\n",
              printer.received_count(), printer.connections(), printer.status_requests(),
              printer.realtime_requests());
  return 0;
}
