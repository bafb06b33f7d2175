// The includes of the source tree follow the layer table; and the check itself finds
// what it must on a small planted tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/layering/layer_table.h"
#include "tests/support/recording.h"

namespace tillvane::layering {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

TEST(Layering, TheSourceTreeIncludesOnlyWhatTheTableAllows) {
  const std::vector<std::string> forbidden = ForbiddenIncludes(TILLVANE_SOURCE_DIR);
  std::string report;
  for (const std::string& line : forbidden) report += line + "\n";
  EXPECT_TRUE(forbidden.empty()) << report;
}

TEST(Layering, EveryRowUsesOnlyRowsAboveItAndNamesAFolderOfTheTree) {
  std::set<std::string_view> below;
  for (const Layer& layer : kLayers) {
    EXPECT_TRUE(fs::is_directory(fs::path(TILLVANE_SOURCE_DIR) / layer.folder)) << layer.folder;
    std::string_view rest = layer.may_use;
    while (!rest.empty()) {
      const size_t space = rest.find(' ');
      const std::string_view used = rest.substr(0, space);
      EXPECT_TRUE(below.count(used))
          << layer.folder << " uses " << used << ", which is not a row above it";
      rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
    }
    EXPECT_TRUE(below.insert(layer.folder).second) << layer.folder << " has two rows";
  }
}

class PlantedTree : public ::testing::Test {
 protected:
  void Plant(const std::string& file, const std::string& text) {
    const fs::path path = dir_.path() / file;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  std::vector<std::string> Check() { return ForbiddenIncludes(dir_.path()); }

  testing::ScopedTempDir dir_;
};

TEST_F(PlantedTree, IncludesTheTableAllowsPass) {
  Plant("link/send.cpp",
        "#include \"link/send.h\"\n#include \"abi/api.h\"\n#include \"config/ini.h\"\n"
        "#include <vector>\n#include \"beside.h\"\n");
  Plant("session/jobs.cpp", "#include \"documents/ticket.h\"\n#include \"abi/api.h\"\n");
  Plant("app/form.cpp", "  #  include \"session/jobs.h\"\n");
  Plant("plugins/usb/usb.cpp", "#include \"abi/vorn.h\"\n#include \"plugins/usb/usb.h\"\n");
  Plant("tests/any/any_test.cpp", "#include \"app/form.h\"\n#include \"tests/rigs/rig.h\"\n");
  Plant("bench/b.cpp", "#include \"app/form.h\"\n");
  Plant("tools/tool.cpp", "#include <cstdio>\n");
  EXPECT_THAT(Check(), ::testing::IsEmpty());
}

TEST_F(PlantedTree, UpwardAndSidewaysIncludesAreNamedByFileAndLine) {
  Plant("link/send.cpp", "#include \"link/send.h\"\n\n#include \"session/jobs.h\"\n");
  Plant("commands/posfun.cpp", "#include \"config/models.h\"\n");  // config: not via commands
  Plant("documents/ticket.cpp", "// a receipt\n#include \"link/send_data.h\"\n");
  Plant("plugins/sim/sim.h", "#pragma once\n#include \"link/link_state.h\"\n");
  Plant("abi/api.h", "#include \"config/models.h\"\n");
  EXPECT_THAT(
      Check(),
      ElementsAre(
          "abi/api.h:1: includes \"config/models.h\": abi/ may use no other layer",
          "commands/posfun.cpp:1: includes \"config/models.h\": commands/ may use base protocol "
          "link",
          "documents/ticket.cpp:2: includes \"link/send_data.h\": documents/ may use "
          "base commands config",
          "link/send.cpp:3: includes \"session/jobs.h\": link/ may use base abi config "
          "render",
          "plugins/sim/sim.h:2: includes \"link/link_state.h\": plugins/ may use abi"));
}

TEST_F(PlantedTree, AFolderInNoRowMayIncludeNothingInQuotes) {
  Plant("extra/page.cpp", "#include \"extra/page.h\"\n#include \"abi/api.h\"\n");
  EXPECT_THAT(Check(), ElementsAre("extra/page.cpp:2: includes \"abi/api.h\": extra/ is in no "
                                   "row of the layer table"));
}

TEST_F(PlantedTree, TheRendererIsTheBottomLayer) {
  Plant("link/virtual.cpp", "#include \"render/printer.h\"\n");
  Plant("render/printer.cpp", "#include \"render/printer.h\"\n#include \"link/send_data.h\"\n");
  EXPECT_THAT(Check(), ElementsAre("render/printer.cpp:2: includes \"link/send_data.h\": render/ "
                                   "may use base protocol"));
}

TEST_F(PlantedTree, TheRendererUsesNoLayerButBase) {
  Plant("render/barcode/barcode.cpp",
        "#include \"render/barcode/code128.h\"\n#include \"base/log.h\"\n"
        "#include \"commands/posfun.h\"\n");
  EXPECT_THAT(Check(), ElementsAre("render/barcode/barcode.cpp:3: includes \"commands/posfun.h\": "
                                   "render/ may use base protocol"));
}

TEST_F(PlantedTree, TheServerUsesTheRendererProtocolAndBaseOnly) {
  Plant("server/print_server.cpp",
        "#include \"server/print_server.h\"\n#include \"render/printer.h\"\n"
        "#include \"base/log.h\"\n#include \"link/send_data.h\"\n");
  Plant("render/png_file.cpp", "#include \"server/job_store.h\"\n");
  EXPECT_THAT(Check(),
              ElementsAre("render/png_file.cpp:1: includes \"server/job_store.h\": render/ may "
                          "use base protocol",
                          "server/print_server.cpp:4: includes \"link/send_data.h\": server/ may "
                          "use base protocol render"));
}

TEST_F(PlantedTree, BaseUsesNoOtherLayer) {
  Plant("base/log.cpp", "#include \"base/log.h\"\n#include \"config/ini_file.h\"\n");
  EXPECT_THAT(Check(), ElementsAre("base/log.cpp:2: includes \"config/ini_file.h\": "
                                   "base/ may use no other layer"));
}

TEST_F(PlantedTree, TheCommandLanguageUsesNoOtherLayer) {
  Plant("protocol/tokenizer.cpp",
        "#include \"protocol/tokenizer.h\"\n#include \"render/printer.h\"\n"
        "#include \"base/log.h\"\n");
  Plant("render/printer.cpp", "#include \"protocol/tokenizer.h\"\n");
  EXPECT_THAT(Check(), ElementsAre("protocol/tokenizer.cpp:2: includes \"render/printer.h\": "
                                   "protocol/ may use no other layer",
                                   "protocol/tokenizer.cpp:3: includes \"base/log.h\": "
                                   "protocol/ may use no other layer"));
}

TEST_F(PlantedTree, BuildTreesAndHiddenFoldersAreNotRead) {
  Plant("build/generated/x.h", "#include \"app/form.h\"\n");
  Plant("build-asan/y.cpp", "#include \"app/form.h\"\n");
  Plant(".git/z.h", "#include \"app/form.h\"\n");
  Plant("link/.cache/w.h", "#include \"app/form.h\"\n");
  Plant("link/notes.txt", "#include \"app/form.h\"\n");
  EXPECT_THAT(Check(), ::testing::IsEmpty());
}

}  // namespace
}  // namespace tillvane::layering
