#include "tests/render/document_bytes.h"

#include <filesystem>
#include <stdexcept>

#include "commands/bitmap_logo.h"
#include "commands/posfun.h"
#include "config/current_model.h"
#include "documents/ticket.h"
#include "documents/ticket56.h"
#include "link/link_state.h"
#include "link/send_data.h"
#include "tests/support/recording.h"

namespace tillvane::render::testing {

const std::vector<SampleDocument>& SampleDocuments() {
  static const std::vector<SampleDocument> docs = {
      {"SampleTicket", SampleTicket, false},
      {"LogoTicket", LogoTicket, false},
      {"FontBarcodeTicket", FontBarcodeTicket, false},
      {"TwoPartTicket", TwoPartTicket, false},
      {"CleanReceiptTicket", CleanReceiptTicket, false},
      {"AtmTicket", AtmTicket, false},
      {"AccountTicket", AccountTicket, false},
      {"WideAccountTicket", WideAccountTicket, false},
      {"SampleTicket56", SampleTicket56, true},
      {"LogoTicket56", LogoTicket56, true},
      {"FontBarcodeTicket56", FontBarcodeTicket56, true},
      {"TwoPartTicket56", TwoPartTicket56, true},
      {"CleanReceiptTicket56", CleanReceiptTicket56, true},
      {"AtmTicket56", AtmTicket56, true},
      {"AccountTicket56", AccountTicket56, true},
      {"WideAccountTicket56", WideAccountTicket56, true},
  };
  return docs;
}

std::string DataFile(const char* name) {
  return (std::filesystem::path(TILLVANE_SOURCE_DIR) / "data" / name).string();
}

std::vector<uint8_t> LogoDownloadBytes() {
  auto rec = tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  bool ok = InitializePrinter() == 0 && DownloadRamLogo(DataFile("Horse.bmp").c_str(), 1) == 0 &&
            DownloadRamLogo(DataFile("Lion.bmp").c_str(), 2) == 0 &&
            DownloadRamLogo(DataFile("Map.bmp").c_str(), 3) == 0;
  const uint8_t define_flash[] = {FS, 'q', 1};  // FS q 1: one flash image follows
  ok = ok && SendData(define_flash, 3) == 0 &&
       SendFlashLogoImage(DataFile("Dragon.bmp").c_str()) == 0;
  ResetLinkState();
  if (!ok) throw std::runtime_error("logo download failed");
  return rec->All();
}

std::vector<uint8_t> DocumentBytes(const SampleDocument& d) {
  SetCurrentModel(d.narrow ? "Vorn-56N" : "Vorn-101", d.narrow ? 56 : 80);
  for (int i = 0; i < 3; ++i) RamLogoLoaded()[i] = true;
  auto rec = tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  const int32_t result = d.print(0);
  ResetLinkState();
  for (int i = 0; i < 3; ++i) RamLogoLoaded()[i] = false;
  SetCurrentModel("", 80);
  if (result != 0) throw std::runtime_error(std::string(d.name) + " failed");
  return rec->All();
}

}  // namespace tillvane::render::testing
