#include "platform/picture.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/screen.h"
#include "platform/trace.h"

namespace {

void Fail(const char* path, const char* what) {
  std::string text = std::string("SaveWindowPicture could not ") + what + " " + path + "\n";
  TraceOutput(text.c_str());
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

bool SaveWindowPicture(WindowHandle window, const char* path) {
  if (!path) return false;
  Rect client;
  if (!GetClientRectangle(window, &client)) {
    TraceOutput("SaveWindowPicture called for a window that does not exist\n");
    return false;
  }
  int32_t width = client.Width(), height = client.Height();
  if (width <= 0 || height <= 0) {
    Fail(path, "save an empty window to");
    return false;
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  if (!ReadWindowPicture(window, client, pixels.data(), width)) {
    Fail(path, "read the window's picture for");
    return false;
  }
  std::vector<uint8_t> rows(pixels.size() * 4);
  for (size_t i = 0; i < pixels.size(); ++i) {
    uint32_t p = pixels[i];
    rows[4 * i] = static_cast<uint8_t>(p >> 16);
    rows[4 * i + 1] = static_cast<uint8_t>(p >> 8);
    rows[4 * i + 2] = static_cast<uint8_t>(p);
    rows[4 * i + 3] = static_cast<uint8_t>(p >> 24);
  }
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "wb"));
  if (!file) {
    Fail(path, "open");
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    Fail(path, "start writing");
    return false;
  }
  std::vector<png_bytep> rowPointers(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    rowPointers[static_cast<size_t>(y)] = rows.data() + static_cast<size_t>(y) * width * 4;
  }
  // libpng reports errors by jumping back here; nothing with a destructor
  // is made between the setjmp and the calls that may jump.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    Fail(path, "write");
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rowPointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0) {
    Fail(path, "finish");
    return false;
  }
  return true;
}
