// GS ( k streams written from the command reference, for the 2-D symbol tests, the
// golden receipts and the benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tillvane::render::testing {

using Bytes = std::vector<uint8_t>;

// GS ( k pL pH cn fn and the function's parameters.
Bytes Gsk(uint8_t cn, uint8_t fn, const Bytes& params = {});
// Store (fn 80, m 48 then the data), print (fn 81) and the size answer (fn 82).
Bytes StoreSymbol(uint8_t cn, const std::string& data);
Bytes PrintSymbol(uint8_t cn);
Bytes SymbolSize(uint8_t cn);
// QR Code model 2 of `module` dots at error level `level` (48..51), `data` stored.
Bytes QrSymbol(int module, int level, const std::string& data);

// The two receipts of the README and the golden pictures, ended by a full cut: a shop
// receipt with its QR code (a link of 60 characters) centred under the total, and a
// boarding pass with a PDF417 symbol. `paper` in dots.
Bytes QrReceipt(int paper);
Bytes Pdf417Receipt(int paper);

}  // namespace tillvane::render::testing
