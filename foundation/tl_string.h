#pragma once
// The text type of the whole system. `string` holds TCHAR text (8-bit in the
// setup, UTF-16 in the game) and hands out 8-bit or UTF-16 views on request;
// `istring` compares without regard to letter case; `sformat` is a string
// built by formatting a printf-like text, which may start with a positional
// header such as "%{ld,s}" that lets the text name its arguments as %1, %2.
//
// Every buffer comes from the memory manager. The pointers handed out belong
// to the string: the TCHAR text lives until the string changes, a converted
// view until the next conversion of the same width.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "foundation/tchar.h"

class istring;
struct FormatArgumentList;

// A string-table id, kept apart from plain numbers so that string(0) stays
// the null-text constructor.
struct StringId {
  constexpr explicit StringId(uint32_t id) : value(id) {}
  uint32_t value;
};

class string {
 public:
  string();
  // count -1: to the end of the text. A null text stores "(null)".
  string(const char* text, uint32_t start = 0, int32_t count = -1);
  string(const char16_t* text, uint32_t start = 0, int32_t count = -1);
  string(const string& other, uint32_t start = 0, int32_t count = -1);
  string(string&& other) noexcept;
  // The table text of the id in the current language; "+"-continued entries
  // are joined. A missing entry leaves the string empty.
  explicit string(StringId id);
  virtual ~string();

  virtual string& operator=(const string& other);
  virtual string& operator=(const char16_t* text);
  virtual string& operator=(const char* text);
  string& operator=(string&& other) noexcept;

  // For a string created with MEM_NEW that lives to the end of the process:
  // tares its buffers and the object itself.
  virtual void MakePersistentWithObject();
  // For a string of static lifetime: tares its buffers, and every buffer it
  // allocates from now on.
  virtual void MakePersistent();

  virtual string& operator+=(char16_t character);
  virtual string& operator+=(char character);
  virtual string& operator+=(const char16_t* text);
  virtual string& operator+=(const char* text);
  virtual string& operator+=(const string& other);
  virtual string operator+(char16_t character) const;
  virtual string operator+(char character) const;
  virtual string operator+(const char16_t* text) const;
  virtual string operator+(const char* text) const;
  virtual string operator+(const string& other) const;

  // Backslash-separated paths; forward slashes on either side become
  // backslashes and exactly one backslash joins the two parts.
  virtual string& AppendPath(const string& part);
  virtual string JoinPath(const string& part) const;

  virtual uint32_t Length() const;
  virtual uint32_t GetLength() const;
  // After writing through GetBuffer: the length becomes the position of the
  // first NUL.
  virtual void RecomputeLength();

  virtual const TCHAR* Text() const;
  virtual const char16_t* Wide() const;
  virtual const char16_t* Wide(uint32_t from) const;
  virtual const char* Narrow() const;
  virtual const char* Narrow(uint32_t from) const;
  // Both make room up to the index first; beyond the length there is only
  // NUL to read.
  virtual TCHAR operator[](uint32_t index);
  virtual TCHAR* At(uint32_t index);
  // Room for count characters the caller writes; call RecomputeLength after.
  virtual TCHAR* GetBuffer(uint32_t count);

  // Copies owned by the caller, who frees them with MEM_FREE.
  virtual TCHAR* NewCopy() const;
  virtual char* NewNarrowCopy() const;
  virtual char16_t* NewWideCopy() const;

  // Without the spaces and tabs at either end.
  virtual string Trimmed() const;
  virtual string Substring(uint32_t start, int32_t count = -1) const;

  // The difference of the first pair of characters that differ, compared in
  // the width of the argument; a null argument gives -1. count -1: whole.
  virtual int32_t Compare(const char16_t* text, int32_t count = -1) const;
  virtual int32_t Compare(const char* text, int32_t count = -1) const;
  // The same with A-Z lowered on both sides.
  virtual int32_t CompareNoCase(const char16_t* text, int32_t count = -1) const;
  virtual int32_t CompareNoCase(const char* text, int32_t count = -1) const;
  virtual bool IsEmpty() const;

  // Every relational operator goes through Compare, so an istring on the
  // left ignores case; an istring on the right always does.
  virtual bool operator<(const char16_t* text) const;
  virtual bool operator<(const char* text) const;
  virtual bool operator<(const string& other) const;
  virtual bool operator<(const istring& other) const;
  virtual bool operator>(const char16_t* text) const;
  virtual bool operator>(const char* text) const;
  virtual bool operator>(const string& other) const;
  virtual bool operator>(const istring& other) const;
  virtual bool operator>=(const char16_t* text) const;
  virtual bool operator>=(const char* text) const;
  virtual bool operator>=(const string& other) const;
  virtual bool operator>=(const istring& other) const;
  virtual bool operator<=(const char16_t* text) const;
  virtual bool operator<=(const char* text) const;
  virtual bool operator<=(const string& other) const;
  virtual bool operator<=(const istring& other) const;
  virtual bool operator==(const char16_t* text) const;
  virtual bool operator==(const char* text) const;
  virtual bool operator==(const string& other) const;
  virtual bool operator==(const istring& other) const;
  virtual bool operator!=(const char16_t* text) const;
  virtual bool operator!=(const char* text) const;
  virtual bool operator!=(const string& other) const;
  virtual bool operator!=(const istring& other) const;

  // The count characters at the position become the text of with (count 0
  // inserts, an empty with deletes).
  virtual void Replace(uint32_t position, uint32_t count, const string& with);
  // Replaces each occurrence, never rescanning a replacement. An empty find
  // text is refused (false, with a trace line).
  virtual bool ReplaceAll(const char16_t* find, const char16_t* with);
  virtual bool ReplaceAll(const char* find, const char* with);
  virtual bool ReplaceAll(const string& find, const string& with);

  // Positions, or -1 when there is no match. The last-match forms look for
  // a match starting at or before the position (-1: anywhere).
  virtual int32_t Find(const string& what, uint32_t from = 0) const;
  virtual int32_t Find(char16_t character, uint32_t from = 0) const;
  virtual int32_t Find(char character, uint32_t from = 0) const;
  virtual int32_t FindLast(const string& what, int32_t at = -1) const;
  virtual int32_t FindLast(char16_t character, int32_t at = -1) const;
  virtual int32_t FindLast(char character, int32_t at = -1) const;

  // Room for count characters (text), bytes (8-bit view) or units (UTF-16
  // view). False only when memory runs out; the string is then unchanged.
  virtual bool Reserve(uint32_t count);
  virtual bool ReserveNarrow(uint32_t count);
  virtual bool ReserveWide(uint32_t count);

  // Write count characters of text from start (count -1: to its end) at
  // position 0, at a position, or at the end. Writing past the end fills the
  // gap with spaces; characters after a write that stops short of the end
  // are kept.
  virtual void Write(const char16_t* text, uint32_t start = 0, int32_t count = -1);
  virtual void Write(const char* text, uint32_t start = 0, int32_t count = -1);
  virtual void WriteAt(uint32_t position, const char16_t* text, uint32_t start = 0,
                       int32_t count = -1);
  virtual void WriteAt(uint32_t position, const char* text, uint32_t start = 0, int32_t count = -1);
  virtual void Append(const char16_t* text, uint32_t start = 0, int32_t count = -1);
  virtual void Append(const char* text, uint32_t start = 0, int32_t count = -1);

 protected:
  // The core writer: every assignment, append and write ends here.
  virtual void WriteText(uint32_t position, const TCHAR* text, uint32_t start, int32_t count);
  // Loads a string-table text and its continuations onto the end.
  void AppendTableText(uint32_t id);
  // The format engine behind sformat.
  void FormatText(const TCHAR* format, const FormatArgumentList& arguments);

 private:
  void Initialise();
  void ReleaseBuffers();
  void TakeBuffers(string& other);
  bool GrowNarrow(uint32_t count) const;
  bool GrowWide(uint32_t count) const;
  bool ReplaceEvery(const string& find, const string& with);

  TCHAR* text_;
  uint32_t capacity_;
  uint32_t length_;
  mutable char* narrow_;
  mutable uint32_t narrowCapacity_;
  mutable char16_t* wide_;
  mutable uint32_t wideCapacity_;
  uint8_t persistent_;
};

class istring : public string {
 public:
  using string::string;
  istring() = default;
  istring(const istring& other) : string(other) {}
  istring(istring&& other) noexcept : string(static_cast<string&&>(other)) {}
  istring(const string& other, uint32_t start = 0, int32_t count = -1)
      : string(other, start, count) {}
  ~istring() override;
  using string::operator=;
  istring& operator=(const istring& other) {
    string::operator=(other);
    return *this;
  }
  istring& operator=(istring&& other) noexcept {
    string::operator=(static_cast<string&&>(other));
    return *this;
  }

  int32_t Compare(const char16_t* text, int32_t count = -1) const override;
  int32_t Compare(const char* text, int32_t count = -1) const override;

  // Restated only so that a == b between two istrings has one best match
  // among the reversed forms C++20 also considers.
  using string::operator==;
  using string::operator!=;
  bool operator==(const istring& other) const override { return string::operator==(other); }
  bool operator!=(const istring& other) const override { return string::operator!=(other); }
};

// One argument of sformat, carried with its kind so that a specification
// that wants another kind prints "(?)" instead of reading the wrong thing.
struct FormatArgument {
  enum class Kind : uint8_t { Integer, Address, Real, NarrowText, WideText };

  template <class T>
  requires std::integral<T> FormatArgument(T value)
      : kind(Kind::Integer), integer(static_cast<int64_t>(value)) {}
  template <class T>
  requires std::is_enum_v<T> FormatArgument(T value)
      : kind(Kind::Integer),
        integer(static_cast<int64_t>(static_cast<std::underlying_type_t<T>>(value))) {}
  FormatArgument(StringId id) : kind(Kind::Integer), integer(id.value) {}
  FormatArgument(float value) : kind(Kind::Real), real(value) {}
  FormatArgument(double value) : kind(Kind::Real), real(value) {}
  FormatArgument(const char* text) : kind(Kind::NarrowText), narrow(text) {}
  FormatArgument(const char16_t* text) : kind(Kind::WideText), wide(text) {}
  FormatArgument(std::nullptr_t) : kind(Kind::NarrowText), narrow(nullptr) {}
  FormatArgument(const string& text);
  // Object addresses, as the trace lines print them.
  template <class T>
  FormatArgument(const T* address)
      : kind(Kind::Address), integer(static_cast<int64_t>(reinterpret_cast<uintptr_t>(address))) {}

  Kind kind;
  union {
    int64_t integer;
    double real;
    const char* narrow;
    const char16_t* wide;
  };
};

struct FormatArgumentList {
  const FormatArgument* items;
  size_t count;
};

// sformat(TXT("%{ld,s} Installing %2\n%1%% complete"), 40, name). A
// specification takes the next argument; one that wants a number but gets a
// text (or the other way round), or finds no argument left, prints "(?)".
// "s", "ls" and "hs" take 8-bit and UTF-16 texts alike, converted as needed.
class sformat : public string {
 public:
  template <class... Arguments>
  explicit sformat(StringId format, const Arguments&... arguments) {
    const FormatArgument list[] = {FormatArgument(arguments)..., FormatArgument(0)};
    FormatTable(format, FormatArgumentList{list, sizeof...(Arguments)});
  }
  template <class... Arguments>
  explicit sformat(const char* format, const Arguments&... arguments) {
    const FormatArgument list[] = {FormatArgument(arguments)..., FormatArgument(0)};
    Format(format, FormatArgumentList{list, sizeof...(Arguments)});
  }
  template <class... Arguments>
  explicit sformat(const char16_t* format, const Arguments&... arguments) {
    const FormatArgument list[] = {FormatArgument(arguments)..., FormatArgument(0)};
    Format(format, FormatArgumentList{list, sizeof...(Arguments)});
  }
  // For wrappers such as DebugTrace that already hold a packed list.
  sformat(const char* format, const FormatArgumentList& arguments) { Format(format, arguments); }
  sformat(const char16_t* format, const FormatArgumentList& arguments) {
    Format(format, arguments);
  }
  sformat(const sformat& other) : string(other) {}
  ~sformat() override;
  using string::operator=;

 private:
  void FormatTable(StringId format, const FormatArgumentList& arguments);
  void Format(const char* format, const FormatArgumentList& arguments);
  void Format(const char16_t* format, const FormatArgumentList& arguments);
};

// The language texts are loaded in, installed by the language selection.
// Until one is installed texts are English (offset 0, step 1, a system
// language) and there is no string table, so ids load nothing.
struct StringTableLanguage {
  uint32_t (*offset)();         // added to every text id
  uint32_t (*step)();           // between the parts of a "+"-continued text
  bool (*hasSystemLanguage)();  // false for Esperanto: 8-bit text then holds ISO 8859-3 letters
  // The entry of a table id (offset already added) as counted UTF-16 text,
  // or null when there is none.
  const char16_t* (*lookup)(uint32_t id, size_t* length);
};
// The record must outlive its use; null restores the default.
void SetStringTableLanguage(const StringTableLanguage* language);
