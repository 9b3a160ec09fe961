#include "foundation/tl_string.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>

#include "foundation/tl_codepage.h"
#include "foundation/tl_dialog.h"
#include "foundation/tl_memory.h"

namespace {

// Far below what the 32-bit capacity and the 4 x length views can hold, so
// that no size computation here can overflow.
constexpr uint32_t kMaxLength = 0x0FFFFFFF;
constexpr uint32_t kMinimumExtra = 32;
constexpr uint32_t kMaximumExtra = 0x100000;
constexpr uint32_t kTextSlack = 16;
constexpr uint32_t kScratchSlack = 48;

constexpr const char* kTextTag = "sizeof(TCHAR) * cchMin";
#if VORLAN_WIDE_TCHAR
constexpr const char* kCopyTag = "sizeof(WCHAR) * (1+strlen16(psz))";
#else
constexpr const char* kCopyTag = "1+strlen8(psz)";
#endif

// What a moved-from string points at until it next writes; capacity 0 marks it.
TCHAR g_emptyText[1] = {0};
#if VORLAN_WIDE_TCHAR
const char g_emptyNarrow[1] = {0};
#else
const char16_t g_emptyWide[1] = {0};
#endif

std::atomic<const StringTableLanguage*> g_language{nullptr};

// A scratch view is replaced, never grown: its old contents are not needed.
template <class Char>
bool GrowScratch(Char*& buffer, uint32_t& capacity, uint32_t count, bool persistent,
                 const char* tag) {
  if (count > 4 * kMaxLength + 4) return false;
  uint32_t need = count + kScratchSlack;
  if (capacity >= need) return true;
  Char* fresh = static_cast<Char*>(MEM_ALLOC(sizeof(Char) * need, tag));
  if (!fresh) return false;
  if (persistent) MEM_TARE(fresh);
  fresh[0] = 0;
  if (buffer) MEM_FREE(buffer);
  buffer = fresh;
  capacity = need;
  return true;
}

uint32_t LanguageOffset() {
  const StringTableLanguage* language = g_language.load(std::memory_order_acquire);
  return language && language->offset ? language->offset() : 0;
}

uint32_t LanguageStep() {
  const StringTableLanguage* language = g_language.load(std::memory_order_acquire);
  uint32_t step = language && language->step ? language->step() : 1;
  return step ? step : 1;
}

// Esperanto has no system language, and its letters are then kept as their
// ISO 8859-3 bytes in 8-bit text.
bool EsperantoBytes() {
  const StringTableLanguage* language = g_language.load(std::memory_order_acquire);
  return language && language->hasSystemLanguage && !language->hasSystemLanguage();
}

const char16_t* LookupTableText(uint32_t id, size_t* length) {
  const StringTableLanguage* language = g_language.load(std::memory_order_acquire);
  if (!language || !language->lookup) return nullptr;
  return language->lookup(id, length);
}

// Characters before the NUL, reading no further than limit characters.
template <class Character>
size_t BoundedLength(const Character* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != 0) ++length;
  return length;
}

// The library's scans are much faster than a loop for the 8-bit texts that
// the setup appends all the time.
template <>
size_t BoundedLength<char>(const char* text, size_t limit) {
  if (limit == static_cast<size_t>(-1)) return std::strlen(text);
  return strnlen(text, limit);
}

// Skips start characters (no further than the text's end) and measures what
// follows, up to count characters.
template <class Character>
size_t SourceSpan(const Character*& text, uint32_t start, int32_t count) {
  if (start) text += BoundedLength(text, start);
  return BoundedLength(text, count < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(count));
}

constexpr const TCHAR* kNullText = TXT("(null)");

bool Contains(const void* block, size_t bytes, const void* address) {
  std::less_equal<const void*> lessEqual;
  std::less<const void*> less;
  const char* begin = static_cast<const char*>(block);
  return block && lessEqual(begin, address) && less(address, begin + bytes);
}

template <class Character>
unsigned LowerAscii(Character character) {
  unsigned code = static_cast<std::make_unsigned_t<Character>>(character);
  return code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code;
}

template <class Character>
int32_t CompareRaw(const Character* left, const Character* right, int32_t count, bool ignoreCase) {
  if (!right) return -1;
  for (uint32_t i = 0; count < 0 || i < static_cast<uint32_t>(count); ++i) {
    unsigned a = static_cast<std::make_unsigned_t<Character>>(left[i]);
    unsigned b = static_cast<std::make_unsigned_t<Character>>(right[i]);
    if (ignoreCase) {
      a = LowerAscii(left[i]);
      b = LowerAscii(right[i]);
    }
    if (a != b) return static_cast<int32_t>(a) - static_cast<int32_t>(b);
    if (a == 0) return 0;
  }
  return 0;
}

template <class Character>
int32_t FindIn(const Character* text, uint32_t length, Character character, uint32_t from) {
  if (character == 0) return -1;
  for (uint32_t i = from; i < length; ++i) {
    if (text[i] == character) return static_cast<int32_t>(i);
  }
  return -1;
}

template <class Character>
int32_t FindLastIn(const Character* text, uint32_t length, Character character, int32_t at) {
  if (character == 0 || length == 0) return -1;
  uint32_t i = at < 0 || static_cast<uint32_t>(at) >= length ? length - 1 : at;
  for (;; --i) {
    if (text[i] == character) return static_cast<int32_t>(i);
    if (i == 0) return -1;
  }
}

}  // namespace

void SetStringTableLanguage(const StringTableLanguage* language) {
  g_language.store(language, std::memory_order_release);
}

FormatArgument::FormatArgument(const string& text)
#if VORLAN_WIDE_TCHAR
    : kind(Kind::WideText),
      wide(text.Text()){}
#else
    : kind(Kind::NarrowText), narrow(text.Text()) {
}
#endif

      // ---------------------------------------------------------------------------
      // Construction and buffers

      void string::Initialise() {
  text_ = g_emptyText;
  capacity_ = 0;
  length_ = 0;
  narrow_ = nullptr;
  narrowCapacity_ = 0;
  wide_ = nullptr;
  wideCapacity_ = 0;
  persistent_ = 0;
  Reserve(1);
}

string::string() {
  Initialise();
}

string::string(const char* text, uint32_t start, int32_t count) {
  Initialise();
  WriteAt(0, text, start, count);
}

string::string(const char16_t* text, uint32_t start, int32_t count) {
  Initialise();
  WriteAt(0, text, start, count);
}

string::string(const string& other, uint32_t start, int32_t count) {
  Initialise();
  // The same text in the same width: the round trip through UTF-16 that the
  // 8-bit build would take gives back exactly these bytes.
  WriteText(0, other.text_, start, count);
}

string::string(string&& other) noexcept {
  text_ = g_emptyText;
  capacity_ = 0;
  length_ = 0;
  narrow_ = nullptr;
  narrowCapacity_ = 0;
  wide_ = nullptr;
  wideCapacity_ = 0;
  persistent_ = 0;
  TakeBuffers(other);
}

string::string(StringId id) {
  Initialise();
  AppendTableText(id.value);
}

string::~string() {
  ReleaseBuffers();
}

void string::ReleaseBuffers() {
  if (capacity_) MEM_FREE(text_);
  if (narrow_) MEM_FREE(narrow_);
  if (wide_) MEM_FREE(wide_);
  text_ = g_emptyText;
  capacity_ = 0;
  length_ = 0;
  narrow_ = nullptr;
  narrowCapacity_ = 0;
  wide_ = nullptr;
  wideCapacity_ = 0;
}

// Exchanges the buffers (not the persistent flag) with other.
void string::TakeBuffers(string& other) {
  std::swap(text_, other.text_);
  std::swap(capacity_, other.capacity_);
  std::swap(length_, other.length_);
  std::swap(narrow_, other.narrow_);
  std::swap(narrowCapacity_, other.narrowCapacity_);
  std::swap(wide_, other.wide_);
  std::swap(wideCapacity_, other.wideCapacity_);
  if (persistent_) {
    if (capacity_) MEM_TARE(text_);
    if (narrow_) MEM_TARE(narrow_);
    if (wide_) MEM_TARE(wide_);
  }
}

bool string::Reserve(uint32_t count) {
  if (count > kMaxLength) return false;
  uint32_t need = count + kTextSlack;
  if (capacity_ >= need) return true;
  uint32_t extra = length_ < kMinimumExtra ? kMinimumExtra : length_;
  if (extra > kMaximumExtra) extra = kMaximumExtra;
  uint32_t capacity = need + extra;
  TCHAR* text = static_cast<TCHAR*>(MEM_ALLOC(sizeof(TCHAR) * capacity, kTextTag));
  if (!text) return false;
  if (persistent_) MEM_TARE(text);
  std::memcpy(text, text_, sizeof(TCHAR) * length_);
  std::memset(text + length_, 0, sizeof(TCHAR) * (capacity - length_));
  if (capacity_) MEM_FREE(text_);
  text_ = text;
  capacity_ = capacity;
  return true;
}

bool string::GrowNarrow(uint32_t count) const {
  return GrowScratch(narrow_, narrowCapacity_, count, persistent_, "sizeof(CHAR) * cchMin");
}

bool string::GrowWide(uint32_t count) const {
  return GrowScratch(wide_, wideCapacity_, count, persistent_, "sizeof(WCHAR) * cchMin");
}

bool string::ReserveNarrow(uint32_t count) {
  return GrowNarrow(count);
}
bool string::ReserveWide(uint32_t count) {
  return GrowWide(count);
}

void string::MakePersistentWithObject() {
  MakePersistent();
  MEM_TARE(this);
}

void string::MakePersistent() {
  if (capacity_) MEM_TARE(text_);
  if (narrow_) MEM_TARE(narrow_);
  if (wide_) MEM_TARE(wide_);
  persistent_ = 1;
}

// ---------------------------------------------------------------------------
// Writing

void string::WriteText(uint32_t position, const TCHAR* text, uint32_t start, int32_t count) {
  if (!text) {
    text = kNullText;
    start = 0;
    count = -1;
  }
  size_t copied = SourceSpan(text, start, count);
  if (copied > kMaxLength || position > kMaxLength - copied) {
    DebugTrace("string::WriteText called with a text too long for a string (0x%08lX)", this);
    return;
  }
  // The source may be this string's own text, which Reserve may move.
  bool inside = capacity_ && Contains(text_, sizeof(TCHAR) * capacity_, text);
  size_t offset = inside ? static_cast<size_t>(text - text_) : 0;
  uint32_t end = position + static_cast<uint32_t>(copied);
  if (capacity_ < end + 1 + kTextSlack && !Reserve(end + 1)) return;
  if (inside) text = text_ + offset;
  for (uint32_t gap = length_; gap < position; ++gap) text_[gap] = ' ';
  std::memmove(text_ + position, text, sizeof(TCHAR) * copied);
  if (count < 0 || end >= length_) {
    length_ = end;
    text_[length_] = 0;
  }
}

void string::Write(const char16_t* text, uint32_t start, int32_t count) {
  WriteAt(0, text, start, count);
}

void string::Write(const char* text, uint32_t start, int32_t count) {
  WriteAt(0, text, start, count);
}

void string::WriteAt(uint32_t position, const char16_t* text, uint32_t start, int32_t count) {
#if VORLAN_WIDE_TCHAR
  WriteText(position, text, start, count);
#else
  if (!text) return WriteText(position, nullptr, 0, -1);
  size_t length = SourceSpan(text, start, count);
  if (length > kMaxLength || !GrowNarrow(static_cast<uint32_t>(length) + 1)) return;
  size_t converted = NarrowText(narrow_, narrowCapacity_, text, length, EsperantoBytes());
  WriteText(position, narrow_, 0, count < 0 ? -1 : static_cast<int32_t>(converted));
#endif
}

void string::WriteAt(uint32_t position, const char* text, uint32_t start, int32_t count) {
#if VORLAN_WIDE_TCHAR
  if (!text) return WriteText(position, nullptr, 0, -1);
  size_t length = SourceSpan(text, start, count);
  if (length > kMaxLength || !GrowWide(static_cast<uint32_t>(length) + 1)) return;
  size_t converted = WidenText(wide_, wideCapacity_, text, length);
  WriteText(position, wide_, 0, count < 0 ? -1 : static_cast<int32_t>(converted));
#else
  WriteText(position, text, start, count);
#endif
}

void string::Append(const char16_t* text, uint32_t start, int32_t count) {
  WriteAt(length_, text, start, count);
}

void string::Append(const char* text, uint32_t start, int32_t count) {
  WriteAt(length_, text, start, count);
}

string& string::operator=(const string& other) {
  if (this != &other) WriteText(0, other.text_, 0, -1);
  return *this;
}

string& string::operator=(const char16_t* text) {
  WriteAt(0, text, 0, -1);
  return *this;
}

string& string::operator=(const char* text) {
  WriteAt(0, text, 0, -1);
  return *this;
}

string& string::operator=(string&& other) noexcept {
  if (this != &other) TakeBuffers(other);
  return *this;
}

string& string::operator+=(char16_t character) {
  const char16_t text[2] = {character, 0};
  Append(text, 0, -1);
  return *this;
}

string& string::operator+=(char character) {
  const char text[2] = {character, 0};
  Append(text, 0, -1);
  return *this;
}

string& string::operator+=(const char16_t* text) {
  Append(text, 0, -1);
  return *this;
}

string& string::operator+=(const char* text) {
  Append(text, 0, -1);
  return *this;
}

string& string::operator+=(const string& other) {
  WriteText(length_, other.text_, 0, -1);
  return *this;
}

string string::operator+(char16_t character) const {
  string result(*this);
  result += character;
  return result;
}

string string::operator+(char character) const {
  string result(*this);
  result += character;
  return result;
}

string string::operator+(const char16_t* text) const {
  string result(*this);
  result += text;
  return result;
}

string string::operator+(const char* text) const {
  string result(*this);
  result += text;
  return result;
}

string string::operator+(const string& other) const {
  string result(*this);
  result += other;
  return result;
}

string& string::AppendPath(const string& part) {
  string tail(part);
  for (uint32_t i = 0; i < length_; ++i) {
    if (text_[i] == '/') text_[i] = '\\';
  }
  if (length_ && text_[length_ - 1] != '\\') WriteText(length_, TXT("\\"), 0, -1);
  for (uint32_t i = 0; i < tail.length_; ++i) {
    if (tail.text_[i] == '/') tail.text_[i] = '\\';
  }
  WriteText(length_, tail.text_, tail.length_ && tail.text_[0] == '\\' ? 1 : 0, -1);
  return *this;
}

string string::JoinPath(const string& part) const {
  string result(*this);
  result.AppendPath(part);
  return result;
}

// ---------------------------------------------------------------------------
// Reading

uint32_t string::Length() const {
  return length_;
}
uint32_t string::GetLength() const {
  return length_;
}

void string::RecomputeLength() {
  if (!capacity_) return;
  text_[capacity_ - 1] = 0;
  length_ = static_cast<uint32_t>(BoundedLength(text_, capacity_));
}

const TCHAR* string::Text() const {
  return text_;
}

const char16_t* string::Wide() const {
#if VORLAN_WIDE_TCHAR
  return text_;
#else
  if (!GrowWide(4 * length_ + 4)) return g_emptyWide;
  WidenText(wide_, wideCapacity_, text_, length_);
  return wide_;
#endif
}

const char16_t* string::Wide(uint32_t from) const {
  const char16_t* text = Wide();
  return text + BoundedLength(text, from);
}

const char* string::Narrow() const {
#if VORLAN_WIDE_TCHAR
  if (!GrowNarrow(4 * length_ + 4)) return g_emptyNarrow;
  NarrowText(narrow_, narrowCapacity_, text_, length_, EsperantoBytes());
  return narrow_;
#else
  return text_;
#endif
}

const char* string::Narrow(uint32_t from) const {
  const char* text = Narrow();
  return text + BoundedLength(text, from);
}

TCHAR string::operator[](uint32_t index) {
  Reserve(index + 1);
  return index < length_ ? text_[index] : 0;
}

TCHAR* string::At(uint32_t index) {
  // index + 1 would wrap to a reservation of nothing.
  if (index >= kMaxLength || !Reserve(index + 1)) return nullptr;
  return text_ + index;
}

TCHAR* string::GetBuffer(uint32_t count) {
  if (count >= kMaxLength || !Reserve(count + 1)) return nullptr;
  return text_;
}

TCHAR* string::NewCopy() const {
  TCHAR* copy = static_cast<TCHAR*>(MEM_ALLOC(sizeof(TCHAR) * (length_ + 1), kCopyTag));
  if (copy) std::memcpy(copy, text_, sizeof(TCHAR) * (length_ + 1));
  return copy;
}

char* string::NewNarrowCopy() const {
  const char* text = Narrow();
  size_t length = std::strlen(text);
  char* copy = static_cast<char*>(MEM_ALLOC(length + 1, "1+strlen8(psz)"));
  if (copy) std::memcpy(copy, text, length + 1);
  return copy;
}

char16_t* string::NewWideCopy() const {
  const char16_t* text = Wide();
  size_t length = BoundedLength(text, static_cast<size_t>(-1));
  char16_t* copy = static_cast<char16_t*>(
      MEM_ALLOC(sizeof(char16_t) * (length + 1), "sizeof(WCHAR) * (1+strlen16(psz))"));
  if (copy) std::memcpy(copy, text, sizeof(char16_t) * (length + 1));
  return copy;
}

string string::Trimmed() const {
  uint32_t first = 0;
  uint32_t last = length_;
  while (first < last && (text_[first] == ' ' || text_[first] == '\t')) ++first;
  while (last > first && (text_[last - 1] == ' ' || text_[last - 1] == '\t')) --last;
  return string(*this, first, static_cast<int32_t>(last - first));
}

string string::Substring(uint32_t start, int32_t count) const {
  return string(*this, start, count);
}

// ---------------------------------------------------------------------------
// Comparing

int32_t string::Compare(const char16_t* text, int32_t count) const {
  return CompareRaw(Wide(), text, count, false);
}

int32_t string::Compare(const char* text, int32_t count) const {
  return CompareRaw(Narrow(), text, count, false);
}

int32_t string::CompareNoCase(const char16_t* text, int32_t count) const {
  return CompareRaw(Wide(), text, count, true);
}

int32_t string::CompareNoCase(const char* text, int32_t count) const {
  return CompareRaw(Narrow(), text, count, true);
}

bool string::IsEmpty() const {
  return length_ == 0;
}

bool string::operator<(const char16_t* text) const {
  return Compare(text) < 0;
}
bool string::operator<(const char* text) const {
  return Compare(text) < 0;
}
bool string::operator<(const string& other) const {
  return Compare(other.text_) < 0;
}
bool string::operator<(const istring& other) const {
  return CompareNoCase(other.Text()) < 0;
}
bool string::operator>(const char16_t* text) const {
  return Compare(text) > 0;
}
bool string::operator>(const char* text) const {
  return Compare(text) > 0;
}
bool string::operator>(const string& other) const {
  return Compare(other.text_) > 0;
}
bool string::operator>(const istring& other) const {
  return CompareNoCase(other.Text()) > 0;
}
bool string::operator>=(const char16_t* text) const {
  return Compare(text) >= 0;
}
bool string::operator>=(const char* text) const {
  return Compare(text) >= 0;
}
bool string::operator>=(const string& other) const {
  return Compare(other.text_) >= 0;
}
bool string::operator>=(const istring& other) const {
  return CompareNoCase(other.Text()) >= 0;
}
bool string::operator<=(const char16_t* text) const {
  return Compare(text) <= 0;
}
bool string::operator<=(const char* text) const {
  return Compare(text) <= 0;
}
bool string::operator<=(const string& other) const {
  return Compare(other.text_) <= 0;
}
bool string::operator<=(const istring& other) const {
  return CompareNoCase(other.Text()) <= 0;
}
bool string::operator==(const char16_t* text) const {
  return Compare(text) == 0;
}
bool string::operator==(const char* text) const {
  return Compare(text) == 0;
}
bool string::operator==(const string& other) const {
  return Compare(other.text_) == 0;
}
bool string::operator==(const istring& other) const {
  return CompareNoCase(other.Text()) == 0;
}
bool string::operator!=(const char16_t* text) const {
  return Compare(text) != 0;
}
bool string::operator!=(const char* text) const {
  return Compare(text) != 0;
}
bool string::operator!=(const string& other) const {
  return Compare(other.text_) != 0;
}
bool string::operator!=(const istring& other) const {
  return CompareNoCase(other.Text()) != 0;
}

istring::~istring() = default;

int32_t istring::Compare(const char16_t* text, int32_t count) const {
  return CompareNoCase(text, count);
}

int32_t istring::Compare(const char* text, int32_t count) const {
  return CompareNoCase(text, count);
}

// ---------------------------------------------------------------------------
// Replacing and finding

void string::Replace(uint32_t position, uint32_t count, const string& with) {
  if (position > length_) position = length_;
  if (count > length_ - position) count = length_ - position;
  string inserted(with);  // with may be this string
  uint32_t tail = length_ - position - count;
  if (inserted.length_ > kMaxLength - (length_ - count)) return;
  uint32_t length = length_ - count + inserted.length_;
  if (!Reserve(length + 1)) return;
  std::memmove(text_ + position + inserted.length_, text_ + position + count, sizeof(TCHAR) * tail);
  std::memcpy(text_ + position, inserted.text_, sizeof(TCHAR) * inserted.length_);
  length_ = length;
  text_[length_] = 0;
}

bool string::ReplaceEvery(const string& find, const string& with) {
  if (find.length_ == 0) {
    DebugTrace("string::ReplaceAll called with an empty find text (0x%08lX)", this);
    return false;
  }
  string result;
  if (!result.Reserve(length_)) return false;
  uint32_t copiedUpTo = 0;
  uint32_t i = 0;
  while (i + find.length_ <= length_) {
    if (std::memcmp(text_ + i, find.text_, sizeof(TCHAR) * find.length_) != 0) {
      ++i;
      continue;
    }
    result.WriteText(result.length_, text_, copiedUpTo, static_cast<int32_t>(i - copiedUpTo));
    result.WriteText(result.length_, with.text_, 0, -1);
    i += find.length_;
    copiedUpTo = i;
  }
  result.WriteText(result.length_, text_, copiedUpTo, -1);
  TakeBuffers(result);
  return true;
}

bool string::ReplaceAll(const char16_t* find, const char16_t* with) {
  return ReplaceEvery(string(find), string(with));
}

bool string::ReplaceAll(const char* find, const char* with) {
  return ReplaceEvery(string(find), string(with));
}

bool string::ReplaceAll(const string& find, const string& with) {
  return ReplaceEvery(string(find), string(with));
}

int32_t string::Find(const string& what, uint32_t from) const {
  // A start past the end would make from + length wrap round below it.
  if (what.length_ > length_ || from > length_) return -1;
  for (uint32_t i = from; i + what.length_ <= length_; ++i) {
    if (std::memcmp(text_ + i, what.text_, sizeof(TCHAR) * what.length_) == 0) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

int32_t string::FindLast(const string& what, int32_t at) const {
  if (what.length_ > length_) return -1;
  uint32_t i = length_ - what.length_;
  if (at >= 0 && static_cast<uint32_t>(at) < i) i = at;
  for (;; --i) {
    if (std::memcmp(text_ + i, what.text_, sizeof(TCHAR) * what.length_) == 0) {
      return static_cast<int32_t>(i);
    }
    if (i == 0) return -1;
  }
}

// A character is looked for in the view of its own width; both views hold
// one unit per character, so the positions are the same.
int32_t string::Find(char16_t character, uint32_t from) const {
  return FindIn(Wide(), length_, character, from);
}

int32_t string::Find(char character, uint32_t from) const {
  return FindIn(Narrow(), length_, character, from);
}

int32_t string::FindLast(char16_t character, int32_t at) const {
  return FindLastIn(Wide(), length_, character, at);
}

int32_t string::FindLast(char character, int32_t at) const {
  return FindLastIn(Narrow(), length_, character, at);
}

// ---------------------------------------------------------------------------
// String-table texts

void string::AppendTableText(uint32_t id) {
  uint32_t current = id + LanguageOffset();
  uint32_t step = LanguageStep();
  // Ids follow one another by the step; a table whose every entry ends in
  // "+" must still come to an end.
  for (uint32_t part = 0; part < 0x10000; ++part) {
    size_t length = 0;
    const char16_t* entry = LookupTableText(current, &length);
    if (!entry || length == 0 || length > kMaxLength) return;
    if (BoundedLength(entry, length) != length) return;  // holds a NUL
    Append(entry, 0, static_cast<int32_t>(length));
    if (length_ == 0 || text_[length_ - 1] != '+') return;
    text_[--length_] = 0;
    current += step;
  }
}

sformat::~sformat() = default;

void sformat::FormatTable(StringId format, const FormatArgumentList& arguments) {
  string text(format);
  FormatText(text.Text(), arguments);
}

void sformat::Format(const char* format, const FormatArgumentList& arguments) {
#if VORLAN_WIDE_TCHAR
  string text(format);
  FormatText(text.Text(), arguments);
#else
  FormatText(format, arguments);
#endif
}

void sformat::Format(const char16_t* format, const FormatArgumentList& arguments) {
#if VORLAN_WIDE_TCHAR
  FormatText(format, arguments);
#else
  string text(format);
  FormatText(text.Text(), arguments);
#endif
}

// ---------------------------------------------------------------------------
// The format engine

namespace {

// Widths and precisions beyond this are taken as this, so that a format text
// cannot ask for gigabytes of padding or digits.
constexpr uint32_t kMaxFieldWidth = 4096;
constexpr uint32_t kDefaultRealPrecision = 8;

struct Specification {
  const TCHAR* begin;
  const TCHAR* end;

  bool Has(TCHAR letter) const {
    for (const TCHAR* p = begin; p < end; ++p) {
      if (*p == letter) return true;
    }
    return false;
  }
  bool Has(TCHAR first, TCHAR second) const {
    for (const TCHAR* p = begin; p + 1 < end; ++p) {
      if (p[0] == first && p[1] == second) return true;
    }
    return false;
  }
};

enum class Wanted { Integer32, Integer16, Character8, Real64, Real32, Text, TableText, Nothing };

// The first row that matches decides, as the letters may appear together.
Wanted Classify(const Specification& spec) {
  if (spec.Has('l', 'd') || spec.Has('l', 'u')) return Wanted::Integer32;
  if (spec.Has('h', 'd') || spec.Has('h', 'u') || spec.Has('l', 'c')) return Wanted::Integer16;
  if (spec.Has('d') || spec.Has('u') || spec.Has('x') || spec.Has('X')) return Wanted::Integer32;
  if (spec.Has('c')) return Wanted::Character8;
  if (spec.Has('l', 'f')) return Wanted::Real64;
  if (spec.Has('f')) return Wanted::Real32;
  if (spec.Has('s')) return Wanted::Text;
  if (spec.Has('m')) return Wanted::TableText;
  return Wanted::Nothing;
}

struct Layout {
  bool zero = false;
  bool plus = false;
  bool left = false;
  uint32_t width = 0;
  bool hasPrecision = false;
  uint32_t precision = 0;
};

uint32_t ReadNumber(const TCHAR*& p, const TCHAR* end) {
  uint32_t value = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<uint32_t>(*p - '0');
    if (value > kMaxFieldWidth) value = kMaxFieldWidth;
  }
  return value;
}

Layout ReadLayout(const Specification& spec) {
  Layout layout;
  const TCHAR* p = spec.begin;
  for (; p < spec.end; ++p) {
    if (*p == '0') {
      layout.zero = true;
    } else if (*p == '+') {
      layout.plus = true;
    } else if (*p == '-') {
      layout.left = true;
    } else {
      break;
    }
  }
  layout.width = ReadNumber(p, spec.end);
  if (p < spec.end && *p == '.') {
    ++p;
    layout.hasPrecision = true;
    layout.precision = ReadNumber(p, spec.end);
  }
  return layout;
}

void Repeat(string& out, TCHAR character, uint32_t count) {
  TCHAR run[64];
  for (TCHAR& slot : run) slot = character;
  while (count) {
    uint32_t part = count < 64 ? count : 64;
    out.Append(run, 0, static_cast<int32_t>(part));
    count -= part;
  }
}

void PadFront(string& out, const Layout& layout, size_t produced) {
  if (!layout.left && layout.width > produced) {
    Repeat(out, layout.zero ? '0' : ' ', layout.width - static_cast<uint32_t>(produced));
  }
}

void PadBack(string& out, const Layout& layout, size_t produced) {
  if (layout.left && layout.width > produced) {
    Repeat(out, ' ', layout.width - static_cast<uint32_t>(produced));
  }
}

template <class Character>
void AppendField(string& out, const Layout& layout, const Character* body, size_t length) {
  PadFront(out, layout, length);
  out.Append(body, 0, static_cast<int32_t>(length));
  PadBack(out, layout, length);
}

void AppendUnknown(string& out) {
  out.Append(TXT("(?)"), 0, -1);
}

// Fills digits backwards from end; returns where they start.
TCHAR* WriteDigits(TCHAR* end, uint64_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  TCHAR* p = end;
  do {
    *--p = static_cast<TCHAR>(digits[value % base]);
    value /= base;
  } while (value);
  return p;
}

void FormatInteger(string& out, const Specification& spec, Wanted wanted, const Layout& layout,
                   const FormatArgument& argument) {
  if (spec.Has('c')) {
    // "c" carries an 8-bit character, "lc" a UTF-16 one; the code is taken
    // without its sign so that letters above 0x7F stay themselves.
    if (wanted == Wanted::Character8) {
      const char text[2] = {static_cast<char>(argument.integer & 0xFF), 0};
      AppendField(out, layout, text, text[0] ? 1 : 0);
    } else {
      const char16_t text[2] = {static_cast<char16_t>(argument.integer & 0xFFFF), 0};
      AppendField(out, layout, text, text[0] ? 1 : 0);
    }
    return;
  }
  TCHAR buffer[32];
  TCHAR* end = buffer + 32;
  uint64_t magnitude;
  TCHAR sign = 0;
  if (argument.kind == FormatArgument::Kind::Address) {
    // The whole address, which may be wider than 32 bits.
    magnitude = static_cast<uint64_t>(argument.integer);
    if (layout.plus) sign = '+';
  } else {
    int64_t value;
    if (wanted == Wanted::Integer16) {
      value = spec.Has('h', 'u') ? static_cast<int64_t>(static_cast<uint16_t>(argument.integer))
                                 : static_cast<int64_t>(static_cast<int16_t>(argument.integer));
    } else {
      value = static_cast<int32_t>(static_cast<uint32_t>(argument.integer));
    }
    if (value >= 0 && layout.plus) {
      sign = '+';
    } else if (!spec.Has('u') && value < 0) {
      sign = '-';
      value = -value;
    }
    magnitude = static_cast<uint32_t>(value);
  }
  unsigned base = spec.Has('x') || spec.Has('X') ? 16 : 10;
  TCHAR* start = WriteDigits(end, magnitude, base, !spec.Has('x') && spec.Has('X'));
  if (sign) *--start = sign;
  AppendField(out, layout, start, static_cast<size_t>(end - start));
}

void FormatReal(string& out, Wanted wanted, const Layout& layout, double value) {
  if (wanted == Wanted::Real32) {
    if (std::isfinite(value) && std::fabs(value) > 3.4028234663852886e38) {
      value = std::copysign(HUGE_VAL, value);
    }
    value = static_cast<float>(value);
  }
  uint32_t precision = layout.hasPrecision ? layout.precision : kDefaultRealPrecision;
  TCHAR head[340];  // sign and up to 309 integer digits
  TCHAR* end = head + 340;
  TCHAR* start = end;
  TCHAR sign = 0;
  if (!(value < 0) && layout.plus) {
    sign = '+';
  } else if (value < 0) {
    sign = '-';
    value = -value;
  }
  if (!std::isfinite(value)) {
    const char* word = std::isnan(value) ? "nan" : "inf";
    for (int i = 2; i >= 0; --i) *--start = static_cast<TCHAR>(word[i]);
    if (sign) *--start = sign;
    AppendField(out, layout, start, static_cast<size_t>(end - start));
    return;
  }
  double whole = std::floor(value);
  double fraction = value - whole;
  if (value >= 1 || precision == 0 || layout.zero) {
    if (whole < 18446744073709551616.0) {
      start = WriteDigits(end, static_cast<uint64_t>(whole), 10, false);
    } else {
      while (whole >= 1 && start > head + 1) {
        *--start = static_cast<TCHAR>('0' + static_cast<int>(std::fmod(whole, 10.0)));
        whole = std::floor(whole / 10.0);
      }
    }
  }
  if (sign) *--start = sign;
  size_t produced = static_cast<size_t>(end - start) + (precision ? 1 + precision : 0);
  PadFront(out, layout, produced);
  out.Append(start, 0, static_cast<int32_t>(end - start));
  if (precision) {
    // Digits are cut off, never rounded.
    TCHAR digits[64];
    uint32_t used = 0;
    digits[used++] = '.';
    for (uint32_t i = 0; i < precision; ++i) {
      fraction *= 10;
      int digit = static_cast<int>(fraction);
      if (digit > 9) digit = 9;
      fraction -= digit;
      digits[used++] = static_cast<TCHAR>('0' + digit);
      if (used == 64) {
        out.Append(digits, 0, 64);
        used = 0;
      }
    }
    out.Append(digits, 0, static_cast<int32_t>(used));
  }
  PadBack(out, layout, produced);
}

// Formats the next argument by one specification onto the end of out.
void FormatOne(string& out, const Specification& spec, const FormatArgumentList& arguments,
               size_t* next) {
  Wanted wanted = Classify(spec);
  if (wanted == Wanted::Nothing || *next >= arguments.count) return AppendUnknown(out);
  const FormatArgument& argument = arguments.items[(*next)++];
  Layout layout = ReadLayout(spec);
  using Kind = FormatArgument::Kind;
  switch (wanted) {
    case Wanted::Integer32:
    case Wanted::Integer16:
    case Wanted::Character8:
      if (argument.kind != Kind::Integer && argument.kind != Kind::Address) break;
      return FormatInteger(out, spec, wanted, layout, argument);
    case Wanted::Real64:
    case Wanted::Real32:
      if (argument.kind != Kind::Real) break;
      return FormatReal(out, wanted, layout, argument.real);
    case Wanted::Text: {
      size_t limit = layout.hasPrecision ? layout.precision : static_cast<size_t>(-1);
      if (argument.kind == Kind::NarrowText) {
        const char* text = argument.narrow ? argument.narrow : "(null)";
        return AppendField(out, layout, text, BoundedLength(text, limit));
      }
      if (argument.kind == Kind::WideText) {
        const char16_t* text = argument.wide ? argument.wide : u"(null)";
        return AppendField(out, layout, text, BoundedLength(text, limit));
      }
      break;
    }
    case Wanted::TableText: {
      if (argument.kind != Kind::Integer) break;
      string text(StringId(static_cast<uint32_t>(argument.integer)));
      size_t limit = layout.hasPrecision ? layout.precision : static_cast<size_t>(-1);
      return AppendField(out, layout, text.Text(), BoundedLength(text.Text(), limit));
    }
    case Wanted::Nothing:
      break;
  }
  AppendUnknown(out);
}

bool IsConversionLetter(TCHAR character) {
  switch (character) {
    case 'd':
    case 'u':
    case 'f':
    case 'c':
    case 's':
    case 'm':
    case 'x':
    case 'X':
      return true;
    default:
      return false;
  }
}

bool IsHeaderSeparator(TCHAR character) {
  return character == ' ' || character == ',' || character == ';' || character == '}';
}

struct PositionalValue {
  uint32_t start;
  uint32_t length;
};

}  // namespace

void string::FormatText(const TCHAR* format, const FormatArgumentList& arguments) {
  length_ = 0;
  text_[0] = 0;
  if (!format) format = kNullText;
  size_t next = 0;

  // The positional header formats its arguments once, in order, into one
  // buffer; %N then copies the N-th piece.
  string values;
  PositionalValue fixedSlots[16];
  PositionalValue* heapSlots = nullptr;
  uint32_t heapCount = 0;
  PositionalValue* slots = fixedSlots;
  uint32_t slotCapacity = 16;
  uint32_t slotCount = 0;
  const TCHAR* p = format;
  if (p[0] == '%' && p[1] == '{') {
    p += 2;
    while (*p && *p != '}') {
      const TCHAR* begin = p;
      while (*p && !IsHeaderSeparator(*p)) ++p;
      uint32_t start = values.Length();
      FormatOne(values, Specification{begin, p}, arguments, &next);
      if (slotCount == slotCapacity && MEM_GROW(heapSlots, heapCount, slotCount + 1, 16)) {
        if (slots == fixedSlots) std::memcpy(heapSlots, fixedSlots, sizeof(fixedSlots));
        slots = heapSlots;
        slotCapacity = heapCount;
      }
      if (slotCount < slotCapacity) slots[slotCount++] = {start, values.Length() - start};
      if (*p && *p != '}') ++p;
    }
    if (*p == '}') {
      ++p;
      if (*p == ' ' || *p == '\t') ++p;
    }
  }

  while (*p) {
    if (*p != '%') {
      const TCHAR* run = p;
      while (*p && *p != '%') ++p;
      WriteText(length_, run, 0, static_cast<int32_t>(p - run));
      continue;
    }
    if (p[1] == '%') {
      WriteText(length_, TXT("%"), 0, -1);
      p += 2;
      continue;
    }
    ++p;
    const TCHAR* begin = p;
    const TCHAR* firstDot = nullptr;
    bool sized = false;
    bool converted = false;
    while (*p) {
      TCHAR character = *p;
      if (!sized && ((character >= '0' && character <= '9') || character == '.')) {
        if (character == '.' && !firstDot) firstDot = p;
        ++p;
      } else if (!sized && (character == 'l' || character == 'h')) {
        sized = true;
        ++p;
      } else if (IsConversionLetter(character)) {
        converted = true;
        ++p;
        break;
      } else {
        break;
      }
    }
    if (converted) {
      FormatOne(*this, Specification{begin, p}, arguments, &next);
      continue;
    }
    // A positional reference; whatever follows its digits from a "." on is
    // ordinary text again.
    uint64_t number = 0;
    for (const TCHAR* digit = begin; digit < p && *digit >= '0' && *digit <= '9'; ++digit) {
      number = number * 10 + static_cast<uint64_t>(*digit - '0');
      if (number > 0xFFFFFFFF) number = 0x100000000;
    }
    if (firstDot) p = firstDot;
    if (number >= 1 && number <= slotCount) {
      const PositionalValue& value = slots[number - 1];
      WriteText(length_, values.Text(), value.start, static_cast<int32_t>(value.length));
    } else {
      WriteText(length_, TXT("(?)"), 0, -1);
    }
  }
  if (heapSlots) MEM_FREE(heapSlots);
}
