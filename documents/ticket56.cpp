#include "documents/ticket56.h"

#include <string>

#include "commands/posfun.h"
#include "commands/ram_logos.h"
#include "config/current_model.h"
#include "documents/receipt_rows.h"
#include "documents/ticket.h"
#include "documents/ticket_steps.h"

namespace tillvane {
namespace {

using namespace steps;

constexpr int32_t kPageWidth = 416;
constexpr const char* kDashes = "- - - - - - - - - - - - - - - -";

int32_t FirstCommand() {
  return SelectFont(0);
}

// Everything of the opening after SelectFont 0.
void OpeningRest() {
  SetEmphasized(0);
  SetPrintMode(0);
  SetCharacterSpacing(0);
  SetLineSpacing(0);
  SetCharacterSize(0);
}

// Page mode and its print area; `cancel` false leaves out the CancelPageData.
void PageStart(int32_t width, int32_t height, bool cancel = true) {
  SelectPageMode();
  PageArea(width, height);
  SetPageDirection(0);
  if (cancel) CancelPageData();
}

// The model name in double height at the top of the page.
void ModelLine(const std::string& model) {
  X(135);
  Y(100);
  SetCharacterSize(1);
  Text(model.c_str());
}

struct PricedLine {
  const char* name;
  const char* price;
  bool gap_after;
};

constexpr PricedLine kTwoPartLines[] = {
    {"semi-conductor", "  6.98", false},  {"energy-saving lighting", "  2.47", false},
    {"Thermal Printer", " 67.95", false}, {"program-controlled exchanger", "128.23", true},
    {"Subtotal", "205.63", false},        {"Sales Tax", " 12.33", false},
    {"Total", "220.00", false},           {"Amount Tendered", "217.96", false},
    {"Change", "  2.04", false},

};

constexpr Line kAtmLines[] = {
    {20, 50, "CURRENT BALANCE      ->        $100000"},
    {125, 50, "Happy Christmas!"},
    {110, 50, ": HAVE A NICE DAY :"},
    {50, 50, "----------------------------------"},
    {50, 30, "CHECK PRINT QUALITY ON RECEIPT"},
    {50, 30, "----------------------------------"},
};

constexpr Line kAccountLines[] = {
    {130, 30, "ACCOUNT TITLE:     CHECKING ACCOUNT"},
    {130, 30, "CARD NUMBER:       12345678901234567890"},
    {130, 50, "MR.and MS.ALDEMO VRUNKE               *************************"},
    {130, 30, "5298 KINGSWAY COURT WEST APT 2        ASK FOR INFORMATION ABOUT"},
    {130, 30, "TAYSIDE MEADOWS TOWNHOUSE               OUR LOW INTEREST RATE"},
    {130, 30, "ANYTOWN,  ANYSTATE  98765-4321            AUTOMOBILE LOANS!"},
    {130, 30, "                                      *************************"},
    {130, 50, "DATE       WITHDRAWALS  DEPOSITS    DESCRIPTION              BALANCE"},
    {130, 30, "09/13/98         30.00              ATM FAST CASH            2,666.50"},
};

constexpr Line kWideAccountLines[] = {
    {130, 30, "ACCOUNT TITLE:    CHECKING ACCOUNT"},
    {130, 30, "CARD NUMBER:      12345678901234567890"},
    {130, 40, "MR.and MS.ALDEMO VRUNKE"},
    {130, 30, "5298 KINGSWAY COURT WEST APT 2"},
    {130, 30, "TAYSIDE MEADOWS TOWNHOUSE"},
    {130, 30, "ANYTOWN,  ANYSTATE  98765-4321"},
    {130, 30, nullptr},
    {130, 40, "DATE   WITHDRAWALS  DEPOSITS  BALANCE"},
    {130, 30, "09/13/98     30.00            2,666.50"},
};

void MerchantLines() {
  X(0);
  Down(80);
  Text(kDashes);
  Lf();
  Down(10);
  Text("* * * *  Merchant Copy  * * * *");
  Lf();
  Down(10);
  Text(kDashes);
  Lf();
  At(70, "customer signature");
  Lf();
}

void CustomerLines() {
  X(90);
  Down(40);
  PrintBarcode(2, 60, 8, 9, "{ACODE128");
  AtDown(170, 30, "CODE128");
  Lf();
  Down(10);
  Text(kDashes);
  Lf();
  Down(10);
  Text("* * * * *  Thank You  * * * * *");
  Lf();
  Down(10);
  Text(kDashes);
  Lf();
  AtDown(40, 10, "Save Receipt for Returns");
  Lf();
}

// Every price stands on its own line under its name.
void ReceiptRow(const receipt::Row& row) {
  if (row.kind == receipt::kHeading || (row.flags & receipt::kNarrowHeadingThenPrice)) {
    Text(row.text);
    Lf(2);
    if (row.kind == receipt::kHeading) return;
  } else {
    At(row.narrow_name_x != 0 ? row.narrow_name_x : 35, row.text);
    Lf();
  }
  At(286, row.narrow_price != nullptr ? row.narrow_price : row.price);
  Lf();
  if (row.note != nullptr) {
    At(100, row.note);
    Lf();
  }
  if (row.flags & receipt::kEndsSection) Lf();
}

}  // namespace

int32_t SampleTicket56(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    InitializePrinter();
    PageStart(386, 356, false);
    X(135);
    Y(100);
    SetCharacterSize(1);
    SetCharacterSpacing(0);
    Text(model.c_str());
    Lf();
    AtDown(75, 50, "POS Thermal Printer");
    Lf();
    SetCharacterSize(0);
    AtDown(120, 40, "Easy to load");
    Lf();
    At(120, "Easy to use");
    Lf();
    AtDown(25, 40, "Leader for Printer Solution");
    Lf();
    PrintPage();
    CancelPageData();
    FinishTicket(cutter_mode);
  });
}

int32_t LogoTicket56(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    InitializePrinter();
    PageStart(kPageWidth, 752);
    ModelLine(model);
    Lf(2);
    AtDown(70, 20, "POS Thermal Printer");
    Lf();
    SetCharacterSize(0);
    // Only the logos downloaded in this run, one under the other.
    constexpr int32_t kLogoDown[3] = {80, 150, 120};
    for (int i = 0; i < 3; ++i) {
      if (!RamLogoLoaded()[i].load()) continue;
      X(90);
      Down(kLogoDown[i]);
      PrintRamLogo(static_cast<uint8_t>(i + 1));
    }
    Lf(2);
    SetCharacterSize(16);
    X(45);
    Down(356);
    Lf();
    Text("--- Welcome ---");
    Lf();
    SetCharacterSize(0);
    PrintPage();
    CancelPageData();
    FinishTicket(cutter_mode);
  });
}

int32_t FontBarcodeTicket56(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    SelectStandardMode();
    Lf(2);
    X(75);
    PrintFlashLogo(1);
    PageStart(kPageWidth, 768);
    SetCharacterSize(1);
    X(135);
    Down(80);
    Text(model.c_str());
    Lf();
    AtDown(70, 20, "POS Thermal Printer");
    Lf(2);

    // A ruler at character spacing 10.
    SetCharacterSize(0);
    X(30);
    Down(40);
    SetCharacterSpacing(10);
    Text("0 1 2 3 4 5 6 7");
    Lf();
    At(25, "246802468024680");
    Lf();
    At(25, "| | | | | | | |");
    Lf();

    // A ruler at character spacing 5.
    X(30);
    Down(30);
    SetCharacterSpacing(5);
    Text("0  1  2  3  4  5  6");
    Lf();
    At(25, "1246802468024680246");
    Lf();
    At(25, "|  |  |  |  |  |  |");
    Lf();

    X(125);
    Down(40);
    SetCharacterSpacing(0);
    SetCharacterSize(1);
    Text("Double High");
    X(65);
    Down(30);
    SetCharacterSize(16);
    Text("Double Wide");
    X(30);
    Down(60);
    SetCharacterSize(17);
    Text("Both High&Wide");

    X(35);
    Down(110);
    SetBarcodeHri(0, 0);
    PrintBarcode(3, 80, 7, 9, "286823456");
    X(170);
    Down(40);
    SetCharacterSize(0);
    Text("Code93");
    Lf(2);
    PrintPage();
    CancelPageData();
    FinishTicket(cutter_mode);
  });
}

int32_t TwoPartTicket56(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    InitializePrinter();
    SelectPageMode();
    for (int copy = 1; copy <= 2; ++copy) {
      PageStart(kPageWidth, 1280);
      ModelLine(model);
      Lf();
      AtDown(70, 50, "POS Thermal Printer");
      Lf();
      SetCharacterSize(0);
      AtDown(70, 20, "26/02/2002  14:20:07");
      Lf(2);
      At(120, "Store # 123");
      Lf(3);
      for (const PricedLine& line : kTwoPartLines) {
        At(30, line.name);
        Lf();
        At(301, line.price);
        Lf();
        if (line.gap_after) Lf(2);
      }
      if (copy == 1)
        MerchantLines();
      else
        CustomerLines();
      PrintAndReturnToStandardMode();
      CancelPageData();
      FinishTicket(cutter_mode);
    }
  });
}

int32_t CleanReceiptTicket56(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    SelectStandardMode();
    Lf(4);
    ModelLine(model);
    Lf();
    AtDown(70, 20, "POS Thermal Printer");
    Lf(2);
    SetCharacterSize(0);
    At(10, "01/01/2002 8:10AM Store 522");
    Lf();
    At(35, "Cust 258 Reg 10 OPR 165");
    Lf(2);

    for (const receipt::Row& row : receipt::kRows) ReceiptRow(row);

    X(40);
    SetLineSpacing(40);
    Text("Thank you for shopping");
    Lf();
    At(95, "in ABC Stores");
    Lf();
    At(60, "We save you more!!!");
    Lf(2);
    SetLineSpacing(90);
    X(65);
    PrintBarcode(2, 80, 7, 9, "123456789");
    At(125, "123456789");
    Lf();
    SetLineSpacing(0);
    Lf();
    CancelPageData();
    FinishTicket(cutter_mode);
  });
}

int32_t AtmTicket56(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    const std::string model = CurrentModelName();
    OpeningRest();
    InitializePrinter();
    PageStart(kPageWidth, 662, false);
    ModelLine(model);
    Lf();
    AtDown(70, 20, "POS Thermal Printer");
    Lf(2);
    SetCharacterSize(0);
    X(20);
    Down(100);
    SetCharacterSize(0);
    SelectFont(1);
    Text("ACCOUNT NO.          ->        0123456000");
    Lines(kAtmLines);
    PrintAndReturnToStandardMode();
    CancelPageData();
    FinishTicket(cutter_mode);
    SelectFont(0);
  });
}

int32_t AccountTicket56(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    OpeningRest();
    InitializePrinter();
    PageStart(kPageWidth, 1124);
    SetPageDirection(1);
    X(130);
    Y(70);
    SelectFont(3);
    Text("ACCOUNT NUMBER:    038261151100             DATE OF ISSUE:10/03/98");
    Lines(kAccountLines);
    PrintPage();
    CancelPageData();
    FinishTicket(cutter_mode);
  });
}

int32_t WideAccountTicket56(int32_t cutter_mode) {
  return RunDocument(FirstCommand, [&] {
    OpeningRest();
    InitializePrinter();
    PageStart(kPageWidth, 1124);
    SetPageDirection(1);
    X(130);
    Y(70);
    SelectFont(3);
    SetCharacterSize(16);
    SetCharacterSpacing(0);
    Text("ACCOUNT NUMBER:   038261151100");
    Lines(kWideAccountLines);
    PrintPage();
    CancelPageData();
    FinishTicket(cutter_mode);
    SetCharacterSize(0);
  });
}

}  // namespace tillvane
