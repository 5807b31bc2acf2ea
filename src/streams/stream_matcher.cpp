// Placeholder until this module is built.
#include "streams/stream_matcher.h"
void CheckStream(const std::wstring&, int32_t) {}
