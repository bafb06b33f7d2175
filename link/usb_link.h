// The USB link through the maker's USB library, loaded at run time by bare name.
#pragma once

#include <string>
#include <vector>

namespace tillvane {

inline constexpr const char* kUsbOpenFailed = "打开USB失败！";

// Loads the library and resolves its twelve entry points.
bool LoadUsbLibrary();
// Lists devices 0..7 as "VORNUSB-<n>" until the first that yields no device; replaces
// `labels` and returns the count.
int ListUsbDevices(std::vector<std::string>& labels);
// Opens device n into UsbHandle; shows "打开USB失败！" and returns false on failure.
bool OpenUsbDevice(int n);
// Unloads the library at window close.
void UnloadUsbLibrary();

}  // namespace tillvane
