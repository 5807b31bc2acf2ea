// Names read from the disk or the registry that may be handed to the ANSI
// calls: an ANSI program is handed look-alikes of names its code page cannot
// spell, and a look-alike reaches some other file or key.
#pragma once

#include <string>

// Whether `name` converts to ANSI and back unchanged and holds none of the
// characters in `forbidden`, nor a NUL.
bool IsExactName(const std::wstring& name, const wchar_t* forbidden);
// What no file name may hold.
extern const wchar_t kNotInFileNames[];
