#include "link/send_data.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/message_sink.h"
#include "link/link_state.h"

namespace tillvane {
namespace {

// Opens the command file for appending, held exclusively for this call (another
// process holding it makes the open fail, as a file opened without sharing would).
int OpenCommandFile(int extra_flags) {
  int fd = ::open(kCommandFileName, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | extra_flags, 0666);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Appends one call's bytes to "Commands.dat", emptying it first when it has reached
// the size bound. Returns true when the bytes were written.
bool AppendToCommandFile(const uint8_t* bytes, int32_t length) {
  int fd = OpenCommandFile(0);
  if (fd < 0) {
    ShowMessage(kCommandFileError);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size >= kCommandFileLimit) {
    ::close(fd);
    ::unlink(kCommandFileName);
    fd = OpenCommandFile(O_TRUNC);
    if (fd < 0) {
      ShowMessage(kCommandFileError);
      return false;
    }
  }
  bool written = true;
  int32_t done = 0;
  while (done < length) {
    ssize_t n = ::write(fd, bytes + done, static_cast<size_t>(length - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      written = false;
      break;
    }
    done += static_cast<int32_t>(n);
  }
  ::close(fd);
  return written;
}

// The link half of SendData, with the link lock held.
int32_t WriteToLink(LinkState& s, const uint8_t* bytes, int32_t length, bool copied) {
  switch (s.LinkKind.load()) {
    case LinkParallel: {
      int32_t written = 0;
      try {
        if (s.Parallel) written = s.Parallel->WriteBuffer(bytes, length);
      } catch (...) {
        return -1;
      }
      return written == length ? 0 : -1;
    }
    case LinkSerial: {
      if (!s.SerialHandle) return -1;
      return s.SerialHandle->Write(bytes, length) == length ? 0 : -1;
    }
    case LinkPrintQueue: {
      if (!s.QueueHandle) return -1;  // marked closed: no spooler call
      if (s.QueueHandle->Write(bytes, length)) return 0;
      // A failed write ends the document and closes the queue.
      s.QueueClosedBecause = s.QueueHandle->FailureReason();
      s.QueueHandle->EndDocument();
      s.QueueHandle.reset();
      return -1;
    }
    case LinkUsb: {
      if (!s.UsbHandle) return -1;
      return s.UsbHandle->Write(bytes, length) == length ? 0 : -1;
    }
    case LinkNetwork: {
      if (!s.NetworkHandle) return -1;
      return s.NetworkHandle->Write(bytes, length) == length ? 0 : -1;
    }
    case LinkVirtual: {
      if (!s.VirtualHandle) return -1;
      return s.VirtualHandle->Write(bytes, length) == length ? 0 : -1;
    }
    default:
      // No link: the bytes went somewhere only if the command file took them.
      return copied ? 0 : -1;
  }
}

}  // namespace

int32_t SendData(const uint8_t* bytes, int32_t length) {
  if (length < 0 || (length > 0 && bytes == nullptr)) return -1;
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);

  // The copy goes first, so that the bytes of a failed send are still in the file.
  bool copied = false;
  if (s.PrintToFile) copied = AppendToCommandFile(bytes, length);
  return WriteToLink(s, bytes, length, copied);
}

int32_t SendToLinkOnly(const uint8_t* bytes, int32_t length) {
  if (length < 0 || (length > 0 && bytes == nullptr)) return -1;
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  return WriteToLink(s, bytes, length, false);
}

}  // namespace tillvane
