#pragma once

#include <cstdint>
#include <string>

// Examines one named stream ("file:name"); deletes, reports and counts a match.
void CheckStream(const std::wstring& streamPath, int32_t streamSize);
