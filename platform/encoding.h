#pragma once
// Text encodings the platform meets: the desktop's 8-bit code page
// (Windows-1252), the ISO 8859-3 page of the Esperanto fonts, UTF-16 (the
// system's wide text) and UTF-8 (host file names, the registry database).
// None of these fails: what cannot be carried over is replaced, as each
// function says.

#include <cstdint>
#include <string>
#include <string_view>

// --- One byte or character --------------------------------------------------

// Windows-1252 differs from Latin-1 only at 0x80-0x9F. Its five unassigned
// bytes there widen to the control character of the same value, so every
// byte survives a round trip.
char16_t Windows1252ToUnit(char byte);

// The byte for a UTF-16 unit, or false when the page lacks the character.
bool UnitToWindows1252(char16_t unit, char* byte);

// ISO 8859-3 differs from Latin-1 from 0xA0 on; its seven unassigned bytes
// keep their Latin-1 meaning.
char16_t Iso8859_3ToUnit(char byte);

// --- Whole texts ------------------------------------------------------------

std::u16string Windows1252ToUtf16(std::string_view text);

// One byte per character: a character the page lacks, a surrogate pair or a
// lone surrogate becomes `replacement`.
std::string Utf16ToWindows1252(std::u16string_view text, char replacement = '?');

// What UTF-8 output does with a surrogate that has no partner. Replace gives
// U+FFFD, which is what names shown or stored on the host want; Keep encodes
// the unit as it stands (three bytes), so that distinct names stay distinct.
enum class LoneSurrogate { kReplace, kKeep };

std::string Utf16ToUtf8(std::u16string_view text,
                        LoneSurrogate loneSurrogate = LoneSurrogate::kReplace);

// Malformed UTF-8 (a bad lead byte, a missing continuation byte, an encoded
// surrogate, a code above U+10FFFF) gives U+FFFD for each bad sequence.
std::u16string Utf8ToUtf16(std::string_view text);

// The character at *position, a surrogate pair read as one; *position moves
// past it. A lone surrogate is returned as it stands.
char32_t ReadUtf16(std::u16string_view text, size_t* position);

inline bool IsSurrogate(char32_t code) { return code >= 0xD800 && code < 0xE000; }
