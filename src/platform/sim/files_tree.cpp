#include "platform/sim/files_tree.h"

#include <algorithm>
#include <cctype>

#include "platform/sim/names.h"
#include "platform/sim/system_state.h"
#include "platform/win32.h"

namespace sim {
namespace files {
namespace {

constexpr DWORD kErrorBadNetPath = 53;
constexpr DWORD kErrorFilenameTooLong = 206;
constexpr DWORD kGenericRead = 0x80000000u, kGenericWrite = 0x40000000u;
constexpr DWORD kGenericExecute = 0x20000000u, kGenericAll = 0x10000000u;
constexpr DWORD kReadData = 0x0001, kWriteData = 0x0002, kAppendData = 0x0004;
constexpr DWORD kExecute = 0x0020, kDeleteRight = 0x00010000;

bool IsInvalidNameChar(unsigned char c, bool wildcardsAllowed)
{
    if (c < 0x20) return true;
    switch (c) {
    case '<': case '>': case '"': case '|': case ':': case '/': case '\\':
        return true;
    case '?': case '*':
        return !wildcardsAllowed;
    default:
        return false;
    }
}

// Win32 drops trailing dots and blanks of a path component ("notes.txt. " is "notes.txt").
std::string StripTrailingDotsAndBlanks(std::string name)
{
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return name;
}

bool ParseStreamPart(const std::string& part, ParsedPath& out)
{
    const size_t colon = part.find(':');
    std::string name = part.substr(0, colon);
    if (colon != std::string::npos) {
        if (!names::SameName(part.substr(colon + 1), "$DATA")) return false;
    } else if (name.empty()) {
        return false;
    }
    for (unsigned char c : name)
        if (IsInvalidNameChar(c, false)) return false;
    out.hasStream = !name.empty();
    out.stream = name;
    return true;
}

// The folder relative paths start from: the program's own folder, where
// Explorer starts it.
void CurrentFolder(char& drive, std::vector<std::string>& parts)
{
    const std::string program = names::FromAnsi(detail::ProgramPath());
    drive = 'C';
    parts.clear();
    if (program.size() < 3 || program[1] != ':') return;
    drive = static_cast<char>(std::toupper(static_cast<unsigned char>(program[0])));
    std::string part;
    for (size_t i = 3; i < program.size(); ++i) {
        if (program[i] == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += program[i];
        }
    }
}

// NTFS keeps short names to ASCII unless told otherwise: every other
// character is no character of a short name.
bool CharFitsShortName(char32_t c)
{
    if (c <= ' ' || c >= 0x7F || IsInvalidNameChar(static_cast<unsigned char>(c), false)) return false;
    return std::string("+,;=[].").find(static_cast<char>(c)) == std::string::npos;
}

std::string ShortNamePart(const std::string& text, size_t limit)
{
    std::string out;
    for (size_t at = 0; at < text.size() && out.size() < limit;) {
        const char32_t c = names::Next(text, at);
        if (c == ' ' || c == '.') continue;
        out += CharFitsShortName(c) ? static_cast<char>(c) : '_';
    }
    return names::Fold(out);
}

bool NameTaken(const Node& folder, const std::string& candidate)
{
    for (const NodePtr& child : folder.children)
        if (names::SameName(child->name, candidate) || names::SameName(child->shortName, candidate))
            return true;
    return false;
}

}  // namespace

State& TheState()
{
    static State* state = [] {
        auto* fresh = new State;  // lives until the process ends; open handles may outlive statics
        return fresh;
    }();
    static bool initialised = false;
    if (!initialised) {
        initialised = true;
        ResetState();
    }
    return *state;
}

namespace {
ParsedPath NoPath()
{
    ParsedPath p;
    p.error = ERROR_PATH_NOT_FOUND;
    return p;
}
}  // namespace

ParsedPath ParseAnsiPath(LPCSTR path, bool pattern)
{
    return path != nullptr ? ParsePath(names::FromAnsi(path), pattern) : NoPath();
}

ParsedPath ParseWidePath(LPCWSTR path, bool pattern)
{
    return path != nullptr ? ParsePath(names::FromWide(path), pattern) : NoPath();
}

ParsedPath ParsePath(const std::string& raw, bool pattern)
{
    ParsedPath p;
    std::string s = raw;
    std::replace(s.begin(), s.end(), '/', '\\');
    if (s.empty()) {
        p.error = ERROR_PATH_NOT_FOUND;
        return p;
    }
    if (s.size() >= MAX_PATH && names::Length(s) >= MAX_PATH) {
        p.error = kErrorFilenameTooLong;
        return p;
    }
    if (s.rfind("\\\\?\\", 0) == 0) {
        s = s.substr(4);
    } else if (s.rfind("\\\\", 0) == 0) {
        p.error = kErrorBadNetPath;
        return p;
    }
    std::string rest;
    char cwdDrive;
    std::vector<std::string> cwdParts;
    CurrentFolder(cwdDrive, cwdParts);
    if (s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) {
        p.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
        rest = s.substr(2);
        if ((rest.empty() || rest[0] != '\\') && p.drive == cwdDrive) p.parts = cwdParts;
    } else if (s[0] == '\\') {
        p.drive = cwdDrive;
        rest = s;
    } else {
        p.drive = cwdDrive;
        p.parts = cwdParts;
        rest = s;
    }
    p.driveSpelling = s.size() >= 2 && s[1] == ':' ? s[0] : p.drive;

    std::vector<std::string> components;
    std::string part;
    for (char c : rest) {
        if (c == '\\') {
            if (!part.empty()) components.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) components.push_back(part);
    p.trailingSeparator = !rest.empty() && rest.back() == '\\' && !components.empty();

    for (size_t i = 0; i < components.size(); ++i) {
        const bool last = i + 1 == components.size();
        std::string name = components[i];
        if (name == ".") continue;
        if (name == "..") {
            if (!p.parts.empty()) p.parts.pop_back();
            continue;
        }
        const size_t colon = name.find(':');
        if (colon != std::string::npos) {
            if (!last || colon == 0 || !ParseStreamPart(name.substr(colon + 1), p)) {
                p.error = ERROR_INVALID_NAME;
                return p;
            }
            name = name.substr(0, colon);
        }
        const bool wildcards = pattern && last;
        if (!wildcards) name = StripTrailingDotsAndBlanks(name);
        if (name.empty()) continue;
        for (unsigned char c : name) {
            if (IsInvalidNameChar(c, wildcards)) {
                p.error = ERROR_INVALID_NAME;
                return p;
            }
        }
        p.parts.push_back(name);
    }
    return p;
}

Drive* FindDrive(char letter)
{
    auto& drives = TheState().drives;
    auto found = drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    return found == drives.end() ? nullptr : &found->second;
}

bool HasNamedStreams(char letter)
{
    const Drive* drive = FindDrive(letter);
    return drive != nullptr && (drive->volume.flags & FILE_NAMED_STREAMS) != 0;
}

bool IsFat(char letter)
{
    const Drive* drive = FindDrive(letter);
    return drive != nullptr && detail::FoldName(drive->volume.fileSystem).rfind("FAT", 0) == 0;
}

NodePtr FindChild(const Node& folder, const std::string& name)
{
    for (const NodePtr& child : folder.children)
        if (names::SameName(child->name, name) ||
            (!child->shortName.empty() && names::SameName(child->shortName, name)))
            return child;
    return nullptr;
}

NodePtr Walk(const ParsedPath& path, size_t count, DWORD* error)
{
    Drive* drive = FindDrive(path.drive);
    if (drive == nullptr) {
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    NodePtr node = drive->root;
    for (size_t i = 0; i < count; ++i) {
        NodePtr child = node->folder ? FindChild(*node, path.parts[i]) : nullptr;
        if (child == nullptr) {
            *error = i + 1 == path.parts.size() && node->folder ? ERROR_FILE_NOT_FOUND
                                                                 : ERROR_PATH_NOT_FOUND;
            return nullptr;
        }
        node = child;
    }
    return node;
}

NodePtr Resolve(const ParsedPath& path, DWORD* error)
{
    NodePtr node = Walk(path, path.parts.size(), error);
    if (node != nullptr && path.trailingSeparator && !node->folder) {
        *error = ERROR_INVALID_NAME;
        return nullptr;
    }
    return node;
}

NodePtr ResolveFolderOf(const ParsedPath& path, DWORD* error)
{
    if (path.parts.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    NodePtr folder = Walk(path, path.parts.size() - 1, error);
    if (folder != nullptr && !folder->folder) {
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    if (folder == nullptr) *error = ERROR_PATH_NOT_FOUND;
    return folder;
}

// NTFS keeps a folder's index sorted by upper-cased name; FAT lists entries
// in the order they were made.
std::vector<NodePtr> Listing(const Node& folder)
{
    std::vector<NodePtr> entries = folder.children;
    if (!IsFat(folder.drive)) {
        std::stable_sort(entries.begin(), entries.end(), [](const NodePtr& a, const NodePtr& b) {
            return names::UpperLess(a->name, b->name);
        });
    }
    return entries;
}

std::shared_ptr<Stream> FindStream(const Node& file, const std::string& name)
{
    for (const auto& stream : file.streams)
        if (names::SameName(stream->name, name)) return stream;
    return nullptr;
}

bool FitsShortName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..") return false;
    const size_t dot = name.find('.');
    if (dot != name.rfind('.')) return false;
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
    if (dot != std::string::npos && ext.empty()) return false;
    for (unsigned char c : base + ext)
        if (!CharFitsShortName(c)) return false;
    return true;
}

bool IsValidLongName(const std::string& name)
{
    if (name.empty() || names::Length(name) > 255) return false;
    for (unsigned char c : name)
        if (IsInvalidNameChar(c, false)) return false;
    return true;
}

// The NTFS scheme: the first six usable characters, "~" and a number, and
// the first three characters of the last extension ("Program Files" is
// PROGRA~1, "Local Settings" LOCALS~1).
std::string MakeShortName(const Node& folder, const std::string& longName)
{
    if (FitsShortName(longName)) return "";
    std::string trimmed = longName;
    trimmed.erase(0, trimmed.find_first_not_of('.'));
    const size_t dot = trimmed.rfind('.');
    std::string base = ShortNamePart(dot == std::string::npos ? trimmed : trimmed.substr(0, dot), 8);
    const std::string ext = dot == std::string::npos ? "" : ShortNamePart(trimmed.substr(dot + 1), 3);
    if (base.empty()) base = "_";
    for (unsigned number = 1;; ++number) {
        const std::string tail = "~" + std::to_string(number);
        std::string candidate = base.substr(0, std::min<size_t>(base.size(), 8 - tail.size())) + tail;
        if (!ext.empty()) candidate += "." + ext;
        if (!NameTaken(folder, candidate)) return candidate;
    }
}

NodePtr AddChild(const NodePtr& folder, const std::string& name, bool isFolder)
{
    auto node = std::make_shared<Node>();
    node->name = name;
    const Drive* drive = FindDrive(folder->drive);
    if (drive == nullptr || drive->volume.shortNames) node->shortName = MakeShortName(*folder, name);
    node->folder = isFolder;
    node->parent = folder;
    node->drive = folder->drive;
    folder->children.push_back(node);
    return node;
}

void Detach(const NodePtr& node)
{
    NodePtr parent = node->parent.lock();
    if (parent == nullptr) return;
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
    node->parent.reset();
}

namespace {
std::string JoinedPath(const Node& node, bool shortForm)
{
    std::vector<std::string> names;
    for (const Node* at = &node; at != nullptr;) {
        NodePtr parent = at->parent.lock();
        if (parent == nullptr) break;
        names.push_back(shortForm && !at->shortName.empty() ? at->shortName : at->name);
        at = parent.get();
    }
    std::string path = std::string(1, node.drive) + ":\\";
    for (size_t i = names.size(); i-- > 0;) {
        path += names[i];
        if (i != 0) path += '\\';
    }
    return path;
}
}  // namespace

std::string LongPath(const Node& node) { return JoinedPath(node, false); }
std::string ShortPathOf(const Node& node) { return JoinedPath(node, true); }

bool InReadOnlyFolder(const Node& folder)
{
    for (const Node* at = &folder; at != nullptr;) {
        if (at->readOnlyFolder) return true;
        NodePtr parent = at->parent.lock();
        at = parent.get();
    }
    return false;
}

DWORD ReportedAttributes(const Node& node)
{
    if (node.folder)
        return FILE_ATTRIBUTE_DIRECTORY | node.attributes | (node.reparsePoint ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    return node.attributes != 0 ? node.attributes : FILE_ATTRIBUTE_NORMAL;
}

uint64_t ReportedSize(const Node& node)
{
    if (node.folder) return 0;
    return node.reportedSize.value_or(node.data.size());
}

DWORD DataRights(DWORD access)
{
    DWORD rights = 0;
    if (access & (kGenericRead | kGenericExecute | kGenericAll | kReadData | kExecute)) rights |= kRead;
    if (access & (kGenericWrite | kGenericAll | kWriteData | kAppendData)) rights |= kWrite;
    if (access & (kGenericAll | kDeleteRight)) rights |= kDelete;
    return rights;
}

namespace {
bool Conflicts(const Opening& present, DWORD rights, DWORD share)
{
    const DWORD presentRights = DataRights(present.access);
    if (presentRights == 0) return false;
    if ((rights & kRead) && !(present.share & FILE_SHARE_READ)) return true;
    if ((rights & kWrite) && !(present.share & FILE_SHARE_WRITE)) return true;
    if ((rights & kDelete) && !(present.share & FILE_SHARE_DELETE)) return true;
    if ((presentRights & kRead) && !(share & FILE_SHARE_READ)) return true;
    if ((presentRights & kWrite) && !(share & FILE_SHARE_WRITE)) return true;
    if ((presentRights & kDelete) && !(share & FILE_SHARE_DELETE)) return true;
    return false;
}
}  // namespace

bool SharingConflict(const Node& node, const Stream* stream, DWORD access, DWORD share)
{
    const DWORD rights = DataRights(access);
    if (rights == 0) return false;
    for (const Opening& present : stream != nullptr ? stream->openings : node.openings)
        if (Conflicts(present, rights, share)) return true;
    // Deleting the file takes its named streams with it.
    if (stream == nullptr && (rights & kDelete)) {
        for (const auto& named : node.streams)
            for (const Opening& present : named->openings)
                if (DataRights(present.access) != 0 && !(present.share & FILE_SHARE_DELETE)) return true;
    }
    return false;
}

uint64_t AddOpening(Node& node, Stream* stream, DWORD processId, DWORD access, DWORD share)
{
    Opening opening;
    opening.id = TheState().nextOpeningId++;
    opening.processId = processId;
    opening.access = access;
    opening.share = share;
    (stream != nullptr ? stream->openings : node.openings).push_back(opening);
    return opening.id;
}

void RemoveOpening(const NodePtr& node, const std::shared_ptr<Stream>& stream, uint64_t id)
{
    auto& list = stream != nullptr ? stream->openings : node->openings;
    list.erase(std::remove_if(list.begin(), list.end(), [id](const Opening& o) { return o.id == id; }),
               list.end());
    FinishPendingDelete(node, stream);
}

void FinishPendingDelete(const NodePtr& node, const std::shared_ptr<Stream>& stream)
{
    if (stream != nullptr && stream->deletePending && stream->openings.empty()) {
        auto& streams = node->streams;
        streams.erase(std::remove(streams.begin(), streams.end(), stream), streams.end());
    }
    if (!node->deletePending || !node->openings.empty()) return;
    for (const auto& named : node->streams)
        if (!named->openings.empty()) return;
    Detach(node);
}

std::string FailWriteKey(const std::string& path)
{
    ParsedPath p = ParsePath(path);
    if (p.error != 0 || p.parts.empty()) return names::Fold(path);
    std::string key;
    DWORD error = 0;
    if (NodePtr node = Resolve(p, &error)) {
        key = LongPath(*node);
    } else if (NodePtr folder = ResolveFolderOf(p, &error)) {
        key = LongPath(*folder);
        if (key.back() != '\\') key += '\\';
        key += p.parts.back();
    } else {
        key = path;
    }
    if (p.hasStream) key += ":" + p.stream;
    return names::Fold(key);
}

void ResetState()
{
    State& state = TheState();
    state.drives.clear();
    state.pendingDeletes.clear();
    state.refuseRestartDeletions = false;
    state.failWrites.clear();
    state.heldNodes.clear();

    Drive c;
    c.volume = Ntfs("C:\\");
    c.root = std::make_shared<Node>();
    c.root->folder = true;
    c.root->drive = 'C';
    state.drives['C'] = c;

    auto folder = [](const NodePtr& parent, const std::string& name) {
        return AddChild(parent, name, true);
    };
    // Made in this order so that the short names come out as on a fresh XP.
    NodePtr documents = folder(c.root, "Documents and Settings");
    folder(folder(folder(documents, "Owner"), "Local Settings"), "Temp");
    NodePtr program = folder(folder(c.root, "Program Files"), "Grevlin");
    NodePtr exe = AddChild(program, "Grevlin.exe", false);
    exe->attributes = FILE_ATTRIBUTE_ARCHIVE;
    folder(folder(c.root, "WINDOWS"), "system32");
}

}  // namespace files
}  // namespace sim
