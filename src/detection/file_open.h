#pragma once

#include <string>

#include "platform/win32.h"

// How the file stages open what they examine: for reading, sharing reading and
// writing, so that a file another program is writing can still be examined.
// INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE OpenForReading(const std::wstring& path);
