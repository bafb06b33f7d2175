// Controls of the simulated port I/O library: a parallel printer at register level
// behind one port (base 0x378 unless changed). Tests resolve these by name from the
// loaded library.
//
// The printer latches the data byte when the strobe (control bit 0) goes from
// asserted to released. After each latched byte it shows Busy (status bit 7 clear)
// for a number of status reads and/or milliseconds. Paper end (status bit 5) can be
// raised at once or after a number of printed bytes. A strobe while busy or out of
// paper prints nothing and is counted.
#pragma once

#include <cstdint>

#define DLPORTIO_SIM_API __attribute__((visibility("default")))

extern "C" {

// One entry of the access log: kind in bits 24..31 (0 read, 1 write), the 16-bit
// address in bits 8..23, the value in bits 0..7.
inline constexpr uint32_t kDlPortSimRead = 0;
inline constexpr uint32_t kDlPortSimWrite = 1;
inline constexpr uint32_t kDlPortSimLogLimit = 65536;

// Back to power-on: base 0x378, registers data 0, status 0xDF, control 0x0C, no busy
// time, paper in, nothing printed, all counters and logs empty.
DLPORTIO_SIM_API void DlPortSimReset(void);
DLPORTIO_SIM_API void DlPortSimSetBase(uint16_t base);
// Raw register values as a status read shows them when the printer is neither busy
// nor out of paper; not logged.
DLPORTIO_SIM_API void DlPortSimSetRegisters(uint8_t data, uint8_t status, uint8_t control);
DLPORTIO_SIM_API void DlPortSimSetBusyReads(uint32_t reads);
DLPORTIO_SIM_API void DlPortSimSetBusyMs(uint32_t ms);
DLPORTIO_SIM_API void DlPortSimSetPaperEnd(int on);
// Raises paper end once `count` bytes in all have been printed; 0 turns it off.
DLPORTIO_SIM_API void DlPortSimSetPaperEndAfter(uint32_t count);

// Copies up to `max` printed bytes into `buffer`; returns how many were printed.
DLPORTIO_SIM_API uint32_t DlPortSimPrinted(uint8_t* buffer, uint32_t max);
// Register reads of any address, counted without limit.
DLPORTIO_SIM_API uint32_t DlPortSimRegisterReads(void);
// Values written to the control register, in order.
DLPORTIO_SIM_API uint32_t DlPortSimControlWrites(uint8_t* buffer, uint32_t max);
// Every access in order (the first kDlPortSimLogLimit).
DLPORTIO_SIM_API uint32_t DlPortSimAccessLog(uint32_t* buffer, uint32_t max);
// Accesses to addresses 0 to 2.
DLPORTIO_SIM_API uint32_t DlPortSimLowAccesses(void);
// Strobes that printed nothing because the printer was busy or out of paper.
DLPORTIO_SIM_API uint32_t DlPortSimIgnoredStrobes(void);
}
