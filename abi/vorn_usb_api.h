// The call shapes of the maker's USB interface library, VornUsbInt (libVornUsbInt.so).
//
// The program loads the library at run time by its bare name and resolves the twelve
// entry points below by name, in this order; all twelve must be present. It calls
// only OpenDeviceX, CloseDevice and uWrite. Every argument is 32 bits wide except the
// device handle and the buffer pointers. (The library this stands in for used the
// callee-cleans standard calling convention of 32-bit Windows; x86-64 Linux has one
// calling convention, so the plain C one is used.)
//
// Device handles: 0 (null) means "no such device"; -1 means "the device exists but
// could not be opened". Any other value is an open device, to be released with
// CloseDevice. Our Linux library returns the device's file descriptor, never 0..2.
//
// Pipes: the second argument of uWrite and uRead names the pipe; 0 is the printer's
// one data pipe (bulk OUT for uWrite, bulk IN for uRead). The program always passes 0.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef intptr_t VornUsbHandle;

#define VORN_USB_NO_DEVICE ((VornUsbHandle)0)
#define VORN_USB_OPEN_FAILED ((VornUsbHandle)-1)

// 1. OpenDeviceX(device number) -> handle (see above).
typedef VornUsbHandle (*VornOpenDeviceXFn)(int32_t device);
// 2. CloseDevice(handle) -> 0, or -1 for a handle that was not open.
typedef int32_t (*VornCloseDeviceFn)(VornUsbHandle handle);
// 3. uWrite(handle, pipe, bytes, count) -> number of bytes the device took (0..count).
//    Gives up when the device takes nothing for the write time-out (a few seconds).
typedef int32_t (*VornUWriteFn)(VornUsbHandle handle, int32_t pipe, const uint8_t* bytes,
                                int32_t count);
// 4. uRead(handle, pipe, buffer, capacity) -> bytes read (0 when none came within the
//    read time-out), or -1 on a device error.
typedef int32_t (*VornUReadFn)(VornUsbHandle handle, int32_t pipe, uint8_t* buffer,
                               int32_t capacity);
// 5. ResetPipes(handle) -> 0 or -1.
typedef int32_t (*VornResetPipesFn)(VornUsbHandle handle);
// 6. VendorRequest(handle, direction in, request, value, index, buffer, length)
//    -> bytes transferred, or -1.
typedef int32_t (*VornVendorRequestFn)(VornUsbHandle handle, int32_t direction_in, int32_t request,
                                       int32_t value, int32_t index, uint8_t* buffer,
                                       int32_t length);
// 7. GetDescriptor(handle, type, index, buffer, capacity) -> descriptor length, or -1.
typedef int32_t (*VornGetDescriptorFn)(VornUsbHandle handle, int32_t type, int32_t index,
                                       uint8_t* buffer, int32_t capacity);
// 8. GetConfiguration(handle) -> configuration value, or -1.
typedef int32_t (*VornGetConfigurationFn)(VornUsbHandle handle);
// 9. GetDeviceStatus(handle) -> status bits, or -1.
typedef int32_t (*VornGetDeviceStatusFn)(VornUsbHandle handle);
// 10. GetPipeInfo(handle, pipe, buffer, capacity) -> bytes of pipe information, or -1.
typedef int32_t (*VornGetPipeInfoFn)(VornUsbHandle handle, int32_t pipe, uint8_t* buffer,
                                     int32_t capacity);
// 11. AbortPipes(handle) -> 0 or -1.
typedef int32_t (*VornAbortPipesFn)(VornUsbHandle handle);
// 12. SetInterface(handle, interface, alternate setting) -> 0 or -1.
typedef int32_t (*VornSetInterfaceFn)(VornUsbHandle handle, int32_t interface_number,
                                      int32_t alternate);

// The names, in the order in which the program resolves them.
#define VORN_USB_ENTRY_POINTS(X)              \
  X(OpenDeviceX, VornOpenDeviceXFn)           \
  X(CloseDevice, VornCloseDeviceFn)           \
  X(uWrite, VornUWriteFn)                     \
  X(uRead, VornUReadFn)                       \
  X(ResetPipes, VornResetPipesFn)             \
  X(VendorRequest, VornVendorRequestFn)       \
  X(GetDescriptor, VornGetDescriptorFn)       \
  X(GetConfiguration, VornGetConfigurationFn) \
  X(GetDeviceStatus, VornGetDeviceStatusFn)   \
  X(GetPipeInfo, VornGetPipeInfoFn)           \
  X(AbortPipes, VornAbortPipesFn)             \
  X(SetInterface, VornSetInterfaceFn)

// Extras of our Linux library, not part of the maker's interface (tests and
// diagnostics reach them with dlsym):
//
// VornUsbSetDevicePattern(pattern): the device node of number n is the pattern with
// its one "%d" replaced by n; the default is "/dev/usb/lp%d". Null restores the
// default. Returns 0, or -1 (nothing changed) for a pattern without exactly one "%d"
// and no other conversion, or longer than 255 bytes.
typedef int32_t (*VornUsbSetDevicePatternFn)(const char* pattern);
// VornUsbSetTimeouts(write ms, read ms): the write time-out (the longest the device
// may take no byte) and the read time-out; a value of 0 or less keeps the current one.
typedef void (*VornUsbSetTimeoutsFn)(int32_t write_ms, int32_t read_ms);
// VornUsbLastError(): why the calling thread's last failed OpenDeviceX or uWrite
// failed, in the system's words ("open /dev/usb/lp0: Permission denied"); "" when
// none failed. Valid until the thread's next call.
typedef const char* (*VornUsbLastErrorFn)(void);

#ifdef __cplusplus
}
#endif
