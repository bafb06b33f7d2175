// Our own port I/O library for Linux. The registers of a known parallel port are
// served through the kernel's ppdev driver, so no raw port access and no root are
// needed: an address is base + 0 (data), + 1 (status) or + 2 (control) of a port in
// the table below. The device of a port is opened and claimed at its first access.
// Any other address reads 0xFF and ignores writes; addresses 0 to 2 are never served.
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "abi/dlportio_wide.h"
#include "abi/lpt_ports.h"

namespace {

constexpr int kMaxPorts = 8;

struct Port {
  uint16_t base = 0;  // 0: unused entry
  std::string device;
  int fd = -1;
  bool failed = false;  // opening or claiming failed; not tried again until reset
};

class Ports {
 public:
  Ports() {
    // The ports that have a base address, on the system's parport devices in order.
    for (size_t i = 0; i < std::size(ports_) && i < std::size(tillvane::kLptBaseTable); ++i) {
      if (tillvane::kLptBaseTable[i] == 0) continue;
      ports_[i].base = tillvane::kLptBaseTable[i];
      ports_[i].device = "/dev/parport" + std::to_string(i);
    }
  }
  ~Ports() {
    for (Port& p : ports_) Close(p);
  }

  int SetDevice(uint16_t base, const char* path) {
    if (base < 3 || base > 0xFFFD) return -1;
    std::lock_guard lock(mutex_);
    Port* slot = nullptr;
    for (Port& p : ports_) {
      if (p.base == base) {
        slot = &p;
        break;
      }
      if (p.base == 0 && slot == nullptr) slot = &p;
    }
    if (slot == nullptr) return -1;
    Close(*slot);
    if (path == nullptr || *path == '\0') {
      *slot = Port{};
      return 0;
    }
    slot->base = base;
    slot->device = path;
    return 0;
  }

  uint8_t Read(uint16_t address) {
    std::lock_guard lock(mutex_);
    int reg = 0;
    int fd = Device(address, &reg);
    if (fd < 0) return 0xFF;
    unsigned char value = 0xFF;
    unsigned long request = reg == 0 ? PPRDATA : reg == 1 ? PPRSTATUS : PPRCONTROL;
    if (ioctl(fd, request, &value) != 0) return 0xFF;
    return value;
  }

  void Write(uint16_t address, uint8_t byte) {
    std::lock_guard lock(mutex_);
    int reg = 0;
    int fd = Device(address, &reg);
    if (fd < 0) return;
    unsigned char value = byte;
    // The status register is read-only.
    if (reg == 0) {
      ioctl(fd, PPWDATA, &value);
    } else if (reg == 2) {
      ioctl(fd, PPWCONTROL, &value);
    }
  }

 private:
  static void Close(Port& p) {
    if (p.fd >= 0) {
      ioctl(p.fd, PPRELEASE);
      close(p.fd);
    }
    p.fd = -1;
    p.failed = false;
  }

  // The open device serving `address`, or -1; `reg` gets the register offset.
  int Device(uint16_t address, int* reg) {
    if (address < 3) return -1;
    for (Port& p : ports_) {
      if (p.base == 0 || address < p.base || address > p.base + 2) continue;
      *reg = address - p.base;
      if (p.fd >= 0) return p.fd;
      if (p.failed) return -1;
      int fd = open(p.device.c_str(), O_RDWR | O_CLOEXEC);
      if (fd >= 0 && ioctl(fd, PPCLAIM) != 0) {
        close(fd);
        fd = -1;
      }
      if (fd < 0) {
        p.failed = true;
        return -1;
      }
      p.fd = fd;
      return fd;
    }
    return -1;
  }

  std::mutex mutex_;
  Port ports_[kMaxPorts];
};

Ports& Table() {
  static Ports ports;
  return ports;
}

uint8_t ReadByte(uint16_t port) {
  return Table().Read(port);
}
void WriteByte(uint16_t port, uint8_t value) {
  Table().Write(port, value);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint8_t DlPortReadPortUchar(uint16_t port) {
  return ReadByte(port);
}

__attribute__((visibility("default"))) void DlPortWritePortUchar(uint16_t port, uint8_t value) {
  WriteByte(port, value);
}

// Points the port at `base` at another ppdev device (a path), adding it to the table
// when it is not there; an empty path or null removes the port. Closes the device the
// port had open. 0 on success, -1 for a base of 0 to 2 or above 0xFFFD, or a full table.
__attribute__((visibility("default"))) int DlPortIoSetDevicePath(uint16_t base, const char* path) {
  return Table().SetDevice(base, path);
}

}  // extern "C"

TILLVANE_DLPORTIO_WIDE_ENTRY_POINTS()
