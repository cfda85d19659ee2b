#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "service.h"
#include "temp_work_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string ALPHABET =
    "0123456789!@#$%^&*ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

} // namespace

TEST(InstallKey, MissingFileGetsTwentyAlphabetCharactersAndNothingElse) {
  TempWorkDir dir;
  ensureInstallKey();
  std::string key = fileText("key.txt");
  ASSERT_EQ(key.size(), 20u);
  EXPECT_EQ(key.find_first_not_of(ALPHABET), std::string::npos) << key;
  EXPECT_EQ(key, app.installKey);
  EXPECT_EQ(readInstallKey(), key);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);

  ensureInstallKey();
  EXPECT_EQ(fileText("key.txt"), key);
}

TEST(InstallKey, KeysMadeInTheSameSecondDiffer) {
  TempWorkDir dir;
  ensureInstallKey();
  std::string first = fileText("key.txt");
  fs::remove("key.txt");
  ensureInstallKey();
  EXPECT_NE(fileText("key.txt"), first);
  EXPECT_EQ(fileText("key.txt"), app.installKey);
}

TEST(InstallKey, ExistingFilesAreNeverChanged) {
  const std::string contents[] = {"", "abc\r\nsecond line\n", "x", std::string(500, 'k')};
  for (const std::string &content : contents) {
    SCOPED_TRACE(content.substr(0, 20));
    TempWorkDir dir;
    writeFile("key.txt", content);
    auto old = fs::last_write_time("key.txt") - std::chrono::hours(1);
    fs::last_write_time("key.txt", old);
    ensureInstallKey();
    EXPECT_EQ(fileText("key.txt"), content);
    EXPECT_EQ(fs::last_write_time("key.txt"), old);
    EXPECT_STREQ(app.installKey, "");
  }
}

TEST(InstallKey, KeyTxtThatCannotBeReadIsLeftAlone) {
  TempWorkDir dir;
  fs::create_directory("key.txt");
  writeFile("key.txt/inside", "keep");
  ensureInstallKey();
  EXPECT_TRUE(fs::is_directory("key.txt"));
  EXPECT_EQ(fileText("key.txt/inside"), "keep");
  EXPECT_STREQ(app.installKey, "");
  EXPECT_EQ(readInstallKey(), "");
}

TEST(InstallKey, ReadGivesTheFirstLineOnly) {
  TempWorkDir dir;
  EXPECT_EQ(readInstallKey(), "");
  EXPECT_FALSE(fs::exists("key.txt")); // reading creates nothing

  struct Case {
    std::string file, key;
  } cases[] = {
      {"", ""},
      {"abc\r\nsecond line\n", "abc"},
      {"abc\ndef", "abc"},
      {"\nabc", ""},
      {"a&b%c#d", "a&b%c#d"},
      {std::string(199, 'k'), std::string(199, 'k')},
      {std::string(199, 'k') + "\r\nnext", std::string(199, 'k')},
      // Longer than a key can be: refused, never cut to a different key.
      {std::string(200, 'k'), ""},
      {std::string(5000, 'k') + "\n", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file.substr(0, 20));
    writeFile("key.txt", c.file);
    EXPECT_EQ(readInstallKey(), c.key);
  }
}

// Started in the folder the program is installed in (here: the folder of
// this test program), the key goes to the customer's own folder, the
// launcher's; started anywhere else, the working folder is kept. When the
// customer's folder cannot be made, no key is written at all, and certainly
// not beside the program. Last in this file: a failure is for the whole run.
TEST(InstallKey, StartedInTheInstallationFolderUsesTheCustomersFolder) {
  TempWorkDir data;
  const fs::path programDir = fs::read_symlink("/proc/self/exe").parent_path();
  const char *savedDataHome = std::getenv("XDG_DATA_HOME");
  std::string previousDataHome = savedDataHome ? savedDataHome : "";
  setenv("XDG_DATA_HOME", data.path().c_str(), 1);

  {
    TempWorkDir elsewhere;
    EXPECT_TRUE(leaveInstallationFolder());
    EXPECT_TRUE(fs::equivalent(fs::current_path(), elsewhere.path()));
  }

  fs::current_path(programDir);
  ASSERT_FALSE(fs::exists(programDir / "key.txt"));
  EXPECT_TRUE(leaveInstallationFolder());
  const fs::path own = fs::path(data.path()) / "dravik-tirn";
  EXPECT_TRUE(fs::equivalent(fs::current_path(), own));
  ensureInstallKey();
  EXPECT_EQ(fileText((own / "key.txt").string()).size(), 20u);
  EXPECT_FALSE(fs::exists(programDir / "key.txt"));

  // A folder that cannot be made (a file stands in its way).
  setenv("XDG_DATA_HOME", "/proc/version", 1);
  fs::current_path(programDir);
  EXPECT_FALSE(leaveInstallationFolder());
  ensureInstallKey();
  EXPECT_FALSE(fs::exists(programDir / "key.txt"));

  fs::current_path(data.path());
  if (savedDataHome)
    setenv("XDG_DATA_HOME", previousDataHome.c_str(), 1);
  else
    unsetenv("XDG_DATA_HOME");
}
