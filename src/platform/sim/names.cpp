// UTF-8 and UTF-16 forms of the simulation's names, and the case mapping
// Windows applies when it compares them. The code page 1252 forms are in
// text.cpp, beside the conversion calls.
#include "platform/sim/names.h"

namespace sim {
namespace names {
namespace {

char AsciiUpper(unsigned char c)
{
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
}

// Latin Extended-A pairs its letters; the even one is the capital in some
// runs, the odd one in others. The dotted and dotless i, kra, the n after an
// apostrophe and the long s have no partner here.
bool EvenCapital(char32_t c)
{
    return (c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177);
}

bool OddCapital(char32_t c)
{
    return (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E);
}

// Orders code points as their UTF-16 units compare: supplementary characters
// (surrogate pairs) before U+E000 and above.
char32_t Utf16Order(char32_t c)
{
    if (c < 0xD800) return c;
    if (c >= 0x10000) return c - 0x10000 + 0xD800;
    return c + 0x100000;
}

template <typename Mapping>
bool MappedLess(const std::string& a, const std::string& b, Mapping map)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = map(Next(a, i));
        const char32_t y = map(Next(b, j));
        if (x != y) return Utf16Order(x) < Utf16Order(y);
    }
    return i == a.size() && j < b.size();
}

}  // namespace

std::string FromWide(LPCWSTR wide)
{
    if (wide == nullptr) return std::string();
    size_t length = 0;
    while (wide[length] != 0) ++length;
    return FromWide(wide, length);
}

std::string FromWide(const WCHAR* wide, size_t length)
{
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        }
        Append(out, c);
    }
    return out;
}

std::basic_string<WCHAR> ToWide(const std::string& name)
{
    std::basic_string<WCHAR> out;
    out.reserve(name.size());
    for (size_t at = 0; at < name.size();) {
        const char32_t c = Next(name, at);
        if (c >= 0x10000) {
            out += static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<WCHAR>(c);
        }
    }
    return out;
}

std::string FromWstring(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) Append(out, static_cast<char32_t>(c));
    return out;
}

std::wstring ToWstring(const std::string& name)
{
    std::wstring out;
    out.reserve(name.size());
    for (size_t at = 0; at < name.size();) out += static_cast<wchar_t>(Next(name, at));
    return out;
}

std::basic_string<WCHAR> ForCall(const std::string& name, const WCHAR*)
{
    return ToWide(name);
}

size_t Length(const std::string& name)
{
    size_t units = 0;
    for (char byte : name) {
        const auto b = static_cast<unsigned char>(byte);
        if ((b & 0xC0) != 0x80) ++units;  // a character starts here
        if (b >= 0xF0) ++units;           // and needs a surrogate pair
    }
    return units;
}

bool IsAscii(const std::string& name)
{
    for (char byte : name)
        if (static_cast<unsigned char>(byte) >= 0x80) return false;
    return true;
}

char32_t Next(const std::string& text, size_t& at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    size_t extra = 0;
    char32_t c = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07;
    } else {
        ++at;
        return 0xFFFD;
    }
    for (size_t i = 1; i <= extra; ++i) {
        const auto b = at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0;
        if ((b & 0xC0) != 0x80) {
            ++at;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    at += extra + 1;
    return c;
}

void Append(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t UpperCase(char32_t c)
{
    if (c < 0x80) return static_cast<unsigned char>(AsciiUpper(static_cast<unsigned char>(c)));
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x0178;
    if ((EvenCapital(c) && (c & 1)) || (OddCapital(c) && !(c & 1))) return c - 1;
    if ((c >= 0x03B1 && c <= 0x03CB && c != 0x03C2) || (c >= 0x0430 && c <= 0x044F) ||
        (c >= 0xFF41 && c <= 0xFF5A))
        return c - 0x20;
    if (c == 0x03C2) return 0x03A3;  // final sigma
    if (c == 0x03AC) return 0x0386;
    if (c >= 0x03AD && c <= 0x03AF) return c - 0x25;
    if (c == 0x03CC) return 0x038C;
    if (c == 0x03CD || c == 0x03CE) return c - 0x3F;
    if (c >= 0x0450 && c <= 0x045F) return c - 0x50;
    return c;
}

char32_t LowerCase(char32_t c)
{
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c < 0x80) return c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c == 0x0178) return 0xFF;
    if ((EvenCapital(c) && !(c & 1)) || (OddCapital(c) && (c & 1))) return c + 1;
    if ((c >= 0x0391 && c <= 0x03AB && c != 0x03A2) || (c >= 0x0410 && c <= 0x042F) ||
        (c >= 0xFF21 && c <= 0xFF3A))
        return c + 0x20;
    if (c == 0x0386) return 0x03AC;
    if (c >= 0x0388 && c <= 0x038A) return c + 0x25;
    if (c == 0x038C) return 0x03CC;
    if (c == 0x038E || c == 0x038F) return c + 0x3F;
    if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
    return c;
}

std::string Fold(const std::string& name)
{
    std::string out;
    out.reserve(name.size());
    for (size_t at = 0; at < name.size();) {
        const auto b = static_cast<unsigned char>(name[at]);
        if (b < 0x80) {
            out += AsciiUpper(b);
            ++at;
        } else {
            Append(out, UpperCase(Next(name, at)));
        }
    }
    return out;
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[j]);
        if (x < 0x80 && y < 0x80) {
            if (AsciiUpper(x) != AsciiUpper(y)) return false;
            ++i;
            ++j;
        } else if (UpperCase(Next(a, i)) != UpperCase(Next(b, j))) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

bool UpperLess(const std::string& a, const std::string& b)
{
    return MappedLess(a, b, UpperCase);
}

bool LowerLess(const std::string& a, const std::string& b)
{
    return MappedLess(a, b, LowerCase);
}

}  // namespace names
}  // namespace sim
