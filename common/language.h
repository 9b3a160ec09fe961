#pragma once
// The current language and the resources in it.
//
// Every text and dialog template exists once per offered language, at
// consecutive ids: the first language of the list at the base id, the next at
// base id + 1, and so on. Code names the base id and adds the language offset;
// a long text is split over several entries, each but the last ending in "+",
// whose ids follow one another by the step (the number of languages).
//
// The choice is kept per product under HKEY_LOCAL_MACHINE
// "Software\Qualen\NLS": "Lang-" + product holds the chosen code and
// "Opt-" + product the product's language list, so that the setup and the
// game agree on it.

#include <cstdint>

#include "foundation/tchar.h"
#include "platform/resource.h"

struct Font;

// Language identifiers. Esperanto has no system identifier and is given 0.
constexpr uint16_t kLanguageEsperanto = 0;
constexpr uint16_t kLanguageUnknown = 0xFFFF;

// "EO" 0, "EN" 1033, "FR" 1036, "DE" 1031, "ES" 1034, without regard to
// case; anything else (null included) is kLanguageUnknown.
uint16_t LanguageCodeToId(const char* code);

// Makes the language of product current: the stored choice when the list
// (the text of listId, such as "EN,EO"; "EN" when it has none) offers it,
// otherwise the list's first language, which is then stored. A product
// (null or empty: none) also gets its list stored. Installs the language for
// string-table texts. Once initialised, a call without a product changes
// nothing.
void InitLanguage(const TCHAR* product, uint32_t listId);

// These initialise without a product (list id 1) when nothing has yet.
uint16_t GetLanguageId();
uint32_t GetLanguageOffset();
uint32_t GetLanguageStep();

// Makes a language of the list current, storing its code for the product
// when there is one. False, changing nothing, for a language not offered.
bool SetLanguage(uint16_t language);

// The choice of another product, as its own "Lang-" and "Opt-" values hold
// it; for the current product (or none) these are SetLanguage and
// GetLanguageId. GetLanguageFor gives kLanguageUnknown when nothing is stored.
bool SetLanguageFor(const TCHAR* product, uint16_t language);
uint16_t GetLanguageFor(const TCHAR* product);
// The language of the index-th code of the product's list, or
// kLanguageUnknown.
uint16_t GetOfferedLanguage(const TCHAR* product, uint32_t index);

// Resources come from the program's own module unless another is set.
ResourceModule GetResourceModule();
void SetResourceModule(ResourceModule module);

// A resource of the resource module in the given language, else the user's,
// else English, else any; its bytes (size in *size when given) or null.
const uint8_t* FindLangResource(ResourceName type, ResourceName name, uint16_t language,
                                uint32_t* size = nullptr);

// The string-table entry of a table id (the offset already added) in the
// current language, as counted UTF-16 text: the count unit, then the
// characters. Null when the entry is missing, empty or holds a NUL.
const char16_t* GetStringEntry(uint32_t id);

// The same walk over one string-table block of size bytes: entry index
// (0-15), or null when it is missing, empty, holds a NUL or would run past
// the block. The block must be 2-byte aligned, as resources are.
const char16_t* FindStringBlockEntry(const uint8_t* block, uint32_t size, uint32_t index);

// A font from a specification text: comma-separated tokens, where a token
// with a leading non-zero number sets the size (positive: points, negative:
// pixels; the last one wins), a token of the letters B, I and U (either
// case) makes the font bold, italic or underlined, "default" (any case)
// changes nothing and anything else names the face, as in "Arial,12,BI" or
// "MS Shell Dlg,10". What the text leaves out comes from the default GUI
// font. In Esperanto the face gets " Eo" appended (unless it ends so), so
// that 8-bit text shows its letters stored as ISO 8859-3. The caller owns
// the font (DeleteFont); null when it cannot be made.
Font* CreateFontFromSpec(const TCHAR* specification);
