#include "environment/file_identity.h"

#include "environment/paths.h"
#include "environment/text.h"

FileIdentity::FileIdentity(const std::wstring& path)
    : comparable_(ComparablePath(path)),
      longName_(FileNameOf(comparable_)),
      shortName_(LCase(FileNameOf(GetShortName(path))))
{
    if (!shortName_.empty() && !longName_.empty())
        shortComparable_ = comparable_.substr(0, comparable_.size() - longName_.size()) + shortName_;
}

bool FileIdentity::IsNamedBy(const std::wstring& path) const
{
    if (comparable_.empty() || path.empty()) return false;
    const std::wstring name = LCase(FileNameOf(path));
    if (name != longName_ && (shortName_.empty() || name != shortName_)) return false;
    const std::wstring comparable = ComparablePath(path);
    return comparable == comparable_ || (!shortComparable_.empty() && comparable == shortComparable_);
}
