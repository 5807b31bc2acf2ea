#include "environment/text.h"

namespace {

// Lower case by fixed rules (ASCII, Latin-1, Latin Extended-A), so that
// names compare alike whatever locale the process runs under.
wchar_t LowerChar(wchar_t c)
{
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + 0x20);
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : static_cast<wchar_t>(c + 0x20);
    if (c < 0x100 || c > 0x17F) return c;
    if (c == 0x130) return L'i';
    if (c == 0x178) return 0xFF;
    // Capitals sit on even code points up to U+0137 and from U+014A to
    // U+0176, on odd ones from U+0139 to U+0147 and from U+0179 to U+017D.
    if ((c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177))
        return (c % 2 == 0) ? static_cast<wchar_t>(c + 1) : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c % 2 == 1) ? static_cast<wchar_t>(c + 1) : c;
    return c;
}

}  // namespace

std::wstring LCase(const std::wstring& text)
{
    std::wstring out(text);
    for (wchar_t& c : out) c = LowerChar(c);
    return out;
}

bool ContainsNoCase(const std::wstring& text, const std::wstring& part)
{
    return LCase(text).find(LCase(part)) != std::wstring::npos;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && LCase(a) == LCase(b);
}

std::wstring ReplaceNoCase(const std::wstring& text, const std::wstring& from,
                           const std::wstring& to)
{
    if (from.empty()) return text;
    // LCase keeps every character in place, so positions in the lower-cased
    // copy are positions in the original.
    const std::wstring lowerText = LCase(text);
    const std::wstring lowerFrom = LCase(from);
    std::wstring out;
    size_t start = 0;
    for (;;) {
        size_t hit = lowerText.find(lowerFrom, start);
        if (hit == std::wstring::npos) break;
        out.append(text, start, hit - start);
        out += to;
        start = hit + from.size();
    }
    out.append(text, start, std::wstring::npos);
    return out;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::wstring TrimNull(const std::wstring& text)
{
    size_t nul = text.find(L'\0');
    return nul == std::wstring::npos ? text : text.substr(0, nul);
}
