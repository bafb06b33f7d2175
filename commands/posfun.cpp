#include "commands/posfun.h"

#include <initializer_list>

#include "commands/send_run.h"

namespace tillvane {
namespace {

// The fixed part of one command goes out in one SendData call, from an array on the
// caller's stack, so that builders on two threads never share a buffer. Its length is
// known when the builder is compiled.
template <size_t N>
int32_t SendFixed(const uint8_t (&bytes)[N]) {
  static_assert(N >= 1 && N <= kLongestFixedPart, "a fixed part of 1 to kLongestFixedPart bytes");
  return SendInRun(bytes, static_cast<int32_t>(N));
}

int32_t SendByte(uint8_t b) {
  return SendInRun(&b, 1);
}

// The fixed part, then each trailing byte in a call of its own; stops at the first failure.
template <size_t N>
int32_t SendCommand(const uint8_t (&fixed)[N], std::initializer_list<uint8_t> params) {
  if (int32_t r = SendFixed(fixed); r != 0) return r;
  for (uint8_t b : params) {
    if (int32_t r = SendByte(b); r != 0) return r;
  }
  return 0;
}

constexpr uint8_t kCode128 = 8;

}  // namespace

int32_t InitializePrinter() {
  return SendFixed({ESC, '@'});  // ESC @: initialise
}
int32_t SelectStandardMode() {
  return SendFixed({ESC, 'S'});  // ESC S: standard mode
}
int32_t SelectPageMode() {
  return SendFixed({ESC, 'L'});  // ESC L: page mode
}

int32_t SetLineSpacing(uint8_t n) {
  // A spacing with the top bit set selects the default spacing instead.
  if (n & 0x80) return SendFixed({ESC, '2'});  // ESC 2: default line spacing
  return SendCommand({ESC, '3'}, {n});         // ESC 3 n: line spacing of n motion units
}

int32_t PrintAndLineFeed() {
  return SendFixed({LF});  // LF: print and feed one line
}
int32_t PrintPage() {
  return SendFixed({ESC, FF});  // ESC FF: print the page, stay in page mode
}
int32_t PrintAndReturnToStandardMode() {
  return SendFixed({FF});  // FF: print the page and return to standard mode
}

int32_t SetAbsolutePosition(uint8_t nL, uint8_t nH) {
  return SendCommand({ESC, '$'}, {nL, nH});  // ESC $ nL nH: absolute print position
}

int32_t SetPageArea(uint8_t xL, uint8_t xH, uint8_t yL, uint8_t yH, uint8_t dxL, uint8_t dxH,
                    uint8_t dyL, uint8_t dyH) {
  // ESC W xL xH yL yH dxL dxH dyL dyH: print area of page mode
  return SendCommand({ESC, 'W'}, {xL, xH, yL, yH, dxL, dxH, dyL, dyH});
}

int32_t SetPageDirection(uint8_t n) {
  return SendCommand({ESC, 'T'}, {n});  // ESC T n: print direction of page mode
}

int32_t SetAbsoluteVerticalPosition(uint8_t nL, uint8_t nH) {
  return SendCommand({GS, '$'}, {nL, nH});  // GS $ nL nH: absolute vertical position
}

int32_t SetRelativeVerticalPosition(uint8_t nL, uint8_t nH) {
  return SendCommand({GS, '\\'}, {nL, nH});  // GS \\ nL nH: relative vertical position
}

int32_t SetMotionUnits(uint8_t x, uint8_t y) {
  return SendCommand({GS, 'P'}, {x, y});  // GS P x y: horizontal and vertical motion units
}
int32_t CancelPageData() {
  return SendFixed({CAN});  // CAN: cancel the data of the page
}

int32_t PrintText(const char* text) {
  if (text == nullptr) return -1;
  for (const char* p = text; *p != '\0'; ++p) {
    if (int32_t r = SendByte(static_cast<uint8_t>(*p)); r != 0) return r;
  }
  return 0;
}

int32_t SelectFont(uint8_t n) {
  return SendCommand({ESC, 'F'}, {n});  // ESC F n: font
}
int32_t SetEmphasized(uint8_t n) {
  return SendCommand({ESC, 'E'}, {n});  // ESC E n: emphasised on or off
}
int32_t SetCharacterSize(uint8_t n) {
  return SendCommand({GS, '!'}, {n});  // GS ! n: character width and height
}
int32_t SetCharacterSpacing(uint8_t n) {
  return SendCommand({ESC, SP}, {n});  // ESC SP n: right-side character spacing
}
int32_t SetPrintMode(uint8_t n) {
  return SendCommand({ESC, '!'}, {n});  // ESC ! n: print mode
}

int32_t SetBarcodeHri(uint8_t position, uint8_t font) {
  // GS H n and GS f n: two fixed parts, each with its trailing byte.
  if (int32_t r = SendCommand({GS, 'H'}, {position}); r != 0) return r;  // GS H n: HRI position
  return SendCommand({GS, 'f'}, {font});                                 // GS f n: HRI font
}

int32_t PrintBarcode(uint8_t width, uint8_t height, uint8_t system, uint8_t length,
                     const char* data) {
  // Width and height live inside the fixed part; a 0 there would end the command early
  // on the printer's side of the wire, so it is refused before anything goes out.
  if (width == 0 || height == 0 || data == nullptr) return -1;
  // GS w n: bar width; GS h n: bar height; GS k m n d1...dn: print the bar code, with
  // the system m counted from 'A'.
  if (int32_t r = SendFixed({GS, 'w', width, GS, 'h', height, GS, 'k'}); r != 0) return r;
  if (int32_t r = SendByte(static_cast<uint8_t>('A' + system)); r != 0) return r;
  if (int32_t r = SendByte(length); r != 0) return r;

  // CODE128 in code set A or B: after the two-byte prefix ("{A", "{B") the text goes
  // out as symbol values, its bytes minus 0x20. Code set C is sent unchanged.
  bool shift = system == kCode128 && !(data[0] != '\0' && data[1] == 'C');
  for (int32_t i = 0; data[i] != '\0'; ++i) {
    uint8_t b = static_cast<uint8_t>(data[i]);
    if (shift && i >= 2) b = static_cast<uint8_t>(b - 0x20);
    if (int32_t r = SendByte(b); r != 0) return r;
  }
  return 0;
}

int32_t PrintRamLogo(uint8_t n) {
  if (int32_t r = SendCommand({GS, '#'}, {n}); r != 0) return r;  // GS # n: select RAM logo n
  return SendFixed({GS, '/', '0'});  // GS / m: print the selected logo, normal size
}

int32_t PrintFlashLogo(uint8_t n) {
  return SendCommand({FS, 'p'}, {n, 0x00});  // FS p n m: print flash logo n, normal size
}

int32_t SelectRamLogo(uint8_t n) {
  return SendFixed({GS, '#', n});  // GS # n: select RAM logo n (one call, unlike PrintRamLogo)
}

int32_t DefineRamLogoSize(uint8_t x, uint8_t y) {
  return SendFixed({GS, '*', x, y});  // GS * x y: define a RAM logo of x by y bands
}

int32_t DefineFlashLogos(uint8_t n) {
  return SendFixed({FS, 'q', n});  // FS q n: define n flash logos
}

int32_t FeedPaper(int32_t mode, int32_t n) {
  if (n < 1) return -1;
  uint8_t code;
  switch (mode) {
    case 0:
      code = NAK;
      break;
    case 1:
      code = RS;
      break;
    default:
      return -1;
  }
  // NAK n: feed n dot lines; RS n: feed n lines.
  return SendCommand({code}, {static_cast<uint8_t>(n & 0xFF)});
}

int32_t CutPaper(uint8_t m, uint8_t n) {
  // m lives inside the fixed part; see PrintBarcode.
  if (m == 0) return -1;
  if (m == 'A' || m == 'B') return SendCommand({GS, 'V', m}, {n});  // GS V m n: feed n, cut
  return SendFixed({GS, 'V', m});                                   // GS V m: cut
}

int32_t TransmitPaperStatus() {
  return SendFixed({GS, 'r', 1});  // GS r 1: send the paper sensor status
}

}  // namespace tillvane
