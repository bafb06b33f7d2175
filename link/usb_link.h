// The USB link through the maker's USB library, loaded at run time by bare name.
#pragma once

#include <string>
#include <vector>

#include "base/operator_text.h"

namespace tillvane {

inline constexpr const char* kUsbOpenFailed = OPERATOR_TEXT("Operator", "打开USB失败！");

// Loads the library and resolves its twelve entry points. A library that lacks one is
// unloaded again and false returned; a library kept from an earlier call stays in
// force when a later load fails.
[[nodiscard]] bool LoadUsbLibrary();
// Lists devices 0..7 as "VORNUSB-<n>" until the first that yields no device; replaces
// `labels` and returns the count. Each device found is released again. With no
// library loaded the list is empty.
int ListUsbDevices(std::vector<std::string>& labels);
// Opens device n as the open link; shows "打开USB失败！" and returns false on failure,
// with why in `reason` when it is given ("libVornUsbInt.so: OpenDeviceX returned -1
// for device 0 (open /dev/usb/lp0: Permission denied)"). The device open before is
// released first (with the library's CloseDevice). A number outside 0..7, a null
// handle and -1 all fail.
[[nodiscard]] bool OpenUsbDevice(int n, std::string* reason = nullptr);
// Unloads the library at window close. The open device, if any, is dropped from
// the link state first (released through the library while it is still loaded), so that
// no send can call into the unloaded library.
void UnloadUsbLibrary();

}  // namespace tillvane
