// The simulated machine's ANSI code page is Western European 1252; the five
// bytes it leaves undefined map to the same code points, as Windows does.
// Characters without a byte of their own take a best-fit byte unless the
// caller forbids it, again as Windows does: so do the names that the A calls
// hand out. Also user32's lower-casing of wide text.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "platform/sim/kernel_object.h"
#include "platform/sim/names.h"
#include "platform/sim/system_state.h"
#include "platform/win32.h"

namespace {

const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The byte that stands for this character exactly, or -1.
int ExactByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] == c) return 0x80 + i;
    return -1;
}

// Windows' best-fit table for 1252 (what WideCharToMultiByte makes of a
// character without a byte of its own), less the fullwidth forms of ASCII,
// which follow from their code points. Sorted by character.
const struct BestFit {
    char16_t character;
    unsigned char byte;
} kBestFit[] = {
    {0x0100, 'A'}, {0x0101, 'a'}, {0x0102, 'A'}, {0x0103, 'a'}, {0x0104, 'A'}, {0x0105, 'a'},
    {0x0106, 'C'}, {0x0107, 'c'}, {0x0108, 'C'}, {0x0109, 'c'}, {0x010A, 'C'}, {0x010B, 'c'},
    {0x010C, 'C'}, {0x010D, 'c'}, {0x010E, 'D'}, {0x010F, 'd'}, {0x0110, 0xD0}, {0x0111, 'd'},
    {0x0112, 'E'}, {0x0113, 'e'}, {0x0114, 'E'}, {0x0115, 'e'}, {0x0116, 'E'}, {0x0117, 'e'},
    {0x0118, 'E'}, {0x0119, 'e'}, {0x011A, 'E'}, {0x011B, 'e'}, {0x011C, 'G'}, {0x011D, 'g'},
    {0x011E, 'G'}, {0x011F, 'g'}, {0x0120, 'G'}, {0x0121, 'g'}, {0x0122, 'G'}, {0x0123, 'g'},
    {0x0124, 'H'}, {0x0125, 'h'}, {0x0126, 'H'}, {0x0127, 'h'}, {0x0128, 'I'}, {0x0129, 'i'},
    {0x012A, 'I'}, {0x012B, 'i'}, {0x012C, 'I'}, {0x012D, 'i'}, {0x012E, 'I'}, {0x012F, 'i'},
    {0x0130, 'I'}, {0x0131, 'i'}, {0x0134, 'J'}, {0x0135, 'j'}, {0x0136, 'K'}, {0x0137, 'k'},
    {0x0139, 'L'}, {0x013A, 'l'}, {0x013B, 'L'}, {0x013C, 'l'}, {0x013D, 'L'}, {0x013E, 'l'},
    {0x0141, 'L'}, {0x0142, 'l'}, {0x0143, 'N'}, {0x0144, 'n'}, {0x0145, 'N'}, {0x0146, 'n'},
    {0x0147, 'N'}, {0x0148, 'n'}, {0x014C, 'O'}, {0x014D, 'o'}, {0x014E, 'O'}, {0x014F, 'o'},
    {0x0150, 'O'}, {0x0151, 'o'}, {0x0154, 'R'}, {0x0155, 'r'}, {0x0156, 'R'}, {0x0157, 'r'},
    {0x0158, 'R'}, {0x0159, 'r'}, {0x015A, 'S'}, {0x015B, 's'}, {0x015C, 'S'}, {0x015D, 's'},
    {0x015E, 'S'}, {0x015F, 's'}, {0x0162, 'T'}, {0x0163, 't'}, {0x0164, 'T'}, {0x0165, 't'},
    {0x0166, 'T'}, {0x0167, 't'}, {0x0168, 'U'}, {0x0169, 'u'}, {0x016A, 'U'}, {0x016B, 'u'},
    {0x016C, 'U'}, {0x016D, 'u'}, {0x016E, 'U'}, {0x016F, 'u'}, {0x0170, 'U'}, {0x0171, 'u'},
    {0x0172, 'U'}, {0x0173, 'u'}, {0x0174, 'W'}, {0x0175, 'w'}, {0x0176, 'Y'}, {0x0177, 'y'},
    {0x0179, 'Z'}, {0x017A, 'z'}, {0x017B, 'Z'}, {0x017C, 'z'}, {0x0180, 'b'}, {0x0189, 0xD0},
    {0x0191, 0x83}, {0x0197, 'I'}, {0x019A, 'l'}, {0x019F, 'O'}, {0x01A0, 'O'}, {0x01A1, 'o'},
    {0x01AB, 't'}, {0x01AE, 'T'}, {0x01AF, 'U'}, {0x01B0, 'u'}, {0x01B6, 'z'}, {0x01C0, '|'},
    {0x01C3, '!'}, {0x01CD, 'A'}, {0x01CE, 'a'}, {0x01CF, 'I'}, {0x01D0, 'i'}, {0x01D1, 'O'},
    {0x01D2, 'o'}, {0x01D3, 'U'}, {0x01D4, 'u'}, {0x01D5, 'U'}, {0x01D6, 'u'}, {0x01D7, 'U'},
    {0x01D8, 'u'}, {0x01D9, 'U'}, {0x01DA, 'u'}, {0x01DB, 'U'}, {0x01DC, 'u'}, {0x01DE, 'A'},
    {0x01DF, 'a'}, {0x01E4, 'G'}, {0x01E5, 'g'}, {0x01E6, 'G'}, {0x01E7, 'g'}, {0x01E8, 'K'},
    {0x01E9, 'k'}, {0x01EA, 'O'}, {0x01EB, 'o'}, {0x01EC, 'O'}, {0x01ED, 'o'}, {0x01F0, 'j'},
    {0x0261, 'g'}, {0x02B9, '\''}, {0x02BA, '"'}, {0x02BC, '\''}, {0x02C4, '^'}, {0x02C8, '\''},
    {0x02C9, 0xAF}, {0x02CA, 0xB4}, {0x02CB, '`'}, {0x02CD, '_'}, {0x02DA, 0xB0}, {0x0300, '`'},
    {0x0301, 0xB4}, {0x0302, '^'}, {0x0303, '~'}, {0x0304, 0xAF}, {0x0305, 0xAF}, {0x0308, 0xA8},
    {0x030A, 0xB0}, {0x030E, '"'}, {0x0327, 0xB8}, {0x0331, '_'}, {0x0332, '_'}, {0x037E, ';'},
    {0x0393, 'G'}, {0x0398, 'T'}, {0x03A3, 'S'}, {0x03A6, 'F'}, {0x03A9, 'O'}, {0x03B1, 'a'},
    {0x03B2, 0xDF}, {0x03B4, 'd'}, {0x03B5, 'e'}, {0x03BC, 0xB5}, {0x03C0, 'p'}, {0x03C3, 's'},
    {0x03C4, 't'}, {0x03C6, 'f'}, {0x04BB, 'h'}, {0x0589, ':'}, {0x066A, '%'}, {0x2000, ' '},
    {0x2001, ' '}, {0x2002, ' '}, {0x2003, ' '}, {0x2004, ' '}, {0x2005, ' '}, {0x2006, ' '},
    {0x2010, '-'}, {0x2011, '-'}, {0x2017, '='}, {0x2024, 0xB7}, {0x2032, '\''}, {0x2035, '`'},
    {0x2044, '/'}, {0x2070, 0xB0}, {0x2074, '4'}, {0x2075, '5'}, {0x2076, '6'}, {0x2077, '7'},
    {0x2078, '8'}, {0x207F, 'n'}, {0x2080, '0'}, {0x2081, '1'}, {0x2082, '2'}, {0x2083, '3'},
    {0x2084, '4'}, {0x2085, '5'}, {0x2086, '6'}, {0x2087, '7'}, {0x2088, '8'}, {0x2089, '9'},
    {0x20A1, 0xA2}, {0x20A4, 0xA3}, {0x20A7, 'P'}, {0x2102, 'C'}, {0x2107, 'E'}, {0x210A, 'g'},
    {0x210B, 'H'}, {0x210C, 'H'}, {0x210D, 'H'}, {0x210E, 'h'}, {0x2110, 'I'}, {0x2111, 'I'},
    {0x2112, 'L'}, {0x2113, 'l'}, {0x2115, 'N'}, {0x2118, 'P'}, {0x2119, 'P'}, {0x211A, 'Q'},
    {0x211B, 'R'}, {0x211C, 'R'}, {0x211D, 'R'}, {0x2124, 'Z'}, {0x2128, 'Z'}, {0x212A, 'K'},
    {0x212B, 0xC5}, {0x212C, 'B'}, {0x212D, 'C'}, {0x212E, 'e'}, {0x212F, 'e'}, {0x2130, 'E'},
    {0x2131, 'F'}, {0x2133, 'M'}, {0x2134, 'o'}, {0x2205, 0xD8}, {0x2212, '-'}, {0x2213, 0xB1},
    {0x2215, '/'}, {0x2216, '\\'}, {0x2217, '*'}, {0x2218, 0xB0}, {0x2219, 0xB7}, {0x221A, 'v'},
    {0x221E, '8'}, {0x2223, '|'}, {0x2229, 'n'}, {0x2236, ':'}, {0x223C, '~'}, {0x2248, 0x98},
    {0x2261, '='}, {0x2264, '='}, {0x2265, '='}, {0x226A, 0xAB}, {0x226B, 0xBB}, {0x22C5, 0xB7},
    {0x2302, 0xA6}, {0x2303, '^'}, {0x2310, 0xAC}, {0x2320, '('}, {0x2321, ')'}, {0x2329, '<'},
    {0x232A, '>'}, {0x2500, '-'}, {0x2502, 0xA6}, {0x250C, '+'}, {0x2510, '+'}, {0x2514, '+'},
    {0x2518, '+'}, {0x251C, '+'}, {0x2524, 0xA6}, {0x252C, '-'}, {0x2534, '-'}, {0x253C, '+'},
    {0x2550, '-'}, {0x2551, 0xA6}, {0x2552, '+'}, {0x2553, '+'}, {0x2554, '+'}, {0x2555, '+'},
    {0x2556, '+'}, {0x2557, '+'}, {0x2558, '+'}, {0x2559, '+'}, {0x255A, '+'}, {0x255B, '+'},
    {0x255C, '+'}, {0x255D, '+'}, {0x255E, 0xA6}, {0x255F, 0xA6}, {0x2560, 0xA6}, {0x2561, 0xA6},
    {0x2562, 0xA6}, {0x2563, 0xA6}, {0x2564, '-'}, {0x2565, '-'}, {0x2566, '-'}, {0x2567, '-'},
    {0x2568, '-'}, {0x2569, '-'}, {0x256A, '+'}, {0x256B, '+'}, {0x256C, '+'}, {0x2580, 0xAF},
    {0x2584, '_'}, {0x2588, 0xA6}, {0x258C, 0xA6}, {0x2590, 0xA6}, {0x2591, 0xA6}, {0x2592, 0xA6},
    {0x2593, 0xA6}, {0x25A0, 0xA6}, {0x263C, 0xA4}, {0x2758, '|'}, {0x3000, ' '}, {0x3008, '<'},
    {0x3009, '>'}, {0x300A, 0xAB}, {0x300B, 0xBB}, {0x301A, '['}, {0x301B, ']'}, {0x30FB, 0xB7},
};

int BestFitByte(char16_t c)
{
    if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFF01 + 0x21;
    const auto* end = std::end(kBestFit);
    const auto* found = std::lower_bound(std::begin(kBestFit), end, c,
                                         [](const BestFit& row, char16_t key) { return row.character < key; });
    return found != end && found->character == c ? found->byte : -1;
}

// One UTF-16 unit as an A call writes it: exact, else best fit, else '?'.
char AnsiByte(char16_t c, bool bestFit, char defaultChar, bool& usedDefault)
{
    int b = ExactByte(c);
    if (b < 0 && bestFit) b = BestFitByte(c);
    if (b < 0) {
        usedDefault = true;
        return defaultChar;
    }
    return static_cast<char>(b);
}

char16_t CodeOfByte(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : static_cast<char16_t>(b);
}

// The checks both conversions make first; false, with the error set, when a
// call would be refused.
bool Acceptable(UINT codePage, DWORD flags, DWORD knownFlags, const void* input, int length,
                const void* out, int outSize)
{
    if ((codePage != CP_ACP && codePage != 1252) || input == nullptr || length == 0 ||
        outSize < 0 || (outSize > 0 && out == nullptr)) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if ((flags & ~knownFlags) != 0) {
        sim::detail::SetError(ERROR_INVALID_FLAGS);
        return false;
    }
    return true;
}

}  // namespace

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR out,
                        int outSize, LPCSTR defaultChar, LPBOOL usedDefaultChar)
{
    if (!Acceptable(codePage, flags, WC_NO_BEST_FIT_CHARS, wide, wideLength, out, outSize))
        return 0;
    size_t length = static_cast<size_t>(wideLength);
    if (wideLength < 0) length = std::char_traits<char16_t>::length(wide) + 1;

    std::string bytes;
    bool usedDefault = false;
    const bool bestFit = (flags & WC_NO_BEST_FIT_CHARS) == 0;
    for (size_t i = 0; i < length; ++i)
        bytes += AnsiByte(wide[i], bestFit, defaultChar != nullptr ? *defaultChar : '?', usedDefault);
    if (usedDefaultChar != nullptr) *usedDefaultChar = usedDefault ? TRUE : FALSE;
    if (outSize == 0) return static_cast<int>(bytes.size());
    if (static_cast<size_t>(outSize) < bytes.size()) {
        sim::detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int length, LPWSTR out,
                        int outSize)
{
    if (!Acceptable(codePage, flags, MB_ERR_INVALID_CHARS, bytes, length, out, outSize)) return 0;
    size_t count = static_cast<size_t>(length);
    if (length < 0) count = std::strlen(bytes) + 1;
    if (outSize == 0) return static_cast<int>(count);
    if (static_cast<size_t>(outSize) < count) {
        sim::detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < count; ++i) out[i] = CodeOfByte(static_cast<unsigned char>(bytes[i]));
    return static_cast<int>(count);
}

// ---- user32 -------------------------------------------------------------------------
DWORD CharLowerBuffW(LPWSTR text, DWORD length)
{
    sim::NoteCall("CharLowerBuffW");
    if (text == nullptr) return 0;
    // Surrogates are no letters: each unit maps on its own.
    for (DWORD i = 0; i < length; ++i) text[i] = static_cast<WCHAR>(sim::names::LowerCase(text[i]));
    return length;
}

namespace sim {
namespace names {

std::string FromAnsi(const std::string& ansi)
{
    if (IsAscii(ansi)) return ansi;
    std::string out;
    out.reserve(ansi.size() * 2);
    for (char b : ansi) Append(out, CodeOfByte(static_cast<unsigned char>(b)));
    return out;
}

std::string FromAnsi(LPCSTR ansi)
{
    return ansi != nullptr ? FromAnsi(std::string(ansi)) : std::string();
}

std::string ToAnsi(const std::string& name)
{
    if (IsAscii(name)) return name;
    std::string out;
    out.reserve(name.size());
    bool usedDefault = false;
    for (WCHAR unit : ToWide(name)) out += AnsiByte(unit, true, '?', usedDefault);
    return out;
}

std::string ForCall(const std::string& name, const char*)
{
    return ToAnsi(name);
}

}  // namespace names
}  // namespace sim

namespace platform {

std::basic_string<WCHAR> ToUtf16(const std::wstring& text)
{
    return sim::names::ToWide(sim::names::FromWstring(text));
}

std::wstring FromUtf16(const WCHAR* text, size_t length)
{
    return sim::names::ToWstring(sim::names::FromWide(text, length));
}

}  // namespace platform
