#define FUSE_USE_VERSION 35
#include "tests/parallel/fuse_parport.h"

#include <fuse3/fuse.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace tillvane::testing {

namespace {

constexpr const char* kFile = "/parport0";

FuseParport* Self() {
  return static_cast<FuseParport*>(fuse_get_context()->private_data);
}

void* Init(struct fuse_conn_info*, struct fuse_config* config) {
  config->attr_timeout = 0;
  config->entry_timeout = 0;
  config->negative_timeout = 0;
  return fuse_get_context()->private_data;
}

int GetAttr(const char* path, struct stat* st, struct fuse_file_info*) {
  std::memset(st, 0, sizeof *st);
  if (std::strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return 0;
  }
  if (std::strcmp(path, kFile) == 0) {
    st->st_mode = S_IFREG | 0666;
    st->st_nlink = 1;
    return 0;
  }
  return -ENOENT;
}

int Open(const char* path, struct fuse_file_info*) {
  if (std::strcmp(path, kFile) != 0) return -ENOENT;
  Self()->Opened();
  return 0;
}

int Release(const char*, struct fuse_file_info*) {
  Self()->Released();
  return 0;
}

int DoIoctl(const char*, unsigned int cmd, void*, struct fuse_file_info*, unsigned int,
            void* data) {
  return Self()->HandleIoctl(cmd, data);
}

}  // namespace

FuseParport::~FuseParport() {
  Stop();
}

bool FuseParport::Start() {
  char pattern[] = "/tmp/tillvane-parport-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    error_ = std::string("mkdtemp: ") + std::strerror(errno);
    return false;
  }
  root_ = pattern;
  mount_ = root_ + "/mnt";
  std::filesystem::create_directory(mount_);
  if (access("/dev/fuse", R_OK | W_OK) != 0) {
    error_ = std::string("/dev/fuse: ") + std::strerror(errno);
    return false;
  }
  static const struct fuse_operations ops = [] {
    struct fuse_operations o {};
    o.init = Init;
    o.getattr = GetAttr;
    o.open = Open;
    o.release = Release;
    o.ioctl = DoIoctl;
    return o;
  }();
  char arg0[] = "tillvane-parport";
  char* argv[] = {arg0, nullptr};
  struct fuse_args args = FUSE_ARGS_INIT(1, argv);
  fuse_ = fuse_new(&args, &ops, sizeof ops, this);
  fuse_opt_free_args(&args);
  if (fuse_ == nullptr) {
    error_ = "fuse_new failed";
    return false;
  }
  if (fuse_mount(fuse_, mount_.c_str()) != 0) {
    error_ = "mounting a FUSE file system failed (no permission to mount here?)";
    fuse_destroy(fuse_);
    fuse_ = nullptr;
    return false;
  }
  mounted_ = true;
  loop_ = std::thread([f = fuse_] { fuse_loop(f); });
  struct stat st;
  if (stat(device().c_str(), &st) != 0) {
    error_ = std::string("the FUSE file cannot be reached: ") + std::strerror(errno);
    Stop();
    return false;
  }
  return true;
}

void FuseParport::Stop() {
  if (fuse_ != nullptr) {
    if (mounted_) {
      fuse_exit(fuse_);
      // Unmounting ends the connection, which ends the loop.
      umount2(mount_.c_str(), MNT_DETACH);
      if (loop_.joinable()) loop_.join();
      fuse_unmount(fuse_);
      mounted_ = false;
    }
    fuse_destroy(fuse_);
    fuse_ = nullptr;
  }
  if (!root_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    root_.clear();
  }
}

FuseParport::State FuseParport::Snapshot() {
  std::lock_guard lock(mutex_);
  return state_;
}

void FuseParport::SetStatus(uint8_t status) {
  std::lock_guard lock(mutex_);
  state_.status = status;
}

void FuseParport::Opened() {
  std::lock_guard lock(mutex_);
  ++state_.opens;
}

void FuseParport::Released() {
  std::lock_guard lock(mutex_);
  ++state_.releases;
  state_.claimed = false;
}

int FuseParport::HandleIoctl(unsigned int request, void* data) {
  std::lock_guard lock(mutex_);
  State& s = state_;
  auto* byte = static_cast<uint8_t*>(data);
  if (request == PPCLAIM) {
    if (s.claimed) return -EINVAL;
    s.claimed = true;
    ++s.claims;
    s.ioctls.push_back({request, 0});
    return 0;
  }
  if (request == PPRELEASE) {
    if (!s.claimed) return -EINVAL;
    s.claimed = false;
    ++s.unclaims;
    s.ioctls.push_back({request, 0});
    return 0;
  }
  // As in ppdev, the registers are only served to a port claimed before.
  if (!s.claimed) return -EINVAL;
  switch (request) {
    case PPRDATA:
      *byte = s.data;
      break;
    case PPWDATA:
      s.data = *byte;
      break;
    case PPRSTATUS:
      *byte = s.status;
      break;
    case PPRCONTROL:
      *byte = s.control;
      break;
    case PPWCONTROL:
      if ((s.control & 0x01) != 0 && (*byte & 0x01) == 0) s.printed.push_back(s.data);
      s.control = *byte;
      break;
    default:
      return -ENOTTY;
  }
  s.ioctls.push_back({request, *byte});
  return 0;
}

}  // namespace tillvane::testing
