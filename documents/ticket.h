// The sample documents for 80 mm paper. Each takes the cutter mode (0 full cut, 1
// partial cut, any other value no cut) and returns 0 when every send went out. The
// first failed send ends a document: nothing more of it is sent and its result is the
// document's. An exception ends it with -1.
#pragma once

#include <cstdint>

namespace tillvane {

// The end of every document: feed 255, then the cut of the cutter mode. Returns the
// first failed send's result; the cut is not sent after a failed feed.
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
