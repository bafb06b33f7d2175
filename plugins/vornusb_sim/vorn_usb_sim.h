// The control functions of the simulated USB interface library. The simulated library
// exports the twelve entry points of abi/vorn_usb_api.h and these; a test that
// has the program load it reaches them with dlsym on
// dlopen("libVornUsbInt.so", RTLD_NOLOAD).
//
// At load the library reads TILLVANE_SIM_USB_DEVICES (a count, default 0) so that a
// whole program started by a test finds that many devices, numbered from 0.
#pragma once

#include <stdint.h>

#include "abi/vorn_usb_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define VORN_USB_SIM_MAX_DEVICES 64

// Back to the state at load: the device count from the environment, every record,
// counter and behaviour cleared, every handle forgotten.
typedef void (*VornUsbSimResetFn)(void);
// Devices 0..count-1 are present (count is clamped to 0..VORN_USB_SIM_MAX_DEVICES).
typedef void (*VornUsbSimSetDeviceCountFn)(int32_t count);
// OpenDeviceX(device) returns `result` instead of opening (forced != 0), e.g. -1 or 0.
typedef void (*VornUsbSimForceOpenResultFn)(int32_t device, int32_t forced, VornUsbHandle result);
// Each uWrite to the device takes at most `limit` bytes (< 0: no limit).
typedef void (*VornUsbSimSetWriteLimitFn)(int32_t device, int32_t limit);
// Each uWrite to the device takes nothing and returns `result` (failing != 0).
typedef void (*VornUsbSimSetWriteFailureFn)(int32_t device, int32_t failing, int32_t result);
// Calls of OpenDeviceX with this number, whatever it returned (any number).
typedef int32_t (*VornUsbSimOpenCallsFn)(int32_t device);
// Calls of CloseDevice on open handles of this device.
typedef int32_t (*VornUsbSimCloseCallsFn)(int32_t device);
// Handles of the device open now.
typedef int32_t (*VornUsbSimOpenHandlesFn)(int32_t device);
// Calls of uWrite that reached the device.
typedef int32_t (*VornUsbSimWriteCallsFn)(int32_t device);
// Calls of any entry point with a handle that is not open (closed, forged, null, -1).
typedef int32_t (*VornUsbSimStaleHandleCallsFn)(void);
// Copies up to `capacity` of the bytes the device took, in order; returns how many it
// took in all.
typedef int32_t (*VornUsbSimReceivedFn)(int32_t device, uint8_t* buffer, int32_t capacity);

#define VORN_USB_SIM_CONTROLS(X)                              \
  X(VornUsbSimReset, VornUsbSimResetFn)                       \
  X(VornUsbSimSetDeviceCount, VornUsbSimSetDeviceCountFn)     \
  X(VornUsbSimForceOpenResult, VornUsbSimForceOpenResultFn)   \
  X(VornUsbSimSetWriteLimit, VornUsbSimSetWriteLimitFn)       \
  X(VornUsbSimSetWriteFailure, VornUsbSimSetWriteFailureFn)   \
  X(VornUsbSimOpenCalls, VornUsbSimOpenCallsFn)               \
  X(VornUsbSimCloseCalls, VornUsbSimCloseCallsFn)             \
  X(VornUsbSimOpenHandles, VornUsbSimOpenHandlesFn)           \
  X(VornUsbSimWriteCalls, VornUsbSimWriteCallsFn)             \
  X(VornUsbSimStaleHandleCalls, VornUsbSimStaleHandleCallsFn) \
  X(VornUsbSimReceived, VornUsbSimReceivedFn)

#ifdef __cplusplus
}
#endif
