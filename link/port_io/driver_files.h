// The registry and file operations of the driver-file restore step.
#pragma once

#include <string>

namespace tillvane {

// The machine-wide registry, opened read-only.
class Registry {
 public:
  virtual ~Registry() = default;
  // Opens a key under HKEY_LOCAL_MACHINE for reading; false when it does not exist or
  // cannot be opened.
  virtual bool OpenKey(const std::string& key) = 0;
  // A string value of the open key.
  virtual bool ReadString(const std::string& name, std::string* value) = 0;
  virtual void CloseKey() = 0;
};

class Files {
 public:
  virtual ~Files() = default;
  virtual bool Exists(const std::string& path) = 0;
  virtual bool CreateFolder(const std::string& path) = 0;
  // Copies `from` to `to`, replacing an existing file.
  virtual bool Copy(const std::string& from, const std::string& to) = 0;
};

// A platform without a registry: no key exists.
Registry& NoRegistry();
// The real file system.
Files& SystemFiles();

}  // namespace tillvane
