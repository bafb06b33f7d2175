// One builder per printer command. Each formats its fixed part and sends it in one
// SendData call, then sends each trailing parameter byte in a call of its own; it stops
// at the first failed send and returns its result (0 when every send succeeded).
// Printable command bytes are written as characters, each command named in a comment.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/operator_text.h"
#include "protocol/control_bytes.h"

namespace tillvane {

// Shown by every action whose first send failed.
inline constexpr const char* kSendFailedMessage = OPERATOR_TEXT(
    "Operator",
    "发送数据失败!\n            Please check whether the printer is connected to the specified "
    "port correctly");

// The longest fixed part a builder sends in one call (PrintBarcode's GS w, GS h, GS k);
// every builder's fixed part is checked against it when it is compiled.
inline constexpr size_t kLongestFixedPart = 8;

// Control bytes by their ASCII mnemonics.
using protocol::CAN, protocol::ESC, protocol::FF, protocol::FS, protocol::GS, protocol::LF,
    protocol::NAK, protocol::RS, protocol::SP;

int32_t InitializePrinter();
int32_t SelectStandardMode();
int32_t SelectPageMode();
int32_t SetLineSpacing(uint8_t n);
int32_t PrintAndLineFeed();
int32_t PrintPage();
int32_t PrintAndReturnToStandardMode();
int32_t SetAbsolutePosition(uint8_t nL, uint8_t nH);
int32_t SetPageArea(uint8_t xL, uint8_t xH, uint8_t yL, uint8_t yH, uint8_t dxL, uint8_t dxH,
                    uint8_t dyL, uint8_t dyH);
int32_t SetPageDirection(uint8_t n);
int32_t SetAbsoluteVerticalPosition(uint8_t nL, uint8_t nH);
int32_t SetRelativeVerticalPosition(uint8_t nL, uint8_t nH);
int32_t SetMotionUnits(uint8_t x, uint8_t y);
int32_t CancelPageData();
int32_t PrintText(const char* text);  // zero-terminated; one send per byte; null gives -1
int32_t SelectFont(uint8_t n);
int32_t SetEmphasized(uint8_t n);
int32_t SetCharacterSize(uint8_t n);
int32_t SetCharacterSpacing(uint8_t n);
int32_t SetPrintMode(uint8_t n);
int32_t SetBarcodeHri(uint8_t position, uint8_t font);
// width and height are embedded in the fixed part and must not be 0 (-1, nothing sent);
// for system 8 (CODE128) the bytes after the code-set prefix "{A"/"{B" go out minus 0x20.
int32_t PrintBarcode(uint8_t width, uint8_t height, uint8_t system, uint8_t length,
                     const char* data);
int32_t PrintRamLogo(uint8_t n);
int32_t PrintFlashLogo(uint8_t n);

// The framing of the logo downloads, each sent whole in one call (the image follows
// in a call of its own).
// GS # n: the RAM logo that the next definition replaces.
int32_t SelectRamLogo(uint8_t n);
// GS * x y: a RAM logo of x bytes by y 8-dot bands follows.
int32_t DefineRamLogoSize(uint8_t x, uint8_t y);
// FS q n: n flash logos follow, each with its own size and image.
int32_t DefineFlashLogos(uint8_t n);
// mode 0 NAK n, mode 1 RS n; n below 1 or any other mode gives -1 and sends nothing.
int32_t FeedPaper(int32_t mode, int32_t n);
// Cut kinds m of CutPaper.
inline constexpr uint8_t kFullCut = '0', kPartialCut = '1';
// GS V m, followed by n only for m 'A' and 'B' (feed n, then cut); m 0 gives -1 and
// sends nothing.
int32_t CutPaper(uint8_t m, uint8_t n);

// GS r 1: the printer answers with one status byte (the serial communication test).
int32_t TransmitPaperStatus();

}  // namespace tillvane
