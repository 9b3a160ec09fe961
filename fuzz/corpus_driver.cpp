// Runs a fuzz target over the files of the folders (or files) named on the
// command line, so that every seed and every kept bad input is replayed by the
// ordinary test run without libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t inputs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path path(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
        if (!entry.is_regular_file()) continue;
        RunFile(entry.path());
        ++inputs;
      }
    } else if (std::filesystem::is_regular_file(path, error)) {
      RunFile(path);
      ++inputs;
    }
  }
  // The empty input is always worth a try.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("%zu inputs replayed\n", inputs + 1);
  return 0;
}
