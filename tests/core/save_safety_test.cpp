// Saves survive what a player's disk and files do to them: a full disk, a
// crash between the temporary file and the rename, stale temporary files,
// links, directories and FIFOs where files belong, very long names.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/files.h"
#include "core/machine.h"
#include "system/loader.h"
#include "support/test_support.h"

extern char** environ;

namespace kestra {
namespace {

namespace fs = std::filesystem;
using test::Footer;
using test::ReadFile;
using test::TempDir;
using test::TestMachine;
using test::WriteFile;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + seed);
  return bytes;
}

class SaveSafetyTest : public ::testing::Test {
 protected:
  // An 8 KB SRAM cartridge `name`.ws with `old` as its save file.
  std::string Game(const std::string& name, const std::vector<uint8_t>& old) {
    Footer f;
    f.saveTypeCode = 0x01;
    const std::string image = dir.file(name + ".ws");
    WriteFile(image, test::MakeImage(1, f));
    if (!old.empty()) WriteFile(dir.file(name + ".sav"), old);
    return image;
  }
  std::vector<std::string> Texts() const { return m.messages.texts(); }

  // In the child of a death test: loads `image`, changes the whole save and
  // unloads with writes past 4 KB failing. 0 when the failure was reported.
  int UnloadOnFullDisk(const std::string& image) {
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, SIG_IGN);
    if (LoadCartridge(*m, image) != 0) return 2;
    for (int i = 0; i < 8192; ++i) m->map.SaveBankTable[0][i] = 0xEE;
    UnloadCartridge(*m);
    return Texts() == std::vector<std::string>{kMsgSaveWriteFailed} ? 0 : 3;
  }

  TempDir dir;
  TestMachine m;
  const std::vector<uint8_t> old = Pattern(8192, 1);
};

// A disk that fills up part-way through the save: the file-size limit makes
// every write past 4 KB fail as a full disk does. In a child process, so the
// limit cannot reach anything else.
TEST_F(SaveSafetyTest, FullDiskKeepsTheOldSaveByteForByte) {
  const std::string image = Game("full", old);
  EXPECT_EXIT(std::_Exit(UnloadOnFullDisk(image)), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadFile(dir.file("full.sav")), old);
  EXPECT_FALSE(fs::exists(dir.file("full.sav.tmp")));
}

// The runner killed between the complete temporary file and the rename (the
// worst moment for a crash or a power cut) leaves the old save; the next run
// loads it and replaces the stale temporary file.
TEST_F(SaveSafetyTest, KillBeforeTheRenameKeepsTheOldSave) {
  const std::string image = Game("crash", old);
  const auto run = [&](bool kill) {
    std::vector<std::string> args = {KESTRA_HEADLESS, "-n", "5", image};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    if (kill) env.push_back(std::string(kFaultVariable) + "=" + kFaultKillBeforeRename);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, KESTRA_HEADLESS, nullptr, nullptr, argv.data(), envp.data()) == 0) {
      waitpid(pid, &status, 0);
    }
    return status;
  };

  const int killed = run(true);
  ASSERT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL) << killed;
  EXPECT_EQ(ReadFile(dir.file("crash.sav")), old);
  EXPECT_EQ(ReadFile(dir.file("crash.sav.tmp")).size(), 8192u);  // what the crash left

  const int clean = run(false);
  ASSERT_TRUE(WIFEXITED(clean) && WEXITSTATUS(clean) == 0) << clean;
  EXPECT_EQ(ReadFile(dir.file("crash.sav")).size(), 8192u);
  EXPECT_FALSE(fs::exists(dir.file("crash.sav.tmp")));
}

TEST_F(SaveSafetyTest, StaleTemporaryLinkIsReplacedNotFollowed) {
  const std::string image = Game("stale", old);
  const std::vector<uint8_t> victim = Pattern(100, 7);
  WriteFile(dir.file("victim"), victim);
  fs::create_symlink(dir.file("victim"), dir.file("stale.sav.tmp"));
  ASSERT_EQ(LoadCartridge(*m, image), 0);
  m->map.SaveBankTable[0][0] = 0x5A;
  UnloadCartridge(*m);
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(ReadFile(dir.file("victim")), victim);
  const auto saved = ReadFile(dir.file("stale.sav"));
  ASSERT_EQ(saved.size(), 8192u);
  EXPECT_EQ(saved[0], 0x5A);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("stale.sav.tmp"))));
}

// A save kept elsewhere behind a link is updated there, and the link stays;
// the file keeps its permissions.
TEST_F(SaveSafetyTest, LinkedSaveIsWrittenThroughTheLink) {
  const std::string image = Game("linked", {});
  fs::create_directory(dir.file("saves"));
  WriteFile(dir.file("saves/real.sav"), old);
  chmod(dir.file("saves/real.sav").c_str(), 0600);
  fs::create_symlink("saves/real.sav", dir.file("linked.sav"));  // relative
  ASSERT_EQ(LoadCartridge(*m, image), 0);
  EXPECT_EQ(m->map.SaveBankTable[0][1], old[1]);
  m->map.SaveBankTable[0][1] = 0xA5;
  UnloadCartridge(*m);
  EXPECT_TRUE(Texts().empty());
  EXPECT_TRUE(fs::is_symlink(dir.file("linked.sav")));
  const auto saved = ReadFile(dir.file("saves/real.sav"));
  ASSERT_EQ(saved.size(), 8192u);
  EXPECT_EQ(saved[1], 0xA5);
  EXPECT_EQ(fs::status(dir.file("saves/real.sav")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SaveSafetyTest, DirectoryOrFifoWhereTheSaveBelongsFailsTheLoad) {
  const std::string image = Game("odd", {});
  fs::create_directory(dir.file("odd.sav"));
  EXPECT_EQ(LoadCartridge(*m, image), -1);
  EXPECT_EQ(Texts(), std::vector<std::string>{kMsgBadSave});
  UnloadCartridge(*m);
  EXPECT_TRUE(fs::is_directory(dir.file("odd.sav")));

  fs::remove(dir.file("odd.sav"));
  ASSERT_EQ(mkfifo(dir.file("odd.sav").c_str(), 0600), 0);
  m.messages.messages.clear();
  EXPECT_EQ(LoadCartridge(*m, image), -1);  // without waiting for a writer
  EXPECT_EQ(Texts(), std::vector<std::string>{kMsgBadSave});
}

// A save that is there but cannot be opened must not be taken for a new one:
// the empty save would replace it at unload.
TEST_F(SaveSafetyTest, SaveThatCannotBeOpenedFailsTheLoadAndStays) {
  const std::string image = Game("locked", {});
  fs::create_symlink("locked.sav", dir.file("locked.sav"));  // a loop: ELOOP
  EXPECT_EQ(LoadCartridge(*m, image), -1);
  EXPECT_EQ(Texts(), std::vector<std::string>{kMsgBadSave});
  UnloadCartridge(*m);
  EXPECT_TRUE(fs::is_symlink(dir.file("locked.sav")));

  if (geteuid() == 0) return;  // root opens anything: no permission case
  fs::remove(dir.file("locked.sav"));
  WriteFile(dir.file("locked.sav"), old);
  fs::permissions(dir.file("locked.sav"), fs::perms::none);
  m.messages.messages.clear();
  EXPECT_EQ(LoadCartridge(*m, image), -1);
  EXPECT_EQ(Texts(), std::vector<std::string>{kMsgBadSave});
  UnloadCartridge(*m);
  fs::permissions(dir.file("locked.sav"), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadFile(dir.file("locked.sav")), old);
}

TEST_F(SaveSafetyTest, ImageNamedLikeItsSaveIsNeverOverwritten) {
  Footer f;
  f.saveTypeCode = 0x01;
  const auto bytes = test::MakeImage(1, f);
  WriteFile(dir.file("game.sav"), bytes);
  EXPECT_EQ(LoadCartridge(*m, dir.file("game.sav")), -1);
  EXPECT_EQ(Texts(), std::vector<std::string>{kMsgBadSave});
  UnloadCartridge(*m);
  EXPECT_EQ(ReadFile(dir.file("game.sav")), bytes);
}

TEST_F(SaveSafetyTest, FifoOrDeviceAsImageCannotBeRead) {
  ASSERT_EQ(mkfifo(dir.file("pipe.ws").c_str(), 0600), 0);
  for (const std::string& path : {dir.file("pipe.ws"), std::string("/dev/zero")}) {
    m.messages.messages.clear();
    EXPECT_EQ(LoadCartridge(*m, path), -1) << path;
    EXPECT_EQ(Texts(), std::vector<std::string>{kMsgCannotRead}) << path;
  }
  m.messages.messages.clear();
  EXPECT_EQ(LoadCartridge(*m, dir.path().string()), -1);
  EXPECT_EQ(Texts(), std::vector<std::string>{kMsgFileNotFound});
}

// A save whose name just fits a file name still gets a temporary file.
TEST_F(SaveSafetyTest, LongestFileNameStillSaves) {
  const std::string stem(251, 'n');  // stem + ".sav" is 255 bytes
  const std::string image = Game(stem, old);
  ASSERT_EQ(LoadCartridge(*m, image), 0);
  m->map.SaveBankTable[0][2] = 0x11;
  UnloadCartridge(*m);
  EXPECT_TRUE(Texts().empty());
  const auto saved = ReadFile(dir.file(stem + ".sav"));
  ASSERT_EQ(saved.size(), 8192u);
  EXPECT_EQ(saved[2], 0x11);
  EXPECT_EQ(TemporaryPathFor("/d/" + stem + ".sav"), "/d/" + stem + ".tmp");
  EXPECT_EQ(TemporaryPathFor("a.sav"), "a.sav.tmp");
}

}  // namespace
}  // namespace kestra
