// Placeholder until this module is built.
#include "streams/stream_enum.h"

void ScanFolderStreams(const std::wstring&) {}
void ScanFileStreams(const std::wstring&) {}
void WalkStreamList(const uint8_t*, size_t, const std::function<void(const std::wstring&, int32_t)>&) {}
