#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "config/config_location.h"
#include "config/current_model.h"
#include "config/models.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ModelIni(const std::string& name) {
  return "[Common]\nNumber=1\nApplicationName=" + name + "\n[Pos1]\nName=" + name + "\nWidth=80\n";
}

TEST(ConfigCandidates, UserPlaceFirstThenProgramFolder) {
  EXPECT_EQ(ConfigCandidates("/x/config", "/home/u", "/opt/t"),
            (Strings{"/x/config/tillvane/Tillvane.ini", "/opt/t/Tillvane.ini"}));
  // Without XDG_CONFIG_HOME the user's place is ~/.config.
  EXPECT_EQ(ConfigCandidates(nullptr, "/home/u", "/opt/t"),
            (Strings{"/home/u/.config/tillvane/Tillvane.ini", "/opt/t/Tillvane.ini"}));
  EXPECT_EQ(ConfigCandidates("", "/home/u/", "/opt/t/"),
            (Strings{"/home/u/.config/tillvane/Tillvane.ini", "/opt/t/Tillvane.ini"}));
  // A relative XDG_CONFIG_HOME is invalid and ignored.
  EXPECT_EQ(ConfigCandidates("relative/config", "/home/u", "/opt/t"),
            (Strings{"/home/u/.config/tillvane/Tillvane.ini", "/opt/t/Tillvane.ini"}));
  // Neither variable: only the program folder.
  EXPECT_EQ(ConfigCandidates(nullptr, nullptr, "/opt/t"), (Strings{"/opt/t/Tillvane.ini"}));
  EXPECT_EQ(ConfigCandidates("", "", "/"), (Strings{"/Tillvane.ini"}));
}

class ConfigChoiceTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetCurrentModel("", 80);
    SetPortMap(LoadPorts(IniFile()));
  }
  fs::path User() const { return dir_.path() / "config/tillvane/Tillvane.ini"; }
  fs::path Program() const { return dir_.path() / "program/Tillvane.ini"; }
  Strings Candidates() const {
    return ConfigCandidates((dir_.path() / "config").c_str(), "/nonexistent",
                            (dir_.path() / "program").string());
  }
  testing::ScopedTempDir dir_;
};

TEST_F(ConfigChoiceTest, TheUsersOwnCopyWinsOverTheProgramFolders) {
  Write(User(), ModelIni("Mine"));
  Write(Program(), ModelIni("System"));
  const ConfigChoice choice = ChooseConfigFile(Candidates());
  EXPECT_EQ(choice.path, User().string());
  EXPECT_TRUE(choice.unreadable_path.empty());
  // Everything comes from the user's file: models, caption.
  const ModelConfig c = LoadModels(choice.path);
  EXPECT_EQ(c.ModelTable[0].Name, "Mine");
  EXPECT_EQ(c.Caption, "Mine V2.41");
  EXPECT_EQ(CurrentModelName(), "Mine");
}

TEST_F(ConfigChoiceTest, WithoutAUserCopyTheProgramFoldersIsRead) {
  Write(Program(), ModelIni("System"));
  fs::create_directories(User().parent_path());  // the folder alone is no copy
  EXPECT_EQ(ChooseConfigFile(Candidates()).path, Program().string());
}

TEST_F(ConfigChoiceTest, ALinkToAFileIsReadLikeTheFile) {
  // The installed program folder's Tillvane.ini leads to the one under /etc.
  Write(dir_.path() / "etc/Tillvane.ini", ModelIni("Etc"));
  fs::create_directories(Program().parent_path());
  fs::create_symlink(dir_.path() / "etc/Tillvane.ini", Program());
  const ConfigChoice choice = ChooseConfigFile(Candidates());
  EXPECT_EQ(choice.path, Program().string());
  EXPECT_EQ(LoadModels(choice.path).ModelTable[0].Name, "Etc");
}

TEST_F(ConfigChoiceTest, NoFileAnywhereIsNoProblem) {
  const ConfigChoice choice = ChooseConfigFile(Candidates());
  EXPECT_TRUE(choice.path.empty());
  EXPECT_TRUE(choice.unreadable_path.empty());
  EXPECT_EQ(choice.unreadable_problem, ConfigProblem::None);
}

TEST_F(ConfigChoiceTest, AnUnreadableUserCopyIsReportedAndTheNextFileRead) {
  struct Case {
    const char* what;
    ConfigProblem problem;
  };
  for (const Case& k :
       {Case{"folder", ConfigProblem::Folder}, Case{"dangling link", ConfigProblem::DanglingLink},
        Case{"pipe", ConfigProblem::NotRegular}}) {
    SCOPED_TRACE(k.what);
    fs::remove_all(dir_.path() / "config");
    fs::create_directories(User().parent_path());
    if (k.problem == ConfigProblem::Folder) fs::create_directory(User());
    if (k.problem == ConfigProblem::DanglingLink)
      fs::create_symlink(dir_.path() / "nowhere.ini", User());
    // A pipe is never opened: opening it would wait for a writer.
    if (k.problem == ConfigProblem::NotRegular) ASSERT_EQ(mkfifo(User().c_str(), 0644), 0);
    Write(Program(), ModelIni("System"));

    const ConfigChoice choice = ChooseConfigFile(Candidates());
    EXPECT_EQ(choice.unreadable_path, User().string());
    EXPECT_EQ(choice.unreadable_problem, k.problem);
    EXPECT_EQ(choice.path, Program().string());

    // With nothing after it, nothing is read, and the problem is still reported.
    fs::remove(Program());
    const ConfigChoice alone = ChooseConfigFile(Candidates());
    EXPECT_TRUE(alone.path.empty());
    EXPECT_EQ(alone.unreadable_path, User().string());
  }
}

TEST_F(ConfigChoiceTest, AFileWithoutReadPermissionIsReportedWithTheSystemsReason) {
  Write(User(), ModelIni("Mine"));
  Write(Program(), ModelIni("System"));
  for (const fs::path& p :
       {dir_.path(), dir_.path() / "config", User().parent_path(), Program().parent_path()})
    fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(User(), fs::perms::none);
  fs::permissions(Program(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  // Root reads every file: the choice is made by an ordinary user in a child process.
  auto check = [&] {
    const ConfigChoice choice = ChooseConfigFile(Candidates());
    return choice.unreadable_path == User().string() &&
           choice.unreadable_problem == ConfigProblem::SystemError &&
           choice.error_number == EACCES && choice.path == Program().string();
  };
  if (geteuid() != 0) {
    EXPECT_TRUE(check());
    return;
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
    _exit(!dropped ? 2 : check() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not become an ordinary user, 1: wrong choice";
}

}  // namespace
}  // namespace tillvane
