// tillvane-sim-serial-printer: a simulated serial printer on a pseudo-terminal, for
// trying the program's serial link by hand. It prints the device to map a COM name to
// and then every byte it receives, until Ctrl+C.
//
//   tillvane-sim-serial-printer [--com N] [--silent] [--status HH]
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/rigs/serial_printer.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: tillvane-sim-serial-printer [--com N] [--silent] [--status HH]\n");
  return 2;
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
  using tillvane::rigs::SimSerialPrinter;
  int com = 1;
  bool silent = false;
  unsigned status = 0x00;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--com" && i + 1 < argc) {
      char* end = nullptr;
      long n = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || n < 1 || n > 8) return Usage();
      com = static_cast<int>(n);
    } else if (a == "--silent") {
      silent = true;
    } else if (a == "--status" && i + 1 < argc) {
      char* end = nullptr;
      unsigned long n = std::strtoul(argv[++i], &end, 16);
      if (*end != '\0' || n > 0xFF) return Usage();
      status = static_cast<unsigned>(n);
    } else {
      return Usage();
    }
  }

  // Ctrl+C and SIGTERM are taken by sigwait below, on this thread only.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  SimSerialPrinter printer;
  printer.SetMode(silent ? SimSerialPrinter::Mode::Silent : SimSerialPrinter::Mode::Answer);
  printer.SetStatusByte(static_cast<uint8_t>(status));
  printer.SetRecording(false);
  printer.SetOnReceive(PrintChunk);
  std::string error;
  if (!printer.Start(&error)) {
    std::fprintf(stderr, "cannot start the simulated printer: %s\n", error.c_str());
    return 1;
  }
  std::printf("Simulated serial printer on %s (%s)\n", printer.device_path().c_str(),
              silent ? "silent" : "answers GS r 1");
  std::printf("Put this line in the [Ports] section of Tillvane.ini:\n%s\n",
              printer.PortsLine(com).c_str());
  std::printf("Receiving; Ctrl+C ends.\n");
  std::fflush(stdout);

  int sig = 0;
  sigwait(&stop_signals, &sig);
  printer.Stop();
  std::printf("%zu bytes received, %d status requests.\n", printer.received_count(),
              printer.status_requests());
  return 0;
}
