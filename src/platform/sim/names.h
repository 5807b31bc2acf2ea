// Names on the simulated disk and in its registry are Unicode, held as UTF-8
// (ASCII names keep their bytes). Each call converts at its edge: an A call's
// input exactly from code page 1252 and its output by Windows' best fit, a W
// call's from and to UTF-16. Names compare case-insensitively as Windows
// folds them.
#pragma once

#include <cstddef>
#include <string>

#include "platform/sim/simwin.h"

namespace sim {
namespace names {

// Code page 1252 in, exactly, as MultiByteToWideChar reads it.
std::string FromAnsi(const std::string& ansi);
std::string FromAnsi(LPCSTR ansi);  // nullptr reads as ""
// Code page 1252 out, as WideCharToMultiByte writes it without flags: a
// character without a byte of its own takes its best fit, else '?'.
std::string ToAnsi(const std::string& name);

// UTF-16, as the W calls take and give it. Unpaired surrogates survive.
std::string FromWide(LPCWSTR wide);  // NUL-terminated; nullptr reads as ""
std::string FromWide(const WCHAR* wide, size_t length);
std::basic_string<WCHAR> ToWide(const std::string& name);
// The control API's wide strings (UTF-32 on Linux).
std::string FromWstring(const std::wstring& text);
std::wstring ToWstring(const std::string& name);
// A name as a call hands it back, chosen by the caller's buffer: code page
// 1252 (best fit) for an A call's, UTF-16 for a W call's.
std::string ForCall(const std::string& name, const char* buffer);
std::basic_string<WCHAR> ForCall(const std::string& name, const WCHAR* buffer);

// Characters as Windows counts them: UTF-16 code units.
size_t Length(const std::string& name);
bool IsAscii(const std::string& name);

// One code point at `at`, which moves past it; malformed bytes read as U+FFFD.
char32_t Next(const std::string& text, size_t& at);
void Append(std::string& out, char32_t c);

// Windows' case mapping of names: ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic and the fullwidth Latin letters. Every pair has the same UTF-8
// length, so folding never changes a name's size.
char32_t UpperCase(char32_t c);
char32_t LowerCase(char32_t c);
std::string Fold(const std::string& name);  // upper-cased
bool SameName(const std::string& a, const std::string& b);
// NTFS indexes a folder by upper-cased name, Wine's registry its subkeys by
// lower-cased name, both compared as UTF-16.
bool UpperLess(const std::string& a, const std::string& b);
bool LowerLess(const std::string& a, const std::string& b);

}  // namespace names
}  // namespace sim
