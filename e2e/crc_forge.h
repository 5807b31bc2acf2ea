// CRC-32 (the ZIP and PNG one) and the making of content with a chosen
// CRC-32: the sandbox, the tests and the benchmarks need files that the
// digest list recognises without shipping any real hijacker file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace forge {

uint32_t Crc32(const uint8_t* data, size_t length);
inline uint32_t Crc32(const std::vector<uint8_t>& data) { return Crc32(data.data(), data.size()); }
inline uint32_t Crc32(const std::string& data)
{
    return Crc32(reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

// Overwrites the last four bytes of `data` (at least four long) so that the
// whole has the CRC-32 `target`; every other byte stays as it was.
void ForceCrc32(uint8_t* data, size_t length, uint32_t target);
inline void ForceCrc32(std::vector<uint8_t>& data, uint32_t target)
{
    ForceCrc32(data.data(), data.size(), target);
}

// `body` followed by four bytes chosen so that the whole has the CRC-32 `target`.
std::string WithCrc32(std::string body, uint32_t target);

// The digest as the scanner writes it: upper-case hexadecimal, no leading zeros.
std::string CrcText(uint32_t digest);

// Parses that text form back; false when it is not 1 to 8 hexadecimal digits.
bool ParseCrcText(const std::string& text, uint32_t* digest);

}  // namespace forge
