// Starts a private CUPS daemon with raw capture queues for trying the print-queue link
// by hand: tillvane-cups-rig [QUEUE ...]. Prints the socket to point CUPS_SERVER at and
// where each queue's jobs land; stops the daemon and removes its folder on Enter or
// end of input.
#include <cstdio>
#include <iostream>
#include <string>

#include "tests/rigs/cups_rig.h"

int main(int argc, char** argv) {
  tillvane::rigs::CupsRig rig;
  if (!rig.Ready()) {
    std::fprintf(stderr, "tillvane-cups-rig: %s\n", rig.Error().c_str());
    return 1;
  }
  std::printf("CUPS_SERVER=%s\nfolder %s\n", rig.SocketPath().c_str(), rig.Folder().c_str());
  for (int i = 1; i < argc; ++i) {
    auto out = rig.AddRawQueue(argv[i]);
    if (out.empty()) {
      std::fprintf(stderr, "tillvane-cups-rig: queue %s: %s\n", argv[i], rig.Error().c_str());
      return 1;
    }
    std::printf("queue %s -> %s\n", argv[i], out.c_str());
  }
  std::printf("Press Enter to stop.\n");
  std::fflush(stdout);
  std::string line;
  std::getline(std::cin, line);
  return 0;
}
