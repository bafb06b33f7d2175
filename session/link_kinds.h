// The link kinds, one row each: how the port page's choice opens the link, how the
// opened link is proven, what the operator is told when either fails, and how a
// background job sends over it.
//
// A new link kind is one back end in link/, one row here (link_kinds.cpp), and one row
// on the port page that fills its fields of LinkChoice.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "abi/lpt_ports.h"
#include "base/operator_text.h"
#include "session/link_choice.h"

namespace tillvane {

// The operator's messages of a failed opening.
inline constexpr const char* kSerialOpenFailed =
    OPERATOR_TEXT("Operator", "串口打开失败！请检查打印机是否正确连接！");
inline constexpr const char* kParallelOpenFailed =
    OPERATOR_TEXT("Operator", "并口打开失败！请检查打印机是否正确连接！");
inline constexpr const char* kUsbPortOpenFailed =
    OPERATOR_TEXT("Operator", "USB口打开失败！请检查打印机是否正确连接！");
inline constexpr const char* kNetworkOpenFailed =
    OPERATOR_TEXT("Operator", "网络打印机连接失败！请检查打印机地址和网络连接！");
inline constexpr const char* kVirtualOpenFailed = OPERATOR_TEXT("Operator", "虚拟打印机打开失败！");
inline constexpr const char* kPortTestFailed = OPERATOR_TEXT("Operator", "端口通讯测试失败!");

// What one step of opening a link came to. `reason` is the system's reason for a
// failure ("open /dev/ttyUSB0: Permission denied").
struct LinkStep {
  bool ok = true;
  std::string reason;
  // A proof that asked the printer for its paper sensors (GS r 1): the byte it answered.
  std::optional<uint8_t> answer;

  static LinkStep Done() { return {}; }
  static LinkStep Answered(std::optional<uint8_t> byte) { return {true, {}, byte}; }
  static LinkStep Failed(std::string why) { return {false, std::move(why), {}}; }
};

struct LinkKindRow {
  int32_t kind;      // the LinkKind value the link runs under
  const char* name;  // for the log: "serial", "parallel", ...

  // Opens the chosen link and makes it the one SendData writes to once LinkKind
  // names it.
  LinkStep (*open)(const LinkChoice& choice);
  // Proves the opened link. It runs with LinkKind naming the link already, so that
  // its bytes go through SendData (and into "Commands.dat") like any others.
  LinkStep (*prove)();

  // Shown when opening fails; null when the failure is silent.
  const char* open_failed_message;
  // Whether a failed opening leaves no link at all (LinkNone) or the link open before.
  bool open_failure_clears_link;
  // Shown when proving fails; LinkKind is then LinkNone.
  const char* test_failed_message;

  // Bytes per send of the command-file stream: 1 streams byte by byte, a larger
  // block size sends whole blocks and then the remainder (even when empty).
  int32_t job_block_size;
  // The stream's progress after every block (false), or at most every progress
  // interval and after the last (true), for links whose blocks pass in microseconds.
  bool job_progress_throttled = false;

  // The caption of the link kind's radio button on the port page.
  const char* caption = nullptr;
};

// Every link kind, in the order the port page offers them.
std::span<const LinkKindRow> LinkKinds();
// The row of a LinkKind value; null for LinkNone and unknown values.
const LinkKindRow* FindLinkKind(int32_t kind);
// The command-file stream's block size on that link; 0 when no link is open (nothing
// is sent).
int32_t JobBlockSize(int32_t kind);

}  // namespace tillvane
