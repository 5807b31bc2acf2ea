// Placeholder until this module is built.
#include "detection/crc32.h"

uint32_t gCrcTable[256];
Boolean gCrcReady = kFalse;
void BuildCrcTable() {}
void CrcUpdate(uint32_t&, const uint8_t*, size_t) {}
std::wstring CrcText(uint32_t) { return {}; }
std::wstring FileCrc32(const std::wstring&, int32_t) { return {}; }
