#pragma once

#include <functional>
#include <string>

#include "platform/win32.h"

// Reads one value as text; the empty text when the key or value is missing
// or its data is longer than 32 KiB. "(Default)" (exactly so) names the key's
// unnamed value.
std::wstring RegReadString(HKEY root, const std::wstring& subKey, const std::wstring& valueName);
// Stores a REG_SZ value in an existing key; a missing key is never created.
void RegWriteString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                    const std::wstring& text);

// Visits every subkey of root\path that exists when the pass starts, once each,
// pumping window messages after each one. `visit` gets the subkey's name and
// returns true when it deleted that subkey, so the entries after it have moved
// down one place. A missing key visits nothing; a subkey whose name comes
// back empty is passed over.
void VisitSubKeys(HKEY root, const std::wstring& path,
                  const std::function<bool(const std::wstring& name)>& visit);
