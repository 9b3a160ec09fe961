// Feeds every input to the two readers of resource data: the run-time blob
// reader (with the string-block, dialog and icon readers over whatever it
// accepts) and the resource script compiler, whose output goes through the
// run-time reader again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/resource.h"
#include "tools/rescomp/rescomp_script.h"

namespace {

void ReadEverything(ResourceModule module) {
  uint32_t count = CountResources(module);
  for (uint32_t i = 0; i < count; ++i) {
    ResourceInfo info;
    if (!GetResourceInfo(module, i, &info)) continue;
    const uint8_t* data = LoadResourceData(info.handle);
    uint32_t size = GetResourceSize(info.handle);
    volatile uint8_t sink = 0;
    for (uint32_t k = 0; k < size; ++k) sink = sink ^ data[k];
    if (!info.typeIsNumber) continue;
    if (info.typeNumber == kResourceTypeString) {
      for (uint32_t index = 0; index < kStringsPerBlock; ++index) {
        StringBlockEntry entry;
        if (ReadStringBlockEntry(data, size, index, &entry))
          for (uint16_t k = 0; k < entry.count; ++k) sink = sink ^ static_cast<uint8_t>(entry.text[k]);
      }
    } else if (info.typeNumber == kResourceTypeDialog) {
      DialogTemplate dialog;
      if (ParseDialogTemplate(data, size, &dialog))
        for (const DialogItemTemplate& item : dialog.items)
          for (char16_t c : item.text) sink = sink ^ static_cast<uint8_t>(c);
    } else if (info.typeNumber == kResourceTypeGroupIcon) {
      std::vector<IconImage> images;
      if (ParseGroupIcon(data, size, &images))
        for (const IconImage& image : images)
          FindResource(module, kResourceTypeIcon, image.imageId, info.language);
    }
    FindResource(module, info.typeIsNumber ? ResourceName(info.typeNumber) : ResourceName("X"),
                 info.nameNumber, info.language);
  }
}

void TryBlob(const uint8_t* bytes, size_t size) {
  ResourceModule module = RegisterResourceModule("fuzz", bytes, static_cast<uint32_t>(size), false);
  if (!module) return;
  ReadEverything(module);
  UnregisterResourceModule(module);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  // The blob must be aligned, as the compiler's output always is.
  std::vector<uint64_t> aligned((size + 7) / 8);
  if (size) std::memcpy(aligned.data(), data, size);
  TryBlob(reinterpret_cast<const uint8_t*>(aligned.data()), size);

  ResourceScript script;
  std::string error;
  if (!ParseResourceScript(std::string(reinterpret_cast<const char*>(data), size), &script, &error))
    return 0;
  // Files read as a small PNG header, so icons get through as well.
  static const uint8_t kPicture[24] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13,
                                       'I',  'H', 'D', 'R', 0,    0,    0,    3,    0, 0, 0, 5};
  std::vector<uint8_t> blob;
  if (!BuildResourceBlob(
          script,
          [](const std::string&, std::vector<uint8_t>* bytes) {
            bytes->assign(kPicture, kPicture + sizeof kPicture);
            return true;
          },
          &blob, &error))
    return 0;
  std::vector<uint64_t> compiled((blob.size() + 7) / 8);
  std::memcpy(compiled.data(), blob.data(), blob.size());
  ResourceModule module = RegisterResourceModule(
      "fuzz", reinterpret_cast<const uint8_t*>(compiled.data()), static_cast<uint32_t>(blob.size()),
      false);
  // What the compiler writes, the run-time reader must accept.
  if (!module) __builtin_trap();
  ReadEverything(module);
  UnregisterResourceModule(module);
  return 0;
}
