// The sample documents for narrow paper (paper width 56).
#pragma once

#include <cstdint>

#include "commands/ram_logos.h"  // RamLogoLoaded, which the logo documents read

namespace tillvane {

int32_t SampleTicket56(int32_t cutter_mode);
int32_t LogoTicket56(int32_t cutter_mode);
int32_t FontBarcodeTicket56(int32_t cutter_mode);
int32_t TwoPartTicket56(int32_t cutter_mode);
int32_t CleanReceiptTicket56(int32_t cutter_mode);
int32_t AtmTicket56(int32_t cutter_mode);
int32_t AccountTicket56(int32_t cutter_mode);
int32_t WideAccountTicket56(int32_t cutter_mode);

}  // namespace tillvane
