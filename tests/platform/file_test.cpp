#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Drives C and D stand for two folders of a fresh temporary folder.
class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/file_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    ASSERT_TRUE(DriveSetFolder('C', (folder_ + "/c").c_str()));
    ASSERT_TRUE(DriveSetFolder('d', (folder_ + "/d/").c_str()));
  }
  void TearDown() override {
    DriveSetFolder('C', nullptr);
    DriveSetFolder('D', nullptr);
    std::filesystem::remove_all(folder_);
  }

  std::string Host(const std::string& relative) { return folder_ + "/" + relative; }

  void Put(const char* path, const std::string& content) {
    FileHandle file = FileOpen(path, FileAccess::Write, FileCreation::CreateAlways);
    ASSERT_NE(file, kInvalidFile) << path;
    ASSERT_TRUE(FileWrite(file, content.data(), static_cast<uint32_t>(content.size()), nullptr));
    ASSERT_TRUE(FileClose(file));
  }

  std::string Get(const char* path) {
    FileHandle file = FileOpen(path, FileAccess::Read, FileCreation::OpenExisting);
    if (file == kInvalidFile) return "(missing)";
    std::string content(static_cast<size_t>(FileSize(file)), '\0');
    uint32_t done = 0;
    EXPECT_TRUE(FileRead(file, content.data(), static_cast<uint32_t>(content.size()), &done));
    EXPECT_EQ(done, content.size());
    FileClose(file);
    return content;
  }

  std::string folder_;
};

TEST_F(FileTest, SystemPathsTranslateIntoTheirDriveFolders) {
  struct Case {
    const char* path;
    const char* host;  // below the temporary folder
  } cases[] = {
      {"C:\\Program Files\\Vorlan\\vorlan.exe", "c/Program Files/Vorlan/vorlan.exe"},
      {"\\Qualen Software\\Uninstall Log for Vorlan.txt",
       "c/Qualen Software/Uninstall Log for Vorlan.txt"},
      {"Games\\Vorlan.lnk", "c/Games/Vorlan.lnk"},
      {"d:/games//a", "d/games/a"},
      {"C:\\a\\..\\b", "c/b"},
      {"C:\\a\\.\\b\\", "c/a/b"},
      {"C:\\name. ", "c/name"},
      {"C:", "c"},
      {"C:\\", "c"},
  };
  for (const Case& c : cases) {
    std::string host;
    ASSERT_TRUE(TranslatePath(c.path, &host)) << c.path;
    EXPECT_EQ(host, Host(c.host)) << c.path;
    EXPECT_EQ(GetLastErrorCode(), kErrorSuccess);
  }
  // The drive's folder is made when a path first needs it.
  EXPECT_TRUE(std::filesystem::is_directory(Host("c")));
}

TEST_F(FileTest, PathsThatWouldLeaveTheirDriveOrAreMalformedAreRefused) {
  struct Case {
    const char* path;
    uint32_t error;
  } cases[] = {
      {"C:\\..", kErrorAccessDenied},
      {"C:\\a\\..\\..\\etc\\passwd", kErrorAccessDenied},
      {"\\..\\x", kErrorAccessDenied},
      {"..\\x", kErrorAccessDenied},
      {"d:/a/b/../../../c", kErrorAccessDenied},
      {"\\\\server\\share\\file", kErrorInvalidName},
      {"C:\\a:stream", kErrorInvalidName},
      {"C:\\a*b", kErrorInvalidName},
      {"C:\\what?", kErrorInvalidName},
      {"C:\\a\x01", kErrorInvalidName},
      {"1:\\x", kErrorInvalidName},
      {"C:\\...", kErrorInvalidName},
  };
  for (const Case& c : cases) {
    std::string host = "untouched";
    EXPECT_FALSE(TranslatePath(c.path, &host)) << c.path;
    EXPECT_EQ(GetLastErrorCode(), c.error) << c.path;
    EXPECT_EQ(host, "untouched");
    // Every call that takes a path refuses it the same way.
    EXPECT_EQ(FileOpen(c.path, FileAccess::Write, FileCreation::CreateAlways), kInvalidFile);
    EXPECT_EQ(GetLastErrorCode(), c.error) << c.path;
    EXPECT_EQ(FileGetAttributes(c.path), kFileInvalidAttributes);
  }
  EXPECT_FALSE(std::filesystem::exists(Host("x")));
}

TEST_F(FileTest, LinksLeadingOutOfTheDriveAreRefused) {
  std::filesystem::create_directories(Host("outside"));
  std::filesystem::create_directories(Host("c/inside"));
  std::filesystem::create_directory_symlink(Host("outside"), Host("c/away"));
  std::filesystem::create_symlink(Host("outside/new.txt"), Host("c/dangling.txt"));
  std::filesystem::create_directory_symlink(Host("c/inside"), Host("c/here"));
  for (const char* path : {"C:\\away", "C:\\away\\x.txt", "C:\\AWAY\\x.txt", "C:\\dangling.txt"}) {
    std::string host;
    EXPECT_FALSE(TranslatePath(path, &host)) << path;
    EXPECT_EQ(GetLastErrorCode(), kErrorAccessDenied) << path;
    EXPECT_EQ(FileOpen(path, FileAccess::Write, FileCreation::CreateAlways), kInvalidFile) << path;
  }
  FileFound found;
  EXPECT_EQ(FileFindFirst("C:\\away\\*", &found), nullptr);
  EXPECT_FALSE(FileMove("C:\\inside", "C:\\away\\inside"));
  EXPECT_TRUE(std::filesystem::is_empty(Host("outside")));
  // A link that stays inside is an ordinary folder.
  Put("C:\\here\\file.txt", "inside");
  EXPECT_EQ(Get("C:\\inside\\file.txt"), "inside");
}

TEST_F(FileTest, ExistingNamesAreFoundWithoutCase) {
  ASSERT_TRUE(FolderCreate("C:\\Program Files"));
  ASSERT_TRUE(FolderCreate("C:\\PROGRAM FILES\\Vorlan"));  // into the same folder
  Put("C:\\Program Files\\Vorlan\\Vorlan.exe", "game");
  EXPECT_EQ(Get("c:\\program files\\VORLAN\\vorlan.EXE"), "game");
  EXPECT_EQ(FileGetAttributes(u"C:\\PROGRAM FILES"), kFileAttributeDirectory);
  // Writing under another spelling replaces the one file.
  Put("C:\\program files\\vorlan\\VORLAN.EXE", "new");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Host("c/Program Files/Vorlan")))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Vorlan.exe"});
  EXPECT_EQ(Get("C:\\Program Files\\Vorlan\\Vorlan.exe"), "new");
  // An existing folder of another spelling is not made again.
  EXPECT_FALSE(FolderCreate("c:\\program files"));
  EXPECT_EQ(GetLastErrorCode(), kErrorAlreadyExists);
}

TEST_F(FileTest, EightBitAndUtf16PathsNameTheSameFiles) {
  Put("C:\\Caf\xE9 \x80.txt", "euro");  // 0x80 is the euro sign in the code page
  EXPECT_TRUE(std::filesystem::exists(Host("c/Caf\u00E9 \u20AC.txt")));
  FileHandle file = FileOpen(u"C:\\CAF\u00E9 \u20AC.TXT", FileAccess::Read, FileCreation::OpenExisting);
  ASSERT_NE(file, kInvalidFile);
  FileClose(file);
}

TEST_F(FileTest, ReadWriteSeekAndSize) {
  std::vector<uint8_t> data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  FileHandle file = FileOpen("C:\\data.bin", FileAccess::ReadWrite, FileCreation::CreateAlways);
  ASSERT_NE(file, kInvalidFile);
  // Written in pieces of 32768 bytes, as installation does.
  for (uint32_t offset = 0; offset < data.size(); offset += 32768) {
    uint32_t piece = std::min<uint32_t>(32768, static_cast<uint32_t>(data.size()) - offset);
    uint32_t done = 0;
    ASSERT_TRUE(FileWrite(file, data.data() + offset, piece, &done));
    EXPECT_EQ(done, piece);
  }
  EXPECT_EQ(FileSize(file), 100000);
  EXPECT_EQ(FileSeek(file, 0, FileOrigin::Begin), 0);
  uint8_t header[2];
  uint32_t done = 0;
  ASSERT_TRUE(FileRead(file, header, 2, &done));
  EXPECT_EQ(done, 2u);
  // Read ahead, then step back over what was read.
  EXPECT_EQ(FileSeek(file, -2, FileOrigin::Current), 0);
  std::vector<uint8_t> back(data.size());
  ASSERT_TRUE(FileRead(file, back.data(), static_cast<uint32_t>(back.size()), &done));
  EXPECT_EQ(done, data.size());
  EXPECT_EQ(back, data);
  // At the end a read succeeds with nothing.
  ASSERT_TRUE(FileRead(file, back.data(), 10, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(FileSeek(file, -10, FileOrigin::End), 99990);
  ASSERT_TRUE(FileRead(file, back.data(), 100, &done));
  EXPECT_EQ(done, 10u);
  EXPECT_EQ(FileSeek(file, -1, FileOrigin::Begin), -1);
  ASSERT_TRUE(FileClose(file));

  EXPECT_FALSE(FileRead(kInvalidFile, back.data(), 1, &done));
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidHandle);
  EXPECT_EQ(FileSize(kInvalidFile), -1);
}

TEST_F(FileTest, CreationDispositions) {
  struct Case {
    FileCreation creation;
    bool exists;            // the file is there before the call
    uint32_t error;         // last error after the call
    const char* afterward;  // the file's content afterwards
  } cases[] = {
      {FileCreation::CreateNew, false, kErrorSuccess, ""},
      {FileCreation::CreateNew, true, kErrorFileExists, "old"},
      {FileCreation::CreateAlways, false, kErrorSuccess, ""},
      {FileCreation::CreateAlways, true, kErrorAlreadyExists, ""},
      {FileCreation::OpenExisting, false, kErrorFileNotFound, "(missing)"},
      {FileCreation::OpenExisting, true, kErrorSuccess, "old"},
      {FileCreation::OpenAlways, false, kErrorSuccess, ""},
      {FileCreation::OpenAlways, true, kErrorAlreadyExists, "old"},
      {FileCreation::TruncateExisting, false, kErrorFileNotFound, "(missing)"},
      {FileCreation::TruncateExisting, true, kErrorSuccess, ""},
  };
  int index = 0;
  for (const Case& c : cases) {
    std::string path = "C:\\case" + std::to_string(index++);
    if (c.exists) Put(path.c_str(), "old");
    FileHandle file = FileOpen(path.c_str(), FileAccess::Write, c.creation);
    EXPECT_EQ(GetLastErrorCode(), c.error) << path;
    bool opened = c.error == kErrorSuccess || c.error == kErrorAlreadyExists;
    EXPECT_EQ(file != kInvalidFile, opened) << path;
    if (file != kInvalidFile) FileClose(file);
    EXPECT_EQ(Get(path.c_str()), c.afterward) << path;
  }
  // A missing folder on the way is a missing path, not a missing file.
  EXPECT_EQ(FileOpen("C:\\nowhere\\x", FileAccess::Read, FileCreation::OpenExisting), kInvalidFile);
  EXPECT_EQ(GetLastErrorCode(), kErrorPathNotFound);
  // A folder cannot be opened as a file.
  ASSERT_TRUE(FolderCreate("C:\\folder"));
  EXPECT_EQ(FileOpen("C:\\folder", FileAccess::Read, FileCreation::OpenExisting), kInvalidFile);
  EXPECT_EQ(GetLastErrorCode(), kErrorAccessDenied);
}

TEST_F(FileTest, ReadOnlyFilesAreProtectedUntilTheirAttributesAreCleared) {
  EXPECT_EQ(FileGetAttributes("C:\\missing"), kFileInvalidAttributes);
  EXPECT_EQ(GetLastErrorCode(), kErrorFileNotFound);
  EXPECT_EQ(FileGetAttributes("C:\\missing\\deeper"), kFileInvalidAttributes);
  EXPECT_EQ(GetLastErrorCode(), kErrorPathNotFound);

  Put("C:\\vorlan.exe", "old game");
  EXPECT_EQ(FileGetAttributes("C:\\vorlan.exe"), kFileAttributeNormal);
  ASSERT_TRUE(FileSetAttributes("C:\\vorlan.exe", kFileAttributeReadOnly));
  EXPECT_EQ(FileGetAttributes("C:\\vorlan.exe"), kFileAttributeReadOnly);

  EXPECT_EQ(FileOpen("C:\\vorlan.exe", FileAccess::Write, FileCreation::CreateAlways), kInvalidFile);
  EXPECT_EQ(GetLastErrorCode(), kErrorAccessDenied);
  EXPECT_FALSE(FileDelete("C:\\vorlan.exe"));
  EXPECT_EQ(GetLastErrorCode(), kErrorAccessDenied);
  EXPECT_EQ(Get("C:\\vorlan.exe"), "old game");  // reading is allowed

  // Installation clears the attributes, then overwrites.
  ASSERT_TRUE(FileSetAttributes("C:\\vorlan.exe", 0));
  Put("C:\\vorlan.exe", "new game");
  EXPECT_EQ(Get("C:\\vorlan.exe"), "new game");
  EXPECT_TRUE(FileDelete("C:\\vorlan.exe"));
  EXPECT_FALSE(FileDelete("C:\\vorlan.exe"));
  EXPECT_EQ(GetLastErrorCode(), kErrorFileNotFound);
}

TEST_F(FileTest, ProgramsAreMadeExecutable) {
  Put("C:\\Vorlan.EXE", "program");
  Put("C:\\readme.txt", "text");
  struct stat status;
  ASSERT_EQ(stat(Host("c/Vorlan.EXE").c_str(), &status), 0);
  EXPECT_TRUE(status.st_mode & S_IXUSR);
  ASSERT_EQ(stat(Host("c/readme.txt").c_str(), &status), 0);
  EXPECT_FALSE(status.st_mode & S_IXUSR);
}

TEST_F(FileTest, FoldersAreMadeOneLevelAtATimeAndRemovedOnlyWhenEmpty) {
  EXPECT_FALSE(FolderCreate("C:\\Program Files\\Vorlan"));
  EXPECT_EQ(GetLastErrorCode(), kErrorPathNotFound);
  ASSERT_TRUE(FolderCreate("C:\\Program Files"));
  ASSERT_TRUE(FolderCreate(u"C:\\Program Files\\Vorlan"));
  EXPECT_FALSE(FolderCreate("C:\\Program Files"));
  EXPECT_EQ(GetLastErrorCode(), kErrorAlreadyExists);
  Put("C:\\Program Files\\Vorlan\\vorlan.exe", "x");

  EXPECT_FALSE(FolderRemove("C:\\Program Files\\Vorlan"));
  EXPECT_EQ(GetLastErrorCode(), kErrorDirectoryNotEmpty);
  EXPECT_FALSE(FolderRemove("C:\\Program Files\\Vorlan\\vorlan.exe"));
  EXPECT_EQ(GetLastErrorCode(), kErrorNotAFolder);
  EXPECT_FALSE(FileDelete("C:\\Program Files"));
  EXPECT_EQ(GetLastErrorCode(), kErrorAccessDenied);
  EXPECT_FALSE(FolderRemove("C:\\"));
  EXPECT_EQ(GetLastErrorCode(), kErrorAccessDenied);

  ASSERT_TRUE(FileDelete("C:\\Program Files\\Vorlan\\vorlan.exe"));
  EXPECT_TRUE(FolderRemove("C:\\program files\\vorlan"));
  EXPECT_EQ(FileGetAttributes("C:\\Program Files\\Vorlan"), kFileInvalidAttributes);
}

TEST_F(FileTest, MoveAndCopy) {
  Put("C:\\uninstaller.dll", "library");
  Put("C:\\other.dll", "other");
  // A move never replaces.
  EXPECT_FALSE(FileMove("C:\\uninstaller.dll", "C:\\OTHER.DLL"));
  EXPECT_EQ(GetLastErrorCode(), kErrorAlreadyExists);
  ASSERT_TRUE(FileMove("C:\\uninstaller.dll", "C:\\This File Is Safe To Delete (#1234).dll"));
  EXPECT_EQ(Get("C:\\This File Is Safe To Delete (#1234).dll"), "library");
  EXPECT_EQ(FileGetAttributes("C:\\uninstaller.dll"), kFileInvalidAttributes);
  // A new spelling of the same name is a rename.
  ASSERT_TRUE(FileMove("C:\\other.dll", "C:\\Other.DLL"));
  EXPECT_TRUE(std::filesystem::exists(Host("c/Other.DLL")));
  EXPECT_FALSE(std::filesystem::exists(Host("c/other.dll")));
  // To another drive, folders included.
  ASSERT_TRUE(FolderCreate("C:\\Games"));
  ASSERT_TRUE(FileMove("C:\\Games", "D:\\Games"));
  EXPECT_EQ(FileGetAttributes("D:\\games"), kFileAttributeDirectory);

  EXPECT_FALSE(FileCopy("C:\\Other.DLL", "C:\\This File Is Safe To Delete (#1234).dll", true));
  EXPECT_EQ(GetLastErrorCode(), kErrorFileExists);
  ASSERT_TRUE(FileCopy("C:\\Other.DLL", "C:\\This File Is Safe To Delete (#1234).dll", false));
  EXPECT_EQ(Get("C:\\This File Is Safe To Delete (#1234).dll"), "other");
  ASSERT_TRUE(FileSetAttributes("C:\\Other.DLL", kFileAttributeReadOnly));
  ASSERT_TRUE(FileCopy("C:\\Other.DLL", "D:\\copy.dll", true));
  EXPECT_EQ(FileGetAttributes("D:\\copy.dll"), kFileAttributeReadOnly);
  EXPECT_FALSE(FileCopy("C:\\This File Is Safe To Delete (#1234).dll", "D:\\copy.dll", false));
  EXPECT_EQ(GetLastErrorCode(), kErrorAccessDenied);
  EXPECT_FALSE(FileCopy("C:\\Other.DLL", "C:\\other.dll", false));  // onto itself
  EXPECT_EQ(Get("C:\\Other.DLL"), "other");
  EXPECT_FALSE(FileCopy("C:\\absent", "C:\\x", false));
  EXPECT_EQ(GetLastErrorCode(), kErrorFileNotFound);
}

TEST_F(FileTest, FindFilesWithWildcards) {
  for (const char* name : {"C:\\Games\\a.txt", "C:\\Games\\B.TXT", "C:\\Games\\c.lnk",
                           "C:\\Games\\readme", "C:\\Games\\ab.txt.bak"}) {
    if (FileGetAttributes("C:\\Games") == kFileInvalidAttributes) FolderCreate("C:\\Games");
    Put(name, "12345");
  }
  ASSERT_TRUE(FolderCreate("C:\\Games\\Sub"));
  struct Case {
    const char* pattern;
    std::vector<std::string> names;
  } cases[] = {
      {"C:\\Games\\*.txt", {"B.TXT", "a.txt"}},
      {"C:\\games\\?.LNK", {"c.lnk"}},
      {"C:\\Games\\*", {"B.TXT", "Sub", "a.txt", "ab.txt.bak", "c.lnk", "readme"}},
      {"C:\\Games\\*.*", {"B.TXT", "Sub", "a.txt", "ab.txt.bak", "c.lnk", "readme"}},
      {"C:\\Games\\*.txt*", {"B.TXT", "a.txt", "ab.txt.bak"}},
      {"C:\\Games\\a*t", {"a.txt"}},
      {"C:\\Games\\READ?E", {"readme"}},
      {"C:\\Games\\?", {}},
      {"C:\\Games\\x*", {}},
  };
  for (const Case& c : cases) {
    FileFound found;
    std::vector<std::string> names;
    FileSearch* search = FileFindFirst(c.pattern, &found);
    if (search) {
      do {
        names.push_back(found.narrowName);
        std::u16string wide(found.name);
        EXPECT_EQ(std::string(wide.begin(), wide.end()), found.narrowName);
      } while (FileFindNext(search, &found));
      EXPECT_EQ(GetLastErrorCode(), kErrorNoMoreFiles);
      FileFindClose(search);
    } else {
      EXPECT_EQ(GetLastErrorCode(), kErrorFileNotFound) << c.pattern;
    }
    EXPECT_EQ(names, c.names) << c.pattern;
  }
  FileFound found;
  FileSearch* search = FileFindFirst(u"C:\\Games\\b.txt", &found);
  ASSERT_NE(search, nullptr);
  EXPECT_EQ(found.attributes, kFileAttributeNormal);
  EXPECT_EQ(found.size, 5u);
  FileFindClose(search);
  search = FileFindFirst("C:\\Games\\S*", &found);
  ASSERT_NE(search, nullptr);
  EXPECT_EQ(found.attributes, kFileAttributeDirectory);
  FileFindClose(search);
  EXPECT_EQ(FileFindFirst("C:\\Nowhere\\*", &found), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorPathNotFound);
  // Wildcards belong in the last name only.
  EXPECT_EQ(FileFindFirst("C:\\G*\\*", &found), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidName);
}

TEST_F(FileTest, DriveFoldersComeFromTheApiTheEnvironmentOrTheDataFolder) {
  EXPECT_EQ(DriveGetFolder('c'), Host("c"));
  EXPECT_EQ(DriveGetFolder('D'), Host("d"));  // the trailing slash goes
  setenv("VORLAN_DRIVE_E", "/srv/e-drive", 1);
  EXPECT_EQ(DriveGetFolder('e'), "/srv/e-drive");
  unsetenv("VORLAN_DRIVE_E");
  setenv("XDG_DATA_HOME", folder_.c_str(), 1);
  EXPECT_EQ(DriveGetFolder('E'), Host("vorlan/drives/e"));
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(DriveGetFolder('1'), "");
  EXPECT_FALSE(DriveSetFolder('#', "/tmp"));
}

}  // namespace
