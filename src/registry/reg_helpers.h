#pragma once

#include <string>

#include "platform/win32.h"

std::wstring RegReadString(HKEY root, const std::wstring& subKey, const std::wstring& valueName);
void RegWriteString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                    const std::wstring& text);
