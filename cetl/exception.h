#pragma once
// The one exception type of the libraries. The containers throw it for every
// misuse, always with one of the fixed English texts below, so a caller may
// compare the message as well as print it.

#include "foundation/tl_string.h"

namespace cetl {

class exception {
 public:
  explicit exception(const char* message) : m_message(message) {}

  const string& message() const { return m_message; }

 private:
  string m_message;
};

// The fixed texts.
inline constexpr const char kListEmpty[] = "the list is empty";
inline constexpr const char kListItemMissing[] =
    "the item specified does not exist within the list";
inline constexpr const char kVectorItemMissing[] =
    "the item specified does not exist within the vector";
inline constexpr const char kIteratorInvalid[] = "the iterator does not reference a valid object";
inline constexpr const char kIteratorAtEnd[] =
    "the iterator has already reached the end of the container";
inline constexpr const char kIteratorAtBeginning[] =
    "the iterator has already reached the beginning of the container";
inline constexpr const char kMapIndexMissing[] =
    "the index specified does not exist within the map";
inline constexpr const char kNoMemory[] = "there is not enough memory for the item";

// The memory manager answers a failed allocation with null; a container
// cannot hand that on without breaking its own structure, so it throws.
template <class Pointer>
Pointer* Allocated(Pointer* allocation) {
  if (!allocation) throw exception(kNoMemory);
  return allocation;
}

}  // namespace cetl
