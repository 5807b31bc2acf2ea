// Telling whether a path names one particular file, however it is spelt:
// full or relative, long or 8.3 short form, any letter case.
#pragma once

#include <string>

class FileIdentity {
public:
    // Taken while the file exists, so that its long and short forms are known.
    explicit FileIdentity(const std::wstring& path);

    // Whether `path` (a process's image, a module, a command's argument)
    // names this very file. A look at the file name comes first, so that
    // only likely paths are resolved.
    bool IsNamedBy(const std::wstring& path) const;
    bool Known() const { return !comparable_.empty(); }

    // The lower-cased file names a path to this file may end with.
    const std::wstring& LongName() const { return longName_; }
    const std::wstring& ShortName() const { return shortName_; }

private:
    std::wstring comparable_;
    // The same in the folder's long form with the file's short name, which is
    // how a path in 8.3 form resolves once the file is gone.
    std::wstring shortComparable_;
    std::wstring longName_;
    std::wstring shortName_;
};
