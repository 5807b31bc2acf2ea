// Listing the entries directly inside one folder, by names the program can
// act on: an ANSI program is handed look-alikes of names that its code page
// cannot spell ("..＼victim.txt" comes back as "..\victim.txt"), and a
// look-alike opens, examines and deletes some other file.
#pragma once

#include <functional>
#include <string>

#include "platform/win32.h"

struct FolderEntry {
    // The name that reaches this very entry through the ANSI calls: its own
    // name when that has an exact ANSI form, else its 8.3 short name; empty
    // when it has neither, and then it cannot be examined at all.
    std::wstring name;
    // The entry's own name, for its extension and for reports only.
    std::wstring listedName;
    DWORD attributes = 0;

    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool IsDots() const { return listedName == L"." || listedName == L".."; }
};

// Visits every entry directly in `folder` (ending with a backslash), the first
// one included, in listing order. After each entry the next one is fetched and
// pending window messages are processed; `visit` returning false ends the walk
// at once. An empty folder visits nothing (the search would run in the current
// folder). The NT family lists Unicode names; the 9x family's own ANSI names
// are taken unless they hold a character that no file name may hold.
void ForEachFolderEntry(const std::wstring& folder,
                        const std::function<bool(const FolderEntry& entry)>& visit);
