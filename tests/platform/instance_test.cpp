#include "platform/instance.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/error.h"
#include "platform/window.h"

extern char** environ;

namespace {

// Another process running the helper program, with a pipe from its output.
class Helper {
 public:
  Helper(const char* mode, const char* argument) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    char* arguments[] = {const_cast<char*>(INSTANCE_HELPER), const_cast<char*>(mode),
                         const_cast<char*>(argument), nullptr};
    if (posix_spawn(&process_, INSTANCE_HELPER, &actions, nullptr, arguments, environ) != 0) {
      process_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
  }
  ~Helper() {
    if (process_ > 0) {
      kill(process_, SIGKILL);
      Wait();
    }
    if (output_ >= 0) close(output_);
  }

  // True once the helper said "ready" within the time.
  bool Ready(int milliseconds = 10000) {
    pollfd waiting{output_, POLLIN, 0};
    if (poll(&waiting, 1, milliseconds) != 1) return false;
    char text[16] = {};
    ssize_t size = read(output_, text, sizeof text - 1);
    return size > 0 && std::string(text).rfind("ready", 0) == 0;
  }

  // The exit code, or -1 when it did not exit normally.
  int Wait() {
    int status = 0;
    if (process_ <= 0 || waitpid(process_, &status, 0) != process_) return -1;
    process_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void Kill() { kill(process_, SIGKILL); }

 private:
  pid_t process_ = -1;
  int output_ = -1;
};

class InstanceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A runtime directory of the test's own, which the helpers inherit.
    char pattern[] = "/tmp/vorlan-instance-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    setenv("XDG_RUNTIME_DIR", directory_.c_str(), 1);
  }
  static void TearDownTestSuite() {
    std::string command = "rm -rf '" + directory_ + "'";
    std::system(command.c_str());
  }
  static std::string directory_;
};

std::string InstanceTest::directory_;

TEST_F(InstanceTest, NamedMutexExcludesAnotherProcessUntilItEnds) {
  Helper holder("hold", "Vorlan CE Mutex");
  ASSERT_TRUE(holder.Ready());
  NamedMutexHandle mutex = CreateNamedMutex(u"Vorlan CE Mutex", false);
  ASSERT_TRUE(mutex);
  EXPECT_EQ(WaitForNamedMutex(mutex, 50), WaitResult::TimedOut);
  EXPECT_FALSE(ReleaseNamedMutex(mutex));  // not held by this handle
  // Another name is another mutex, and names keep their case.
  NamedMutexHandle other = CreateNamedMutex("vorlan ce mutex", true);
  ASSERT_TRUE(other);
  EXPECT_TRUE(CloseNamedMutex(other));

  holder.Kill();  // an ended process lets go, however it ended
  holder.Wait();
  EXPECT_EQ(WaitForNamedMutex(mutex, 5000), WaitResult::Signalled);
  // Held by the handle: waiting again nests, and it takes as many releases.
  EXPECT_EQ(WaitForNamedMutex(mutex, 0), WaitResult::Signalled);
  EXPECT_TRUE(ReleaseNamedMutex(mutex));
  EXPECT_TRUE(ReleaseNamedMutex(mutex));
  EXPECT_FALSE(ReleaseNamedMutex(mutex));
  EXPECT_TRUE(CloseNamedMutex(mutex));
  EXPECT_FALSE(CloseNamedMutex(mutex));
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidHandle);
}

TEST_F(InstanceTest, OwnedCreationWaitsForTheOtherCopy) {
  NamedMutexHandle mine = CreateNamedMutex("Turns Mutex", true);
  ASSERT_TRUE(mine);
  Helper second("hold", "Turns Mutex");
  // The helper cannot say ready while this process holds the mutex.
  EXPECT_FALSE(second.Ready(200));
  EXPECT_TRUE(ReleaseNamedMutex(mine));
  EXPECT_TRUE(second.Ready());
  EXPECT_EQ(WaitForNamedMutex(mine, 20), WaitResult::TimedOut);
  CloseNamedMutex(mine);
}

TEST_F(InstanceTest, WindowOfAnotherProcessIsFoundReadAndPostedTo) {
  Helper running("serve", "Vorlan CE IPC");
  ASSERT_TRUE(running.Ready());

  WindowHandle ipc = FindTopLevelWindow(u"vorlan ce ipc");
  ASSERT_TRUE(ipc);
  EXPECT_TRUE(WindowExists(ipc));
  WindowHandle mainWindow = WindowHandle::FromWord(GetWindowWord(ipc, 0));
  ASSERT_TRUE(mainWindow);
  EXPECT_TRUE(WindowExists(mainWindow));
  SetLastErrorCode(kErrorSuccess);
  EXPECT_EQ(GetWindowWord(ipc, 1), 0);  // the class has one word
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidParameter);
  // Only the calls that cross processes accept the handle.
  EXPECT_FALSE(SetWindowText(ipc, u"x"));
  EXPECT_FALSE(DestroyWindow(ipc));

  ASSERT_TRUE(PostWindowMessage(mainWindow, kMessageCommand, 1031, 0));
  EXPECT_EQ(running.Wait(), 31);

  // Its windows went with it: the handles fail cleanly and nothing is found.
  EXPECT_FALSE(WindowExists(mainWindow));
  SetLastErrorCode(kErrorSuccess);
  EXPECT_FALSE(PostWindowMessage(mainWindow, kMessageCommand, 1031, 0));
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidHandle);
  EXPECT_FALSE(FindTopLevelWindow(u"Vorlan CE IPC"));
}

TEST_F(InstanceTest, KilledProcessLeavesNothingToFind) {
  Helper running("serve", "Killed IPC");
  ASSERT_TRUE(running.Ready());
  WindowHandle ipc = FindTopLevelWindow("Killed IPC");
  ASSERT_TRUE(ipc);
  running.Kill();
  running.Wait();
  EXPECT_FALSE(WindowExists(ipc));
  EXPECT_FALSE(FindTopLevelWindow("Killed IPC"));
}

TEST_F(InstanceTest, OwnWindowIsFoundBeforeOtherProcesses) {
  Helper running("serve", "Shared IPC");
  ASSERT_TRUE(running.Ready());
  WindowClass description;
  ASSERT_TRUE(CopyWindowClass(kStaticClassName, &description));
  description.name = u"Shared IPC";
  ASSERT_TRUE(RegisterWindowClass(description));
  WindowHandle local =
      CreateWindowOfClass(u"Shared IPC", u"", kStylePopup, 0, 0, 5, 5, {}, 0, nullptr);
  ASSERT_TRUE(local);
  EXPECT_EQ(FindTopLevelWindow(u"Shared IPC"), local);
  DestroyWindow(local);
  WindowHandle remote = FindTopLevelWindow(u"Shared IPC");
  EXPECT_TRUE(remote);
  EXPECT_NE(remote, local);
}

}  // namespace
