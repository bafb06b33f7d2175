// The commands of the virtual printer, one handler each, and the seam the parser
// calls through: RunCommand finds the handler of a command the tokenizer handed out by
// the command's row (the table in command_table.cpp). A command whose data comes in
// parts has a second handler, for each part after its header.
//
// Internal to render/.
#pragma once

#include "render/machine.h"

namespace tillvane::render {

using CommandHandler = void (*)(Machine&, const Command&);

// Runs a command, or a part of one. One the table does not list is known by its length
// only: it is reported as read but not drawn.
void RunCommand(Machine& m, const Command& c);

// A command taken with nothing to draw (the drawer pulse, the sensors, smoothing).
void Accept(Machine& m, const Command& c);

// Settings and paper (machine.cpp).
void EscInitialise(Machine& m, const Command& c);
void GsMotionUnits(Machine& m, const Command& c);
void EscFullCut(Machine& m, const Command& c);
void EscPartialCut(Machine& m, const Command& c);
void GsCut(Machine& m, const Command& c);

// Standard-mode lines and text (standard_mode.cpp).
void HorizontalTab(Machine& m, const Command& c);
void LineFeed(Machine& m, const Command& c);
void FeedDots(Machine& m, const Command& c);
void EscCharSpacing(Machine& m, const Command& c);
void EscPrintMode(Machine& m, const Command& c);
void EscAbsolutePosition(Machine& m, const Command& c);
void EscRelativePosition(Machine& m, const Command& c);
void EscUnderline(Machine& m, const Command& c);
void EscDefaultLineSpacing(Machine& m, const Command& c);
void EscLineSpacing(Machine& m, const Command& c);
void EscEmphasized(Machine& m, const Command& c);
void EscFont(Machine& m, const Command& c);
void EscFeedDots(Machine& m, const Command& c);
void EscFeedLines(Machine& m, const Command& c);
void EscJustify(Machine& m, const Command& c);
void EscTabStops(Machine& m, const Command& c);
void GsCharSize(Machine& m, const Command& c);
void GsReverse(Machine& m, const Command& c);
void GsLeftMargin(Machine& m, const Command& c);
void GsPrintWidth(Machine& m, const Command& c);
void FsDoubleByteOn(Machine& m, const Command& c);
void FsDoubleByteOff(Machine& m, const Command& c);
void EscCodeTable(Machine& m, const Command& c);
void EscCharacterSet(Machine& m, const Command& c);
void EscRotate(Machine& m, const Command& c);
void EscUpsideDown(Machine& m, const Command& c);
void EscCharacterTableUser(Machine& m, const Command& c);
void EscColour(Machine& m, const Command& c);
// ESC K and ESC e: the line is printed; the paper cannot be drawn going back.
void FeedBack(Machine& m, const Command& c);
void GsLineStart(Machine& m, const Command& c);
void FsPrintMode(Machine& m, const Command& c);
void FsUnderline(Machine& m, const Command& c);
void FsQuadruple(Machine& m, const Command& c);
void FsSpacing(Machine& m, const Command& c);

// The page-mode area (page_mode.cpp).
void FormFeed(Machine& m, const Command& c);
void CancelArea(Machine& m, const Command& c);
void EscPageMode(Machine& m, const Command& c);
void EscStandardMode(Machine& m, const Command& c);
void EscDirection(Machine& m, const Command& c);
void EscArea(Machine& m, const Command& c);
void EscPrintArea(Machine& m, const Command& c);
void GsAbsoluteVertical(Machine& m, const Command& c);
void GsRelativeVertical(Machine& m, const Command& c);

// Images and logos (images.cpp).
void EscBitImage(Machine& m, const Command& c);
void GsSelectRamLogo(Machine& m, const Command& c);
void GsDefineRamLogo(Machine& m, const Command& c);
void GsPrintRamLogo(Machine& m, const Command& c);
void GsRasterImage(Machine& m, const Command& c);
void GsRasterRow(Machine& m, const Command& c);
void FsPrintFlashLogo(Machine& m, const Command& c);
void FsDefineFlashLogos(Machine& m, const Command& c);
void FsFlashImage(Machine& m, const Command& c);

// Graphics: GS ( L and GS 8 L (graphics_commands.cpp).
void GsGraphics(Machine& m, const Command& c);

// Bar codes (barcodes.cpp).
void GsHriPosition(Machine& m, const Command& c);
void GsHriFont(Machine& m, const Command& c);
void GsBarcodeHeight(Machine& m, const Command& c);
void GsBarcodeModule(Machine& m, const Command& c);
void GsBarcode(Machine& m, const Command& c);

// Two-dimensional symbols, every GS ( k function (symbols.cpp).
void GsSymbol2d(Machine& m, const Command& c);

// Status answers (status.cpp).
void DleStatus(Machine& m, const Command& c);
void GsPrinterId(Machine& m, const Command& c);
void GsStatus(Machine& m, const Command& c);

}  // namespace tillvane::render
