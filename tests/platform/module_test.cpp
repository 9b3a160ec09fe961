#include "platform/module.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"

namespace {

using AddFunction = int32_t (*)(int32_t, int32_t);
using CountFunction = int32_t (*)();

// The test library is built beside this program as libvorlan_test_module.so.
std::string ProgramFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

std::string TestLibrary() { return ProgramFolder() + "/libvorlan_test_module.so"; }

int32_t Add(DynamicModule* module, int32_t a, int32_t b) {
  auto add = reinterpret_cast<AddFunction>(ModuleFindFunction(module, "ModuleTestAdd"));
  return add ? add(a, b) : -1;
}

TEST(ModuleTest, SystemNamesFindTheLibraryBesideTheProgram) {
  ASSERT_TRUE(std::filesystem::exists(TestLibrary()));
  for (const char* name : {"vorlan_test_module.dll", "VORLAN_TEST_MODULE.DLL", "vorlan_test_module",
                           "libvorlan_test_module.so"}) {
    DynamicModule* module = ModuleLoad(name);
    ASSERT_NE(module, nullptr) << name;
    EXPECT_EQ(GetLastErrorCode(), kErrorSuccess);
    EXPECT_EQ(Add(module, 2, 3), 5) << name;
    EXPECT_TRUE(ModuleUnload(module));
  }
  DynamicModule* module = ModuleLoad(u"vorlan_test_module.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(Add(module, -4, 1), -3);
  EXPECT_TRUE(ModuleUnload(module));
}

TEST(ModuleTest, MissingLibrariesAndFunctionsFailCleanly) {
  EXPECT_EQ(ModuleLoad("rapi-that-is-not-there.dll"), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorModuleNotFound);
  EXPECT_EQ(ModuleLoad(""), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidParameter);

  DynamicModule* module = ModuleLoad("vorlan_test_module.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(ModuleFindFunction(module, "CeOidGetInfoEx"), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorFunctionNotFound);
  EXPECT_TRUE(ModuleUnload(module));
  EXPECT_EQ(ModuleFindFunction(nullptr, "ModuleTestAdd"), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidHandle);
  EXPECT_FALSE(ModuleUnload(nullptr));
}

TEST(ModuleTest, LoadsShareOneCopyUntilTheLastUnload) {
  DynamicModule* first = ModuleLoad("vorlan_test_module.dll");
  DynamicModule* second = ModuleLoad("libvorlan_test_module.so");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  auto countFirst = reinterpret_cast<CountFunction>(ModuleFindFunction(first, "ModuleTestCount"));
  auto countSecond = reinterpret_cast<CountFunction>(ModuleFindFunction(second, "ModuleTestCount"));
  ASSERT_NE(countFirst, nullptr);
  EXPECT_EQ(countFirst(), 1);
  EXPECT_EQ(countSecond(), 2);
  EXPECT_TRUE(ModuleUnload(first));
  EXPECT_EQ(countSecond(), 3);  // still loaded through the second
  EXPECT_TRUE(ModuleUnload(second));
}

class ModulePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/module_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    DriveSetFolder('C', nullptr);
    std::filesystem::remove_all(folder_);
  }
  std::string folder_;
};

TEST_F(ModulePathTest, SystemPathsLoadThatFile) {
  ASSERT_TRUE(DriveSetFolder('C', (folder_ + "/c").c_str()));
  std::filesystem::create_directories(folder_ + "/c/Program Files/Qualen Software");
  std::filesystem::copy_file(TestLibrary(),
                             folder_ + "/c/Program Files/Qualen Software/uninstaller.dll");
  DynamicModule* module = ModuleLoad("c:\\program files\\qualen software\\UNINSTALLER.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(Add(module, 20, 22), 42);
  EXPECT_TRUE(ModuleUnload(module));
  // The host name of the same library is found in that folder too.
  std::filesystem::copy_file(TestLibrary(), folder_ + "/c/libhelper.so");
  module = ModuleLoad(u"C:\\helper.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_TRUE(ModuleUnload(module));
  EXPECT_EQ(ModuleLoad(u"C:\\nowhere\\uninstaller.dll"), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorModuleNotFound);
  // A path cannot reach out of its drive.
  EXPECT_EQ(ModuleLoad("C:\\..\\..\\libvorlan_test_module.so"), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorModuleNotFound);
}

// Run in a child process started with the library search path set; skipped
// when run on its own.
TEST(ModuleSearchPath, NamesAreLookedForOnTheLibraryPath) {
  if (!std::getenv("MODULE_TEST_SEARCH_CHILD")) GTEST_SKIP() << "runs as a child only";
  DynamicModule* module = ModuleLoad("searched.dll");
  ASSERT_NE(module, nullptr);
  ASSERT_EQ(Add(module, 1, 1), 2);
  EXPECT_TRUE(ModuleUnload(module));
  // Tells the parent that this test really ran.
  std::filesystem::create_directory(std::getenv("MODULE_TEST_SEARCH_CHILD"));
}

TEST_F(ModulePathTest, NamesAreLookedForOnTheLibraryPathAfterTheProgramFolder) {
  std::filesystem::copy_file(TestLibrary(), folder_ + "/libsearched.so");
  EXPECT_EQ(ModuleLoad("searched.dll"), nullptr);  // not on this process's path
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("LD_LIBRARY_PATH", folder_.c_str(), 1);
    setenv("MODULE_TEST_SEARCH_CHILD", (folder_ + "/ran").c_str(), 1);
    std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    execl(program.c_str(), program.c_str(), "--gtest_filter=ModuleSearchPath.*",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(std::filesystem::is_directory(folder_ + "/ran"));
}

}  // namespace
