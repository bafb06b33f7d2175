#include "documents/ticket.h"

#include <string>

#include "commands/posfun.h"
#include "config/current_model.h"
#include "documents/receipt_rows.h"
#include "documents/ticket_steps.h"

namespace tillvane {
namespace {

using namespace steps;

constexpr int32_t kPageWidth = 512;

int32_t FirstCommand() {
  return SetMotionUnits(180, 180);
}

// Everything of the opening after the motion units. The sample receipt sends a double
// width in place of the print mode.
void OpeningRest(bool sample = false) {
  SelectFont(0);
  SetEmphasized(0);
  if (sample)
    SetCharacterSize(16);
  else
    SetPrintMode(0);
  SetCharacterSpacing(0);
  SetLineSpacing(0);
  SetCharacterSize(0);
}

void PageStart(int32_t height) {
  SelectPageMode();
  PageArea(kPageWidth, height);
  SetPageDirection(0);
  CancelPageData();
}

// The model name and "POS Thermal Printer", both in double width.
void Header(int32_t v, const std::string& model) {
  X(100);
  Y(v);
  SetCharacterSize(16);
  Text(model.c_str());
  X(40);
  Down(60);
  Text("POS Thermal Printer");
}

// Prints the page, feeds and cuts; the closing commands come between the cut and the
// return to standard mode.
template <typename Closing>
void PageEnd(int32_t cutter_mode, Closing closing) {
  PrintPage();
  CancelPageData();
  FinishTicket(cutter_mode);
  closing();
  SelectStandardMode();
}

void PageEnd(int32_t cutter_mode) {
  PageEnd(cutter_mode, [] {});
}

constexpr Line kTwoPartLines[] = {
    {200, 30, "Store # 123"},
    {40, 70, "semi-conductor                    6.98"},
    {40, 30, "energy-saving lighting            2.47"},
    {40, 30, "Thermal transfer Printer         67.95"},
    {40, 30, "program-controlled exchanger    128.23"},
    {170, 70, "Subtotal             205.63"},
    {160, 30, "Sales Tax              12.33"},
    {210, 30, "Total             220.00"},
    {80, 30, "Amount Tendered              217.96"},
    {195, 30, "Change               2.04"},
};

constexpr Line kAtmLines[] = {
    {100, 100, "ACCOUNT NO.          ->        0123456000"},
    {100, 50, "CURRENT BALANCE      ->        $100000"},
    {100, 50, "CHANGE               ->        $10000"},
    {230, 80, "Happy Christmas!"},
    {210, 50, ": HAVE A NICE DAY :"},
    {140, 80, "----------------------------------"},
    {160, 30, "CHECK PRINT QUALITY ON RECEIPT"},
    {140, 30, "----------------------------------"},
};

constexpr Line kAccountLines[] = {
    {70, 30, "ACCOUNT TITLE:     CHECKING ACCOUNT"},
    {70, 30, "CARD NUMBER:       12345678901234567890"},
    {70, 50, "MR.and MS.ALDEMO VRUNKE               *************************"},
    {70, 30, "5298 KINGSWAY COURT WEST APT 2        ASK FOR INFORMATION ABOUT"},
    {70, 30, "TAYSIDE MEADOWS TOWNHOUSE               OUR LOW INTEREST RATE"},
    {70, 30, "ANYTOWN,  ANYSTATE  98765-4321            AUTOMOBILE LOANS!"},
    {70, 30, "                                      *************************"},
    {70, 50, "DATE       WITHDRAWALS  DEPOSITS    DESCRIPTION              BALANCE"},
    {70, 30, "09/13/98         30.00              ATM FAST CASH            2,666.50"},
    {70, 30, "09/19/98         30.00              ATM FAST CASH            2,636.50"},
    {70, 30, "09/26/98        110.00              TRAVELLER'S CHECKS       2,526.50"},
    {70, 30, "09/30/98                1,152.34    AUTOMATICPAYROLL         3,678.84"},
    {356, 30, "---- HAVE A NICE DAY!----"},
};

constexpr Line kWideAccountLines[] = {
    {70, 30, "ACCOUNT TITLE:     CHECKING ACCOUNT"},
    {70, 30, "CARD NUMBER:       12345678901234567890"},
    {70, 50, "MR.and MS.ALDEMO VRUNKE"},
    {70, 30, "5298 KINGSWAY COURT WEST APT 2"},
    {70, 30, "TAYSIDE MEADOWS TOWNHOUSE"},
    {70, 30, "ANYTOWN,  ANYSTATE  98765-4321"},
    {70, 30, nullptr},
    {70, 50, "DATE      WITHDRAWALS  DEPOSITS   BALANCE"},
    {20, 30, "09/13/98        30.00               2,666.50"},
    {20, 30, "09/19/98        30.00               2,636.50"},
    {20, 30, "09/26/98       110.00               2,526.50"},
    {20, 30, "09/30/98               1,152.34     3,678.84"},
    {356, 40, "---- HAVE A NICE DAY! ----"},
};

void MerchantLines() {
  X(30);
  Down(110);
  SetCharacterSize(16);
  Text("** Merchant Copy **");
  X(40);
  Down(80);
  SetCharacterSize(16);
  Text("- - - - - - - - - -");
  X(160);
  Down(25);
  SetCharacterSize(0);
  Text("customer signature");
}

void CustomerLines() {
  X(150);
  Down(200);
  PrintBarcode(3, 100, 8, 9, "{ACODE128");
  X(276);
  Down(30);
  SetCharacterSize(0);
  Text("CODE128");
  X(30);
  Down(50);
  SetCharacterSize(16);
  Text("**   Thank You   **");
  AtDown(30, 30, "** ");
  SetCharacterSize(0);
  Text("     Customer Copy      ");
  SetCharacterSize(16);
  Text("  **");
  AtDown(30, 30, "** ");
  SetCharacterSize(0);
  Text("Save Receipt for Returns");
  SetCharacterSize(16);
  Text("  **");
}

void ReceiptRow(const receipt::Row& row) {
  if (row.kind == receipt::kHeading) {
    At(20, row.text);
    Lf(2);
    return;
  }
  At(row.name_x != 0 ? row.name_x : 80, row.text);
  if (row.flags & receipt::kLineFeedAfterName) Lf();
  At(406, row.price);
  Lf();
  if (row.note != nullptr) {
    At(150, row.note);
    Lf();
  }
  if (row.flags & receipt::kEndsSection) Lf();
}

}  // namespace

int32_t FinishTicket(int32_t cutter_mode) {
  // No cut after a feed that did not go out.
  if (int32_t r = FeedPaper(0, 255); r != 0) return r;
  if (cutter_mode == 0) return CutPaper(kFullCut, 0);
  if (cutter_mode == 1) return CutPaper(kPartialCut, 0);
  return 0;
}

int32_t SampleTicket(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest(true);
    PageStart(406);
    Header(100, model);
    SetCharacterSize(0);
    AtDown(200, 80, "Easy to load");
    AtDown(206, 40, "Easy to use");
    AtDown(120, 80, "The Leader for Printer Solution");
    Lf();
    PageEnd(cutter_mode);
  });
}

int32_t LogoTicket(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    PageStart(888);
    Header(80, model);
    SetCharacterSize(0);
    // The three RAM logos side by side, in the order 1, 3, 2.
    X(20);
    Down(200);
    PrintRamLogo(1);
    X(160);
    Down(0);
    PrintRamLogo(3);
    X(376);
    Down(0);
    PrintRamLogo(2);
    Lf();
    SetCharacterSize(16);
    PageEnd(cutter_mode, [] { SetCharacterSize(0); });
  });
}

int32_t FontBarcodeTicket(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    SelectStandardMode();
    X(200);
    PrintFlashLogo(1);
    Lf();
    PageStart(1124);
    SetCharacterSize(1);
    Header(80, model);

    // A ruler at character spacing 14.
    SetCharacterSize(0);
    AtDown(30, 80, "0");
    X(40);
    SetCharacterSpacing(14);
    Text("    1    2    3");
    AtDown(30, 30, "1");
    At(40, "246802468024680246");
    AtDown(30, 30, "|");
    At(40, "    |    |    |");

    // A ruler at character spacing 8.
    X(30);
    Down(50);
    SelectFont(0);
    SetCharacterSize(0);
    SetEmphasized(0);
    Text("0");
    X(40);
    SetCharacterSpacing(8);
    Text("    1    2    3    4");
    AtDown(30, 30, "1");
    At(40, "24680246802468024680246");
    AtDown(30, 30, "|");
    At(40, "    |    |    |    |");

    X(235);
    Down(70);
    SetCharacterSpacing(0);
    SetCharacterSize(1);
    Text("Double High");
    X(170);
    Down(40);
    SetCharacterSize(16);
    Text("Double Wide");
    X(70);
    Down(70);
    SetCharacterSize(17);
    Text("Both High and Wide");

    SetCharacterSize(0);
    X(125);
    Down(110);
    SetBarcodeHri(0, 0);
    PrintBarcode(3, 80, 7, 9, "286823456");
    AtDown(266, 40, "Code93");

    SetCharacterSize(0);
    Lf();
    PageEnd(cutter_mode);
  });
}

int32_t TwoPartTicket(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    for (int copy = 1; copy <= 2; ++copy) {
      PageStart(1024);
      Header(100, model);
      X(150);
      Down(50);
      SetCharacterSize(0);
      Text("26/02/2002  14:20:07");
      Lines(kTwoPartLines);
      if (copy == 1)
        MerchantLines();
      else
        CustomerLines();
      PageEnd(cutter_mode, [] { SetCharacterSize(0); });
    }
  });
}

int32_t CleanReceiptTicket(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    SelectStandardMode();
    Lf(4);
    X(100);
    SetCharacterSize(1);
    Text(model.c_str());
    Lf();
    At(150, "POS Thermal Printer");
    Lf();
    X(100);
    SetCharacterSize(0);
    Text("01/01/2002 8:10AM Store 522");
    Lf();
    At(125, "Cust 258 Reg 10 OPR 165");
    Lf(2);

    for (const receipt::Row& row : receipt::kRows) ReceiptRow(row);

    X(60);
    SetLineSpacing(40);
    Text("Thank you for shopping in ABC Stores");
    Lf();
    At(170, "We save you more!!!");
    Lf(2);
    // No SetBarcodeHri: the setting of an earlier document stays in force.
    SetLineSpacing(90);
    X(160);
    PrintBarcode(2, 80, 7, 9, "123456789");
    At(220, "123456789");
    Lf();
    SetLineSpacing(0);
    Lf();
    FinishTicket(cutter_mode);
  });
}

int32_t AtmTicket(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    PageStart(768);
    Header(100, model);
    SetCharacterSize(0);
    SelectFont(1);
    Lines(kAtmLines);
    PageEnd(cutter_mode, [] {
      SelectFont(0);
      SetCharacterSize(0);
    });
  });
}

int32_t AccountTicket(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    OpeningRest();
    PageStart(1024);
    SetPageDirection(1);
    X(70);
    Y(70);
    SelectFont(0);
    Text("ACCOUNT NUMBER:    038261151100         DATE OF ISSUE:01/01/2002");
    Lines(kAccountLines);
    PageEnd(cutter_mode);
  });
}

int32_t WideAccountTicket(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    OpeningRest();
    PageStart(1174);
    SetPageDirection(1);
    X(70);
    Y(70);
    SetCharacterSize(16);
    Text("ACCOUNT NUMBER:    038261151100");
    Lines(kWideAccountLines);
    PageEnd(cutter_mode, [] { SetCharacterSize(0); });
  });
}

}  // namespace tillvane
