// A second process for the instance tests. It prints "ready" when it has
// done what it was asked and then keeps its state until told or timed out.
//
//   instance_helper hold NAME           holds the named mutex until killed
//   instance_helper serve CLASS         shows a hidden window of CLASS whose
//                                       word 0 holds its main window, and
//                                       exits with command - 1000 when the
//                                       main window receives a command

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/instance.h"
#include "platform/thread.h"
#include "platform/window.h"

namespace {

MessageResult MainProcedure(WindowHandle window, uint32_t message, MessageWord word,
                            MessageLong value) {
  if (message == kMessageCommand) PostQuit(static_cast<int32_t>(LowWord(word)) - 1000);
  return DefaultWindowProcedure(window, message, word, value);
}

int Serve(const char* className) {
  WindowClass ipc;
  if (!CopyWindowClass(kStaticClassName, &ipc)) return 90;
  ipc.name.assign(className, className + std::strlen(className));
  ipc.windowWords = 1;
  WindowClass main;
  main.name = u"HelperMainWindow";
  main.procedure = MainProcedure;
  if (!RegisterWindowClass(ipc) || !RegisterWindowClass(main)) return 91;
  WindowHandle mainWindow = CreateWindowOfClass(u"HelperMainWindow", u"Main", kStylePopup, 0, 0,
                                                240, 294, {}, 0, nullptr);
  WindowHandle hidden =
      CreateWindowOfClass(className, "", kStylePopup, -10, -10, 5, 5, {}, 0, nullptr);
  if (!mainWindow || !hidden) return 92;
  SetWindowWord(hidden, 0, mainWindow.ToWord());
  StartWindowTimer(mainWindow, 1, 20000);  // gives up if the test never posts
  std::printf("ready\n");
  std::fflush(stdout);
  Message message;
  while (GetNextMessage(&message)) {
    if (message.message == kMessageTimer) return 93;
    DispatchWindowMessage(message);
  }
  return static_cast<int>(message.word);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  if (std::strcmp(argv[1], "hold") == 0) {
    NamedMutexHandle mutex = CreateNamedMutex(argv[2], true);
    if (!mutex) return 3;
    std::printf("ready\n");
    std::fflush(stdout);
    SleepMilliseconds(20000);
    return 4;
  }
  if (std::strcmp(argv[1], "serve") == 0) return Serve(argv[2]);
  return 2;
}
