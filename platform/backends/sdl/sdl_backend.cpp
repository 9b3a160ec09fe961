// The SDL2 backend: each visible top-level window of the layer is a window on
// the desktop showing the layer's picture of it, scaled by a whole factor
// with crisp pixels, and the desktop's mouse and keys come back as the
// layer's input.
//
// SDL wants its video calls on one thread, while the system creates and
// changes windows on several. The thread that first uses the screen (makes
// the first top-level window, normally the main thread) takes the SDL video
// subsystem and hooks its message queue; calls from other threads are queued
// for it and it is woken to carry them out, so every SDL call happens there.
// That thread must keep taking its messages for anything to reach the
// desktop. Input is handed to the layer, which
// posts it to the queue of the thread that owns the window under the mouse.

#include <SDL.h>
#include <SDL_shape.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/backends/sdl/sdl_mapping.h"
#include "platform/encoding.h"
#include "platform/region.h"
#include "platform/screen.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "platform/window.h"

namespace {

void TraceSdlFailure(const char* operation) {
  std::string line = "SdlBackend::";
  line += operation;
  line += ": ";
  line += SDL_GetError();
  line += "\n";
  TraceOutput(line.c_str());
}

std::u16string TitleOf(WindowHandle handle) {
  int32_t length = GetWindowTextLength(handle);
  if (length <= 0) return {};
  std::u16string title(static_cast<size_t>(length) + 1, u'\0');
  int32_t copied = GetWindowText(handle, title.data(), length + 1);
  title.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return title;
}

// The window region's rectangles (client coordinates); false when the window
// has no region.
bool ShapeOf(WindowHandle handle, std::vector<Rect>* rectangles) {
  Region* region = CreateEmptyRegion();
  if (!region) return false;
  bool shaped = GetWindowRegion(handle, region);
  if (shaped) {
    int32_t count = GetRegionRectangles(region, nullptr, 0);
    rectangles->resize(static_cast<size_t>(count > 0 ? count : 0));
    if (count > 0) GetRegionRectangles(region, rectangles->data(), count);
  }
  DeleteRegion(region);
  return shaped;
}

// One layer window on the desktop. Touched only on the video thread.
struct DesktopWindow {
  WindowHandle handle;
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  Rect layer;                 // the layer's rectangle, in layer screen coordinates
  bool shapedWindow = false;  // made with SDL_CreateShapedWindow
  bool visible = false;
  bool topMost = false;
  std::vector<uint32_t> staging;
};

class SdlBackend final : public ScreenBackend, public MessageQueueHook {
 public:
  const char* Name() const override { return "sdl"; }

  Rect GetScreenRectangle() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return screen_;
  }

  Rect GetWorkArea() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return workArea_;
  }

  // Hidden windows need nothing on the desktop: the first show makes it.
  void WindowCreated(WindowHandle) override {}

  void WindowDestroyed(WindowHandle window) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      topMost_.erase(window.value);
      dirty_.erase(window.value);
    }
    Run([this, window] { Destroy(window); });
  }

  void WindowShown(WindowHandle window, bool visible) override {
    Run([this, window, visible] { Show(window, visible); });
  }

  void WindowMoved(WindowHandle window, const Rect& screen) override {
    Run([this, window, screen] { Move(window, screen); });
  }

  void WindowTitleChanged(WindowHandle window, const std::u16string& title) override {
    Run([this, window, title] {
      DesktopWindow* desktop = Find(window);
      if (desktop) SDL_SetWindowTitle(desktop->window, Utf16ToUtf8(title).c_str());
    });
  }

  void WindowShapeChanged(WindowHandle window) override {
    Run([this, window] { Reshape(window); });
  }

  void WindowRaised(WindowHandle window, bool topMost) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (topMost) {
        topMost_[window.value] = true;
      } else {
        topMost_.erase(window.value);
      }
    }
    Run([this, window, topMost] { Raise(window, topMost); });
  }

  void PictureChanged(WindowHandle window, const Rect& area) override {
    if (area.Width() <= 0 || area.Height() <= 0) return;
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!started_) return;  // nothing is on the desktop yet
      auto found = dirty_.find(window.value);
      if (found == dirty_.end()) {
        dirty_[window.value] = area;
      } else {
        Rect& merged = found->second;
        merged.left = std::min(merged.left, area.left);
        merged.top = std::min(merged.top, area.top);
        merged.right = std::max(merged.right, area.right);
        merged.bottom = std::max(merged.bottom, area.bottom);
      }
      wake = CurrentThreadId() != videoThread_;
    }
    if (wake) Wake();
  }

  void CaptureChanged(WindowHandle window) override {
    Run([this, window] {
      captureWindow_ = window;
      // SDL captures for the window with the keyboard focus only.
      DesktopWindow* desktop = Find(window);
      if (desktop && desktop->visible && SDL_GetKeyboardFocus() != desktop->window) {
        SDL_SetWindowInputFocus(desktop->window);
      }
      SDL_CaptureMouse(window ? SDL_TRUE : SDL_FALSE);
    });
  }

  void CursorChanged(uint32_t cursor) override {
    Run([this, cursor] { SetCursor(cursor); });
  }

  // The hook of the video thread's queue.

  void Pump() override {
    RunCommands();
    SDL_Event event;
    while (SDL_PollEvent(&event)) Handle(event);
    KeepCapture();
    // Commands and pictures that came while the events were handled.
    RunCommands();
    PresentDirty();
  }

  void Wait(uint32_t milliseconds) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!commands_.empty() || !dirty_.empty()) return;
    }
    if (milliseconds == kWaitForever) {
      SDL_WaitEvent(nullptr);
    } else {
      SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<uint32_t>(milliseconds, 0x7FFFFFFF)));
    }
  }

  // Called with the layer's lock held: only SDL's own event queue is touched.
  void Wake() override {
    uint32_t type = wakeEvent_.load();
    if (type == 0 || type == static_cast<uint32_t>(-1)) return;
    SDL_Event event{};
    event.type = type;
    SDL_PushEvent(&event);
  }

  // Takes the display for the calling thread; false when SDL cannot.
  bool TakeDisplay() {
    Claim();
    std::lock_guard<std::mutex> lock(mutex_);
    return !failed_;
  }

 private:
  // Carries out work on the video thread: at once on it, else queued.
  void Run(std::function<void()> work) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!started_ || failed_) return;
      if (CurrentThreadId() != videoThread_) {
        commands_.push_back(std::move(work));
        work = nullptr;
      }
    }
    if (work) {
      work();
    } else {
      Wake();
    }
  }

  void Claim() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (started_) return;
      started_ = true;
      if (!Start()) return;
    }
    // Outside the lock: the layer calls Wake with its own lock held.
    SetMessageQueueHook(this);
  }

  // Takes the video subsystem for the calling thread. Runs under mutex_.
  bool Start() {
    videoThread_ = CurrentThreadId();
    // Whole-factor scaling must keep pixels crisp, and a click that activates
    // a window should still reach it, as it does on the handheld.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // SDL would turn an interrupt or a termination request into an event the
    // layer has no use for, and the program would not end.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The mouse goes to the window under it unless the program captures it.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    // A GL framebuffer would make a shaped window again and lose its shape.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Which window is active is the layer's decision (see Show and Raise).
    SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "1");
    bool started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    // Without a desktop SDL settles for drawing nowhere; the headless
    // backend is the layer's own way of doing that.
    const char* driver = started ? SDL_GetCurrentVideoDriver() : nullptr;
    if (started && driver &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      SDL_SetError("no desktop to show windows on");
      started = false;
    }
    if (!started) {
      TraceSdlFailure("Start");
      failed_ = true;
      screen_ = Rect{0, 0, 1024, 768};
      workArea_ = screen_;
      return false;
    }
    SDL_Rect bounds{0, 0, 1024, 768};
    SDL_Rect usable{0, 0, 0, 0};
    if (SDL_GetDisplayBounds(0, &bounds) != 0) TraceSdlFailure("GetDisplayBounds");
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0) {
      usable = bounds;
    }
    desktop_ = Rect{bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
    Rect usableRect{usable.x, usable.y, usable.x + usable.w, usable.y + usable.h};
    const char* requested = std::getenv("VORLAN_SCALE");
    scale_ = ChooseScale(usableRect, requested ? std::atoi(requested) : 0);
    screen_ = LayerArea(desktop_, desktop_, scale_);
    workArea_ = LayerArea(desktop_, usableRect, scale_);
    SDL_StartTextInput();
    wakeEvent_ = SDL_RegisterEvents(1);
    return true;
  }

  void RunCommands() {
    for (;;) {
      std::function<void()> work;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (commands_.empty()) return;
        work = std::move(commands_.front());
        commands_.pop_front();
      }
      work();
    }
  }

  DesktopWindow* Find(WindowHandle handle) {
    auto found = windows_.find(handle.value);
    return found == windows_.end() ? nullptr : found->second.get();
  }

  DesktopWindow* FindById(uint32_t id) {
    for (auto& [value, desktop] : windows_) {
      if (SDL_GetWindowID(desktop->window) == id) return desktop.get();
    }
    return nullptr;
  }

  SDL_Rect DesktopRect(const Rect& layer) const {
    return SDL_Rect{desktop_.left + layer.left * scale_, desktop_.top + layer.top * scale_,
                    std::max(1, layer.Width() * scale_), std::max(1, layer.Height() * scale_)};
  }

  void Show(WindowHandle handle, bool visible) {
    DesktopWindow* desktop = Find(handle);
    if (!visible) {
      if (desktop && desktop->visible) {
        SDL_HideWindow(desktop->window);
        desktop->visible = false;
      }
      return;
    }
    if (!WindowExists(handle)) return;
    if (!desktop) desktop = Make(handle);
    if (!desktop) return;
    if (!desktop->visible) {
      SDL_ShowWindow(desktop->window);
      desktop->visible = true;
      if (desktop->topMost) SDL_SetWindowAlwaysOnTop(desktop->window, SDL_TRUE);
      // The layer activates a window as it shows it, before it is here.
      if (GetActiveWindow() == handle) SDL_RaiseWindow(desktop->window);
    }
    MarkWhole(*desktop);
  }

  // Makes the desktop window for a layer window, shaped when it has a region
  // and the desktop can shape windows.
  DesktopWindow* Make(WindowHandle handle) {
    auto desktop = std::make_unique<DesktopWindow>();
    desktop->handle = handle;
    if (!GetWindowRectangle(handle, &desktop->layer)) return nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      desktop->topMost = topMost_.count(handle.value) != 0;
    }
    std::vector<Rect> shape;
    bool shaped = ShapeOf(handle, &shape);
    if (!Open(*desktop, shaped)) return nullptr;
    if (shaped && desktop->shapedWindow) ApplyShape(*desktop, shape, true);
    DesktopWindow* made = desktop.get();
    windows_[handle.value] = std::move(desktop);
    return made;
  }

  bool Open(DesktopWindow& desktop, bool shaped) {
    std::string title = Utf16ToUtf8(TitleOf(desktop.handle));
    SDL_Rect place = DesktopRect(desktop.layer);
    // The layer's windows have no frame: the desktop adds one only to
    // windows with a caption, outside the client area.
    uint32_t style = GetWindowStyle(desktop.handle);
    uint32_t flags = SDL_WINDOW_HIDDEN;
    if ((style & kStyleCaption) != kStyleCaption) flags |= SDL_WINDOW_BORDERLESS;
    if (GetOwnerWindow(desktop.handle)) flags |= SDL_WINDOW_SKIP_TASKBAR;
    desktop.shapedWindow = false;
    if (shaped) {
      desktop.window = SDL_CreateShapedWindow(
          title.c_str(), static_cast<unsigned>(place.x), static_cast<unsigned>(place.y),
          static_cast<unsigned>(place.w), static_cast<unsigned>(place.h), flags);
      desktop.shapedWindow = desktop.window != nullptr;
    }
    if (!desktop.window) {
      // Without shaping the area outside the region is drawn black; the layer
      // keeps it from being hit.
      desktop.window = SDL_CreateWindow(title.c_str(), place.x, place.y, place.w, place.h, flags);
    }
    if (!desktop.window) {
      TraceSdlFailure("CreateWindow");
      return false;
    }
    // Any renderer that makes the window again (as the GL ones do) loses its
    // shape: shaped windows draw in software, into the plain framebuffer.
    if (!desktop.shapedWindow) desktop.renderer = SDL_CreateRenderer(desktop.window, -1, 0);
    if (!desktop.renderer) {
      desktop.renderer = SDL_CreateRenderer(desktop.window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (!desktop.renderer) {
      TraceSdlFailure("CreateRenderer");
      SDL_DestroyWindow(desktop.window);
      desktop.window = nullptr;
      return false;
    }
    if (!MakeTexture(desktop)) {
      SDL_DestroyRenderer(desktop.renderer);
      SDL_DestroyWindow(desktop.window);
      desktop.renderer = nullptr;
      desktop.window = nullptr;
      return false;
    }
    // A shaped window is placed once its shape is set (SDL keeps it off the
    // screen until then).
    if (!desktop.shapedWindow) SDL_SetWindowPosition(desktop.window, place.x, place.y);
    return true;
  }

  void Close(DesktopWindow& desktop) {
    if (desktop.texture) SDL_DestroyTexture(desktop.texture);
    if (desktop.renderer) SDL_DestroyRenderer(desktop.renderer);
    if (desktop.window) SDL_DestroyWindow(desktop.window);
    desktop.texture = nullptr;
    desktop.renderer = nullptr;
    desktop.window = nullptr;
  }

  bool MakeTexture(DesktopWindow& desktop) {
    if (desktop.texture) SDL_DestroyTexture(desktop.texture);
    int32_t width = std::max(1, desktop.layer.Width());
    int32_t height = std::max(1, desktop.layer.Height());
    desktop.texture = SDL_CreateTexture(desktop.renderer, SDL_PIXELFORMAT_ARGB8888,
                                        SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!desktop.texture) {
      TraceSdlFailure("CreateTexture");
      return false;
    }
    SDL_SetTextureScaleMode(desktop.texture, SDL_ScaleModeNearest);
    // Outside the window region the picture is transparent: over the black
    // the renderer clears to.
    SDL_SetTextureBlendMode(desktop.texture, SDL_BLENDMODE_BLEND);
    return true;
  }

  // Sets the shape of a shaped window from the region's rectangles, scaled.
  void ApplyShape(DesktopWindow& desktop, const std::vector<Rect>& rectangles, bool shaped) {
    SDL_Rect place = DesktopRect(desktop.layer);
    SDL_Surface* mask =
        SDL_CreateRGBSurfaceWithFormat(0, place.w, place.h, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!mask) {
      TraceSdlFailure("ApplyShape");
      return;
    }
    SDL_FillRect(mask, nullptr, shaped ? 0x00000000 : 0xFFFFFFFF);
    for (const Rect& rect : rectangles) {
      SDL_Rect scaled{rect.left * scale_, rect.top * scale_, rect.Width() * scale_,
                      rect.Height() * scale_};
      SDL_FillRect(mask, &scaled, 0xFFFFFFFF);
    }
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeBinarizeAlpha;
    mode.parameters.binarizationCutoff = 128;
    if (SDL_SetWindowShape(desktop.window, mask, &mode) != 0) TraceSdlFailure("SetWindowShape");
    SDL_FreeSurface(mask);
    SDL_SetWindowPosition(desktop.window, place.x, place.y);
  }

  void Reshape(WindowHandle handle) {
    DesktopWindow* desktop = Find(handle);
    if (!desktop) return;
    std::vector<Rect> shape;
    bool shaped = ShapeOf(handle, &shape);
    if (desktop->shapedWindow) {
      ApplyShape(*desktop, shape, shaped);
    } else if (shaped) {
      // SDL shapes only windows made shaped: make it again.
      bool visible = desktop->visible;
      Close(*desktop);
      if (!Open(*desktop, true)) {
        windows_.erase(handle.value);
        return;
      }
      if (desktop->shapedWindow) ApplyShape(*desktop, shape, true);
      if (visible) {
        SDL_ShowWindow(desktop->window);
        if (desktop->topMost) SDL_SetWindowAlwaysOnTop(desktop->window, SDL_TRUE);
      }
    }
    MarkWhole(*desktop);
  }

  void Move(WindowHandle handle, const Rect& screen) {
    DesktopWindow* desktop = Find(handle);
    if (!desktop) return;
    bool resized =
        screen.Width() != desktop->layer.Width() || screen.Height() != desktop->layer.Height();
    desktop->layer = screen;
    SDL_Rect place = DesktopRect(screen);
    if (resized) {
      SDL_SetWindowSize(desktop->window, place.w, place.h);
      MakeTexture(*desktop);
      if (desktop->shapedWindow) {
        std::vector<Rect> shape;
        bool shaped = ShapeOf(handle, &shape);
        ApplyShape(*desktop, shape, shaped);
      }
      MarkWhole(*desktop);
    }
    SDL_SetWindowPosition(desktop->window, place.x, place.y);
  }

  void Raise(WindowHandle handle, bool topMost) {
    DesktopWindow* desktop = Find(handle);
    if (!desktop) return;
    desktop->topMost = topMost;
    SDL_SetWindowAlwaysOnTop(desktop->window, topMost ? SDL_TRUE : SDL_FALSE);
    if (desktop->visible) SDL_RaiseWindow(desktop->window);
  }

  void Destroy(WindowHandle handle) {
    auto found = windows_.find(handle.value);
    if (found == windows_.end()) return;
    Close(*found->second);
    windows_.erase(found);
  }

  // SDL captures only while one of its windows has the focus, which may
  // arrive a moment after the press that asked for it.
  void KeepCapture() {
    if (!captureWindow_) return;
    DesktopWindow* desktop = Find(captureWindow_);
    if (!desktop || (SDL_GetWindowFlags(desktop->window) & SDL_WINDOW_MOUSE_CAPTURE)) return;
    if (SDL_GetKeyboardFocus() == desktop->window) SDL_CaptureMouse(SDL_TRUE);
  }

  void SetCursor(uint32_t number) {
    SDL_SystemCursor which;
    if (!SystemCursorFromNumber(number, &which)) {
      SDL_ShowCursor(number == 0 ? SDL_DISABLE : SDL_ENABLE);
      if (number != 0) SDL_SetCursor(SDL_GetDefaultCursor());
      return;
    }
    auto found = cursors_.find(which);
    if (found == cursors_.end()) {
      SDL_Cursor* cursor = SDL_CreateSystemCursor(which);
      if (!cursor) return;
      found = cursors_.emplace(which, cursor).first;
    }
    SDL_SetCursor(found->second);
    SDL_ShowCursor(SDL_ENABLE);
  }

  void MarkWhole(DesktopWindow& desktop) {
    std::lock_guard<std::mutex> lock(mutex_);
    dirty_[desktop.handle.value] = Rect{0, 0, desktop.layer.Width(), desktop.layer.Height()};
  }

  void PresentDirty() {
    std::map<uint64_t, Rect> dirty;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dirty.swap(dirty_);
    }
    for (const auto& [value, area] : dirty) {
      DesktopWindow* desktop = Find(WindowHandle{value});
      if (!desktop || !desktop->visible) continue;
      Rect clipped = area;
      clipped.left = std::max(clipped.left, 0);
      clipped.top = std::max(clipped.top, 0);
      clipped.right = std::min(clipped.right, desktop->layer.Width());
      clipped.bottom = std::min(clipped.bottom, desktop->layer.Height());
      if (clipped.Width() <= 0 || clipped.Height() <= 0) continue;
      desktop->staging.resize(static_cast<size_t>(clipped.Width()) *
                              static_cast<size_t>(clipped.Height()));
      if (!ReadWindowPicture(desktop->handle, clipped, desktop->staging.data(), clipped.Width())) {
        continue;
      }
      SDL_Rect part{clipped.left, clipped.top, clipped.Width(), clipped.Height()};
      SDL_UpdateTexture(desktop->texture, &part, desktop->staging.data(),
                        clipped.Width() * static_cast<int>(sizeof(uint32_t)));
      Present(*desktop);
    }
  }

  void Present(DesktopWindow& desktop) {
    SDL_SetRenderDrawColor(desktop.renderer, 0, 0, 0, 255);
    SDL_RenderClear(desktop.renderer);
    SDL_RenderCopy(desktop.renderer, desktop.texture, nullptr, nullptr);
    SDL_RenderPresent(desktop.renderer);
  }

  // Input and window events, turned into the layer's input.

  Point LayerPoint(uint32_t windowId, int32_t x, int32_t y) {
    DesktopWindow* desktop = FindById(windowId);
    if (desktop) return LayerPointFromWindow(desktop->layer, x, y, scale_);
    // Outside every window of ours (a captured mouse): from the desktop.
    int globalX = 0;
    int globalY = 0;
    SDL_GetGlobalMouseState(&globalX, &globalY);
    return LayerPointFromWindow(Rect{0, 0, 0, 0}, globalX - desktop_.left, globalY - desktop_.top,
                                scale_);
  }

  void Handle(const SDL_Event& event) {
    switch (event.type) {
      case SDL_MOUSEMOTION:
        DeliverMouse(kMessageMouseMove,
                     LayerPoint(event.motion.windowID, event.motion.x, event.motion.y),
                     MouseKeyFlags(buttons_, static_cast<uint16_t>(SDL_GetModState())));
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        bool down = event.type == SDL_MOUSEBUTTONDOWN;
        if (event.button.which == SDL_TOUCH_MOUSEID) break;  // the touch events stand for it
        uint32_t message = MouseButtonMessage(event.button.button, down);
        if (down) {
          buttons_ |= MouseButtonMask(event.button.button);
        } else {
          buttons_ &= ~MouseButtonMask(event.button.button);
        }
        if (message == 0) break;
        DeliverMouse(message, LayerPoint(event.button.windowID, event.button.x, event.button.y),
                     MouseKeyFlags(buttons_, static_cast<uint16_t>(SDL_GetModState())));
        break;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        bool down = event.type == SDL_KEYDOWN;
        uint32_t data = KeyMessageData(event.key.keysym.scancode, event.key.repeat != 0, !down);
        uint32_t key = VirtualKeyFromSdl(event.key.keysym.sym);
        if (key != 0) DeliverKey(down ? kMessageKeyDown : kMessageKeyUp, key, data);
        if (down) {
          uint32_t character = ControlCharacterFromSdl(event.key.keysym.sym, event.key.keysym.mod);
          if (character != 0) DeliverKey(kMessageCharacter, character, data);
        }
        break;
      }
      case SDL_TEXTINPUT: {
        const char* text = event.text.text;
        uint32_t code = 0;
        while (int32_t used = DecodeUtf8(text, &code)) {
          text += used;
          if (code >= 0x10000) {
            code -= 0x10000;
            DeliverKey(kMessageCharacter, 0xD800 + (code >> 10), 1);
            DeliverKey(kMessageCharacter, 0xDC00 + (code & 0x3FF), 1);
          } else {
            DeliverKey(kMessageCharacter, code, 1);
          }
        }
        break;
      }
      case SDL_WINDOWEVENT:
        HandleWindowEvent(event.window);
        break;
      case SDL_RENDER_TARGETS_RESET:
      case SDL_RENDER_DEVICE_RESET:
        for (auto& [value, desktop] : windows_) MarkWhole(*desktop);
        break;
      default:
        break;
    }
  }

  void HandleWindowEvent(const SDL_WindowEvent& event) {
    DesktopWindow* desktop = FindById(event.windowID);
    if (!desktop) return;
    switch (event.event) {
      case SDL_WINDOWEVENT_CLOSE:
        DeliverCloseRequest(desktop->handle);
        break;
      case SDL_WINDOWEVENT_FOCUS_GAINED:
        DeliverActivation(desktop->handle, true);
        break;
      case SDL_WINDOWEVENT_FOCUS_LOST:
        DeliverActivation(desktop->handle, false);
        break;
      // The texture keeps the whole picture: show it again.
      case SDL_WINDOWEVENT_EXPOSED:
        if (desktop->visible) Present(*desktop);
        break;
      default:
        break;
    }
  }

  std::mutex mutex_;
  // Guarded by mutex_.
  bool started_ = false;
  bool failed_ = false;
  uint32_t videoThread_ = 0;
  Rect screen_;
  Rect workArea_;
  std::deque<std::function<void()>> commands_;
  std::map<uint64_t, Rect> dirty_;
  std::map<uint64_t, bool> topMost_;

  // Set once at the start, then read only.
  std::atomic<uint32_t> wakeEvent_{0};
  Rect desktop_;
  int32_t scale_ = 1;

  // The video thread's own.
  std::map<uint64_t, std::unique_ptr<DesktopWindow>> windows_;
  std::map<SDL_SystemCursor, SDL_Cursor*> cursors_;
  uint32_t buttons_ = 0;
  WindowHandle captureWindow_;
};

}  // namespace

// The desktop's message bus library, which SDL opens for input methods and
// the screen saver, keeps a buffer it never frees; the leak checker of
// sanitizer builds is told to pass over it.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}
#endif

// Opens the display at once, so that a display that cannot be had (a stale
// DISPLAY, say) leaves the layer on the headless backend instead of with
// windows nobody sees.
ScreenBackend* CreateSdlBackend() {
  static SdlBackend* backend = [] {
    auto* made = new SdlBackend();
    if (made->TakeDisplay()) return made;
    delete made;
    return static_cast<SdlBackend*>(nullptr);
  }();
  return backend;
}
