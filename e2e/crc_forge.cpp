#include "crc_forge.h"

namespace forge {
namespace {

struct Tables {
    uint32_t forward[256];
    // The index of the forward entry whose top byte is n: the top bytes of
    // the 256 entries are all different, which is what makes the CRC
    // reversible one byte at a time.
    uint8_t byTopByte[256];
    Tables()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t entry = n;
            for (int bit = 0; bit < 8; ++bit) entry = (entry & 1) ? (entry >> 1) ^ 0xEDB88320u : entry >> 1;
            forward[n] = entry;
            byTopByte[entry >> 24] = static_cast<uint8_t>(n);
        }
    }
};

const Tables& Table()
{
    static const Tables tables;
    return tables;
}

uint32_t Update(uint32_t reg, const uint8_t* data, size_t length)
{
    const Tables& t = Table();
    for (size_t i = 0; i < length; ++i) reg = t.forward[(reg ^ data[i]) & 0xFF] ^ (reg >> 8);
    return reg;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t length)
{
    return Update(0xFFFFFFFFu, data, length) ^ 0xFFFFFFFFu;
}

void ForceCrc32(uint8_t* data, size_t length, uint32_t target)
{
    if (length < 4) return;
    const Tables& t = Table();
    const size_t head = length - 4;
    const uint32_t before = Update(0xFFFFFFFFu, data, head);
    // Walk the register back from the wanted final state over four steps.
    // Each step's table index is known from the top byte; what is left in
    // the low bytes is the register before the four bytes, XOR those bytes.
    uint32_t reg = target ^ 0xFFFFFFFFu;
    for (int step = 0; step < 4; ++step) {
        uint8_t index = t.byTopByte[reg >> 24];
        reg = ((reg ^ t.forward[index]) << 8) | index;
    }
    const uint32_t tail = reg ^ before;
    for (int i = 0; i < 4; ++i) data[head + i] = static_cast<uint8_t>(tail >> (8 * i));
}

std::string WithCrc32(std::string body, uint32_t target)
{
    body.append(4, '\0');
    ForceCrc32(reinterpret_cast<uint8_t*>(&body[0]), body.size(), target);
    return body;
}

std::string CrcText(uint32_t digest)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[digest & 0xF]);
        digest >>= 4;
    } while (digest != 0);
    return text;
}

bool ParseCrcText(const std::string& text, uint32_t* digest)
{
    if (text.empty() || text.size() > 8) return false;
    uint32_t value = 0;
    for (char c : text) {
        int nibble;
        if (c >= '0' && c <= '9') nibble = c - '0';
        else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        else return false;
        value = (value << 4) | static_cast<uint32_t>(nibble);
    }
    *digest = value;
    return true;
}

}  // namespace forge
