// The sample documents for narrow paper (paper width 56).
#pragma once

#include <atomic>
#include <cstdint>

namespace tillvane {

// Which RAM logos 1 to 3 were downloaded in this run (index 0 is logo 1).
std::atomic<bool>* RamLogoLoaded();

int32_t SampleTicket56(int32_t cutter_mode);
int32_t LogoTicket56(int32_t cutter_mode);
int32_t FontBarcodeTicket56(int32_t cutter_mode);
int32_t TwoPartTicket56(int32_t cutter_mode);
int32_t CleanReceiptTicket56(int32_t cutter_mode);
int32_t AtmTicket56(int32_t cutter_mode);
int32_t AccountTicket56(int32_t cutter_mode);
int32_t WideAccountTicket56(int32_t cutter_mode);

}  // namespace tillvane
