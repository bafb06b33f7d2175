// The sample documents for 80 mm paper. Each takes the cutter mode (0 full cut, 1
// partial cut, any other value no cut) and returns 0, the failing result of its first
// command, or -1 when an exception ended it.
#pragma once

#include <cstdint>

namespace tillvane {

int32_t FinishTicket(int32_t cutter_mode);

int32_t SampleTicket(int32_t cutter_mode);
int32_t LogoTicket(int32_t cutter_mode);
int32_t FontBarcodeTicket(int32_t cutter_mode);
int32_t TwoPartTicket(int32_t cutter_mode);
int32_t CleanReceiptTicket(int32_t cutter_mode);
int32_t AtmTicket(int32_t cutter_mode);
int32_t AccountTicket(int32_t cutter_mode);
int32_t WideAccountTicket(int32_t cutter_mode);

}  // namespace tillvane
