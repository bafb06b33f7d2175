// The body of the itemised grocery receipt, shared by its 80 mm and narrow layouts.
#pragma once

#include <cstdint>

namespace tillvane::receipt {

enum RowKind : uint8_t { kHeading, kItem };

enum RowFlags : uint8_t {
  kEndsSection = 1,             // a blank line after the price
  kLineFeedAfterName = 2,       // 80 mm: the price stands alone on the next line
  kNarrowHeadingThenPrice = 4,  // narrow: the name is sent as a heading, then the price
};

struct Row {
  RowKind kind;
  const char* text;
  const char* price;  // items only
  const char* note;   // a line of its own under the item, or null
  uint8_t flags;
  int32_t name_x;                      // 80 mm name column when not the usual one, else 0
  int32_t narrow_name_x = 0;           // narrow name column when not the usual one, else 0
  const char* narrow_price = nullptr;  // narrow price when it differs, else null
};

inline constexpr Row kRows[] = {
    {kHeading, "Dairy", nullptr, nullptr, 0, 0},                                         // 1
    {kItem, "ABC Sr Crm 16z", "  1.29*", nullptr, 0, 0},                                 // 2
    {kItem, "ABC Vim One Mlk ", "  1.19*", nullptr, 0, 0},                               // 3
    {kItem, "Bryers Pch Mode", "  0.79*", nullptr, 0, 0},                                // 4
    {kItem, "Byrne Milk 2%", "  1.27*", nullptr, 0, 0},                                  // 5
    {kItem, "Crowly Buttrmilk", "  0.88*", nullptr, 0, 0},                               // 6
    {kItem, "Crwly Ult Crm", "  0.79*", nullptr, 0, 0},                                  // 7
    {kItem, "Phil Crm Chse", "  1.49*", nullptr, 0, 0},                                  // 8
    {kItem, "Sorr Mozz Lb", "  2.99*", nullptr, 0, 0},                                   // 9
    {kItem, "Yoplt Orig Yogrt", "  2.00*", nullptr, kEndsSection, 0},                    // 10
    {kHeading, "Frozen", nullptr, nullptr, 0, 0},                                        // 11
    {kItem, "ABC Dtch Veg", "  1.39*", nullptr, 0, 0},                                   // 12
    {kItem, "ABC Lemnade 12x", "  0.88T", nullptr, 0, 0},                                // 13
    {kItem, "GG Niblets 16z", "  1.99", nullptr, 0, 0},                                  // 14
    {kItem, "Min Maid Rasp Lm", "  1.29T", nullptr, 0, 0},                               // 15
    {kItem, "Ore Tatr Tot 21b", "  2.59*", nullptr, 0, 0},                               // 16
    {kItem, "Welch's Orchrd", "  1.39*", nullptr, kEndsSection, 0},                      // 17
    {kHeading, "Grocery", nullptr, nullptr, 0, 0},                                       // 18
    {kItem, "ABC Bleach 192Z", "  1.43T", nullptr, 0, 0},                                // 19
    {kItem, "ABC Jmbo Towels", "  0.69T", nullptr, 0, 0},                                // 20
    {kItem, "Baby Carrots", "  1.69*", nullptr, 0, 0},                                   // 21
    {kItem, "Bananas", "  1.01*", "2.5 1b @ 1/1.29", 0, 0},                              // 22
    {kItem, "Bulk - net", "  1.99*", ".32 LB @ 1/2.98", 0, 0},                           // 23
    {kItem, "Chiqta Pine Quava", "  2.49*", nullptr, 0, 0},                              // 24
    {kItem, "Fl Nat Orange Jc", "  4.18*", nullptr, 0, 0},                               // 25
    {kItem, "Fnst Cntry Adv", "  1.39*", nullptr, 0, 0},                                 // 26
    {kItem, "Hfty Cnch 20ct", "  3.28T", nullptr, 0, 0},                                 // 27
    {kItem, "Kblr Chp Dlx Chc", "  3.28*", nullptr, 0, 0},                               // 28
    {kItem, "Lettuce", "  0.49*", nullptr, 0, 0},                                        // 29
    {kItem, "Nrthrn Bath 12pk", "  3.68T", nullptr, 0, 0},                               // 30
    {kItem, "Nutri Grain Bar", "  2.50*", nullptr, 0, 0},                                // 31
    {kItem, "OS Cranberry 64Z", "  3.58T", nullptr, 0, 0, 0, "  3.58T*"},                // 32
    {kItem, "Pills Rdy Pie Cr", "  2.29*", nullptr, 0, 0},                               // 33
    {kItem, "Pills Rolls", "  2.19*", nullptr, 0, 0},                                    // 34
    {kItem, "Polar Club Soda ", "  0.50T", nullptr, 0, 0},                               // 35
    {kItem, "Deposit", "  0.05*", nullptr, 0, 140, 80},                                  // 36
    {kItem, "R Gold Prtzl FF", "  1.50*", nullptr, 0, 0},                                // 37
    {kItem, "Raid Wasp/Hornet", "  4.28T", nullptr, 0, 0},                               // 38
    {kItem, "Rcarni Noodle", "  3.20*", "1 @ 2/1.00", 0, 0},                             // 39
    {kItem, "Salt Potatoes", "  2.99*", nullptr, kEndsSection | kLineFeedAfterName, 0},  // 40
    {kHeading, "Meat/Deli", nullptr, nullptr, 0, 0},                                     // 41
    {kItem, "ABC NY Shp Colp", "  3.19*", "1 @ 2/3.00", 0, 0},                           // 42
    {kItem, "Bf Srln Tip Grnd", "  2.71*", "1 @ 2/5.00", 0, 0},                          // 43
    {kItem, "Bnls Pork Chop", "  5.79*", nullptr, 0, 0},                                 // 44
    {kItem, "Breast Filets", "  3.06*", nullptr, 0, 0},                                  // 45
    {kItem, "Genoa Salami ", "  1.29*", nullptr, 0, 0},                                  // 46
    {kItem, "Ground Turkey", "  3.74*", nullptr, 0, 0},                                  // 47
    {kItem, "Hygrd Meat Ht Dg ", "  1.19*", "3 @ 3/2.00", 0, 0},                         // 48
    {kItem, "Lean Grnd Beef ", "  3.64*", nullptr, 0, 0},                                // 49
    {kItem, "OS May Bacon", "  3.69*", nullptr, 0, 0},                                   // 50
    {kItem, "Turkey Breast", "  2.99*", nullptr, kEndsSection, 0},                       // 51
    {kHeading, "Coupons", nullptr, nullptr, 0, 0},                                       // 52
    {kItem, "VCP", "  0.25", nullptr, 0, 0},                                             // 53
    {kItem, "VCP Bonus", "  0.25", nullptr, 0, 0},                                       // 54
    {kItem, "VCP", "  0.30", nullptr, kEndsSection, 0},                                  // 55
    {kItem, "Check End", "102.73", nullptr, kNarrowHeadingThenPrice, 20},                // 56
    {kItem, "Subtotal", " 98.50", nullptr, 0, 0},                                        // 57
    {kItem, "Tax Paid", "  4.23", nullptr, 0, 0},                                        // 58
    {kItem, "Change", "  0.00", nullptr, kEndsSection, 0},                               // 59
    {kHeading, "Order Summary", nullptr, nullptr, 0, 0},                                 // 60
    {kItem, "47 Items", "102.73", nullptr, 0, 0},                                        // 61
    {kItem, "VCPN Tend", "  0.80", nullptr, 0, 0},                                       // 62
    {kItem, "Bnus Tend", "  0.80", nullptr, 0, 0},                                       // 63
    {kItem, "Coupon Total", "  1.70", nullptr, kEndsSection, 0},                         // 64
};

inline constexpr int kRowCount = sizeof kRows / sizeof kRows[0];
static_assert(kRowCount == 64);

}  // namespace tillvane::receipt
