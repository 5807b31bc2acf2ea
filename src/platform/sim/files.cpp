// The file half of the simulated Windows: volumes, folders, files and their
// NTFS named streams, searches, share modes, and the machine controls tests
// use to arrange them.
#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/sim/files_tree.h"
#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/sim/names.h"
#include "platform/sim/system_state.h"
#include "platform/win32.h"

namespace sim {
namespace {

using files::NodePtr;
using files::ParsedPath;
using files::Node;
using files::Stream;

constexpr DWORD kErrorNotReady = 21;
constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorNoAccess = 998;
constexpr DWORD kErrorNegativeSeek = 131;
constexpr DWORD kErrorDiskFull = 112;
constexpr DWORD kErrorDirectory = 267;
constexpr DWORD kDeleteAccess = 0x00010000;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr NTSTATUS kStatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008);
constexpr NTSTATUS kStatusInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kStatusInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
constexpr NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022);
// 2006-07-30 12:00:00 UTC, the simulated clock's origin, as a FILETIME.
constexpr uint64_t kFileTime = (1154260800ULL + 11644473600ULL) * 10000000ULL;

void Fail(DWORD error) { detail::SetError(error); }

// _lopen hands out an HFILE, a 32-bit int, and GetFileSize((HANDLE)hfile)
// must find the same object again: file objects live below 2 GiB, as the
// small handle values of Windows do.
class LowArena {
public:
    static void* Allocate(size_t size)
    {
        if (size > kSlot) throw std::bad_alloc();
        if (freeList_ != nullptr) {
            void* slot = freeList_;
            freeList_ = *static_cast<void**>(slot);
            return slot;
        }
        if (base_ == nullptr) Map();
        if (used_ == kSlots) throw std::bad_alloc();
        return base_ + kSlot * used_++;
    }
    static void Free(void* slot)
    {
        *static_cast<void**>(slot) = freeList_;
        freeList_ = slot;
    }

private:
    static constexpr size_t kSlot = 128;
    static constexpr size_t kSlots = 16384;
    static void Map()
    {
#ifdef MAP_32BIT
        void* area = mmap(nullptr, kSlot * kSlots, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
#else
        void* area = mmap(reinterpret_cast<void*>(0x20000000), kSlot * kSlots, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
#endif
        if (area == MAP_FAILED || reinterpret_cast<uintptr_t>(area) + kSlot * kSlots > 0x7FFFFFFF)
            throw std::bad_alloc();
        base_ = static_cast<unsigned char*>(area);
    }
    static inline unsigned char* base_ = nullptr;
    static inline size_t used_ = 0;
    static inline void* freeList_ = nullptr;
};

struct FileHandle : KernelObject {
    NodePtr node;
    std::shared_ptr<Stream> stream;  // null: the unnamed data stream (or the folder)
    DWORD access = 0;
    uint64_t openingId = 0;
    uint64_t position = 0;

    const char* Kind() const override { return "file"; }
    ~FileHandle() override { files::RemoveOpening(node, stream, openingId); }

    std::string& Data() { return stream != nullptr ? stream->data : node->data; }
    uint64_t Size() const
    {
        return stream != nullptr ? stream->data.size() : files::ReportedSize(*node);
    }
    std::string Path() const
    {
        std::string path = files::LongPath(*node);
        if (stream != nullptr) path += ":" + stream->name;
        return path;
    }

    static void* operator new(size_t size) { return LowArena::Allocate(size); }
    static void operator delete(void* slot) { LowArena::Free(slot); }
};

// What a search found, written out as an A or a W record as it is fetched.
struct Found {
    DWORD attributes = 0;
    uint64_t size = 0;
    std::string name;
    std::string shortName;
};

struct FindHandle : KernelObject {
    std::vector<Found> entries;
    size_t next = 0;
    const char* Kind() const override { return "find"; }
};

FileHandle* LookupFile(HANDLE handle)
{
    return static_cast<FileHandle*>(LookupHandle(handle, "file"));
}

HANDLE NewFileHandle(const NodePtr& node, const std::shared_ptr<Stream>& stream, DWORD access,
                     DWORD share)
{
    auto* handle = new FileHandle;
    handle->node = node;
    handle->stream = stream;
    handle->access = access;
    handle->openingId = files::AddOpening(*node, stream.get(), 0, access, share);
    return RegisterHandle(handle);
}

DWORD NewFileAttributes(DWORD flags)
{
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;
    return (flags & kept) | FILE_ATTRIBUTE_ARCHIVE;
}

std::shared_ptr<Stream> AddNamedStream(Node& file, const std::string& name)
{
    auto stream = std::make_shared<Stream>();
    stream->name = name;
    auto at = std::find_if(file.streams.begin(), file.streams.end(),
                           [&](const auto& present) { return names::UpperLess(name, present->name); });
    file.streams.insert(at, stream);
    return stream;
}

// The file a path names, after a "vanished since the listing" arrangement
// has taken effect.
NodePtr ChildForOpen(const NodePtr& folder, const std::string& name)
{
    NodePtr node = files::FindChild(*folder, name);
    if (node != nullptr && node->vanishOnOpen) {
        files::Detach(node);
        return nullptr;
    }
    return node;
}

HANDLE OpenPath(const ParsedPath& p, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (p.error != 0) {
        Fail(p.error);
        return INVALID_HANDLE_VALUE;
    }
    if (p.hasStream && !files::HasNamedStreams(p.drive)) {
        Fail(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    const bool backup = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    if (p.parts.empty()) {
        files::Drive* drive = files::FindDrive(p.drive);
        if (drive == nullptr) {
            Fail(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        if (!backup || p.hasStream || disposition != OPEN_EXISTING) {
            Fail(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        Fail(0);
        return NewFileHandle(drive->root, nullptr, access, share);
    }
    DWORD error = 0;
    NodePtr folder = files::ResolveFolderOf(p, &error);
    if (folder == nullptr) {
        Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    NodePtr node = ChildForOpen(folder, p.parts.back());
    const DWORD rights = files::DataRights(access);
    const bool rewrites = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    const bool writes = (rights & files::kWrite) != 0 || rewrites;

    if (node == nullptr) {
        if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
            Fail(p.trailingSeparator ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        if (p.trailingSeparator || !files::IsValidLongName(p.parts.back())) {
            Fail(ERROR_INVALID_NAME);
            return INVALID_HANDLE_VALUE;
        }
        if (files::InReadOnlyFolder(*folder)) {
            Fail(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        node = files::AddChild(folder, p.parts.back(), false);
        node->attributes = NewFileAttributes(flags);
        std::shared_ptr<Stream> stream = p.hasStream ? AddNamedStream(*node, p.stream) : nullptr;
        Fail(0);
        return NewFileHandle(node, stream, access, share);
    }

    if (node->folder) {
        if (disposition == CREATE_NEW) {
            Fail(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        if (!backup || p.hasStream || rewrites) {
            Fail(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (files::SharingConflict(*node, nullptr, access, share)) {
            Fail(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
        Fail(disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : 0);
        return NewFileHandle(node, nullptr, access, share);
    }
    if (p.trailingSeparator) {
        Fail(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if (node->deletePending) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<Stream> stream = p.hasStream ? files::FindStream(*node, p.stream) : nullptr;
    const bool exists = !p.hasStream || stream != nullptr;
    if (stream != nullptr && stream->deletePending) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (exists && disposition == CREATE_NEW) {
        Fail(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // Creating a stream writes to its file as much as writing data does.
    if ((writes || !exists) &&
        ((node->attributes & FILE_ATTRIBUTE_READONLY) || files::InReadOnlyFolder(*folder))) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (exists && !p.hasStream && disposition == CREATE_ALWAYS) {
        const DWORD guarded = node->attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if ((flags & guarded) != guarded) {
            Fail(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (exists && files::SharingConflict(*node, stream.get(), access, share)) {
        Fail(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    if (!exists) {
        stream = AddNamedStream(*node, p.stream);
    } else if (rewrites) {
        if (stream != nullptr) {
            stream->data.clear();
        } else {
            node->data.clear();
            node->reportedSize.reset();
            if (disposition == CREATE_ALWAYS) node->attributes = NewFileAttributes(flags);
        }
    }
    Fail(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                 : 0);
    return NewFileHandle(node, stream, access, share);
}

Found FindEntry(const Node& node, const std::string& name)
{
    Found entry;
    entry.attributes = files::ReportedAttributes(node);
    entry.size = files::ReportedSize(node);
    entry.name = name;
    if (name != "." && name != "..") entry.shortName = node.shortName;
    return entry;
}

// Copies text into a fixed field, cut to leave room for its NUL.
template <typename Char, size_t N>
void CopyField(const std::basic_string<Char>& text, Char (&field)[N])
{
    const size_t n = std::min(text.size(), N - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), field);
    field[n] = 0;
}

// The record of either kind: names in code page 1252 (best fit) or UTF-16.
template <typename Record>
void WriteRecord(const Found& entry, Record& data)
{
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = entry.attributes;
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) data.dwReserved0 = IO_REPARSE_TAG_MOUNT_POINT;
    for (FILETIME* time : {&data.ftCreationTime, &data.ftLastAccessTime, &data.ftLastWriteTime}) {
        time->dwLowDateTime = static_cast<DWORD>(kFileTime);
        time->dwHighDateTime = static_cast<DWORD>(kFileTime >> 32);
    }
    data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(entry.size);
    CopyField(names::ForCall(entry.name, data.cFileName), data.cFileName);
    CopyField(names::ForCall(entry.shortName, data.cAlternateFileName), data.cAlternateFileName);
}

bool GlobMatch(const char32_t* pattern, const char32_t* name)
{
    for (; *pattern != '\0'; ++pattern, ++name) {
        if (*pattern == '*') {
            while (pattern[1] == '*') ++pattern;
            for (const char32_t* rest = name;; ++rest) {
                if (GlobMatch(pattern + 1, rest)) return true;
                if (*rest == '\0') return false;
            }
        }
        if (*name == '\0') return false;
        if (*pattern != '?' && *pattern != *name) return false;
    }
    return *name == '\0';
}

// Upper-cased characters, so that "?" stands for one character, not one byte.
std::u32string FoldedCharacters(const std::string& name)
{
    std::u32string out;
    for (size_t at = 0; at < name.size();) out += names::UpperCase(names::Next(name, at));
    return out;
}

// DOS wildcard rules: "*.*" is everything, "name.*" also finds "name", and
// "*." finds the names without an extension.
bool WildcardMatch(const std::string& pattern, const std::string& name)
{
    if (pattern == "*" || pattern == "*.*") return true;
    const std::u32string p = FoldedCharacters(pattern);
    const std::u32string n = FoldedCharacters(name);
    if (GlobMatch(p.c_str(), n.c_str())) return true;
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, U".*") == 0 &&
        GlobMatch(p.substr(0, p.size() - 2).c_str(), n.c_str()))
        return true;
    if (!p.empty() && p.back() == '.' && n.find('.') == std::u32string::npos &&
        GlobMatch(p.substr(0, p.size() - 1).c_str(), n.c_str()))
        return true;
    return false;
}

bool HasWildcards(const std::string& name)
{
    return name.find_first_of("*?") != std::string::npos;
}

void CopyOut(const std::string& text, LPSTR buffer, DWORD size)
{
    if (buffer != nullptr && size > 0) {
        const size_t n = std::min<size_t>(text.size(), size - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
}

// A path handed back in the caller's buffer: its length without the NUL
// when it fits, else the size needed with the NUL and nothing written.
template <typename Char>
DWORD DeliverPath(const std::basic_string<Char>& path, Char* buffer, DWORD size)
{
    if (buffer == nullptr || size <= path.size()) return static_cast<DWORD>(path.size() + 1);
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = 0;
    return static_cast<DWORD>(path.size());
}

// Test arrangement errors are the test's own bug: say so loudly.
ParsedPath MachinePath(const std::string& path)
{
    ParsedPath p = files::ParsePath(path);
    if (p.error != 0) throw std::invalid_argument("not a usable Windows path: " + path);
    return p;
}

NodePtr MachineNode(const std::string& path)
{
    ParsedPath p = files::ParsePath(path);
    if (p.error != 0) return nullptr;
    DWORD error = 0;
    return files::Resolve(p, &error);
}

NodePtr EnsureFolder(const ParsedPath& p, size_t count)
{
    // A test that names another drive gets it as a fresh NTFS volume.
    if (files::FindDrive(p.drive) == nullptr) SetVolume(Ntfs(std::string(1, p.drive) + ":\\"));
    NodePtr node = files::FindDrive(p.drive)->root;
    for (size_t i = 0; i < count; ++i) {
        NodePtr child = files::FindChild(*node, p.parts[i]);
        if (child == nullptr) child = files::AddChild(node, p.parts[i], true);
        if (!child->folder) throw std::invalid_argument("a file stands where a folder is wanted: " + p.parts[i]);
        node = child;
    }
    return node;
}

NodePtr EnsureFile(const std::string& path)
{
    ParsedPath p = MachinePath(path);
    if (p.parts.empty()) throw std::invalid_argument("a drive root is not a file");
    NodePtr folder = EnsureFolder(p, p.parts.size() - 1);
    NodePtr node = files::FindChild(*folder, p.parts.back());
    if (node == nullptr) {
        node = files::AddChild(folder, p.parts.back(), false);
        node->attributes = FILE_ATTRIBUTE_ARCHIVE;
    }
    if (node->folder) throw std::invalid_argument("a folder stands where a file is wanted: " + path);
    return node;
}

}  // namespace

// ---- Volumes -----------------------------------------------------------------
Volume Ntfs(const std::string& root)
{
    Volume volume;
    volume.root = root;
    return volume;
}

Volume Fat32(const std::string& root)
{
    Volume volume;
    volume.root = root;
    volume.fileSystem = "FAT32";
    volume.flags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
    return volume;
}

void SetVolume(const Volume& volume)
{
    if (volume.root.size() < 2 || volume.root[1] != ':') throw std::invalid_argument("volume root like C:\\");
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(volume.root[0])));
    files::Drive& drive = files::TheState().drives[letter];
    drive.volume = volume;
    if (drive.root == nullptr) {
        drive.root = std::make_shared<files::Node>();
        drive.root->folder = true;
        drive.root->drive = letter;
    }
}

// ---- Files, folders, streams -----------------------------------------------------
// The control API names paths in code page 1252 or as wide strings; both
// forms come here as UTF-8.
namespace {

void AddFolderAt(const std::string& path)
{
    ParsedPath p = MachinePath(path);
    EnsureFolder(p, p.parts.size());
}

void AddFileAt(const std::string& path, const std::string& contents, DWORD attributes)
{
    NodePtr node = EnsureFile(path);
    node->data = contents;
    node->attributes = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : attributes;
}

bool FileAt(const std::string& path)
{
    ParsedPath p = files::ParsePath(path);
    NodePtr node = MachineNode(path);
    if (node == nullptr || node->folder) return false;
    return !p.hasStream || files::FindStream(*node, p.stream) != nullptr;
}

bool FolderAt(const std::string& path)
{
    NodePtr node = MachineNode(path);
    return node != nullptr && node->folder && !files::ParsePath(path).hasStream;
}

std::string ContentsAt(const std::string& path)
{
    ParsedPath p = files::ParsePath(path);
    NodePtr node = MachineNode(path);
    if (node == nullptr || node->folder) return "";
    if (!p.hasStream) return node->data;
    std::shared_ptr<Stream> stream = files::FindStream(*node, p.stream);
    return stream != nullptr ? stream->data : "";
}

std::vector<std::string> EntriesOf(const std::string& folder)
{
    std::vector<std::string> names;
    NodePtr node = MachineNode(folder);
    if (node == nullptr || !node->folder) return names;
    for (const NodePtr& entry : files::Listing(*node)) names.push_back(entry->name);
    return names;
}

std::string ShortPathAt(const std::string& path)
{
    NodePtr node = MachineNode(path);
    return node != nullptr ? files::ShortPathOf(*node) : "";
}

void MarkReparsePoint(const std::string& folder, bool reparsePoint)
{
    NodePtr node = MachineNode(folder);
    if (node == nullptr || !node->folder) throw std::invalid_argument("no such folder: " + folder);
    node->reparsePoint = reparsePoint;
}

// A process that has the file open, as a running program has its own image:
// it reads and writes, and shares as `shareMode` says.
void HoldFileAt(DWORD processId, const std::string& path, DWORD shareMode)
{
    ParsedPath p = MachinePath(path);
    NodePtr node = MachineNode(path);
    if (node == nullptr) throw std::invalid_argument("no such file to hold: " + path);
    std::shared_ptr<Stream> stream = p.hasStream ? files::FindStream(*node, p.stream) : nullptr;
    if (p.hasStream && stream == nullptr) throw std::invalid_argument("no such stream to hold: " + path);
    files::AddOpening(*node, stream.get(), processId, GENERIC_READ | GENERIC_WRITE, shareMode);
    files::TheState().heldNodes.push_back(node);
}

// Files arranged by a test: it names them in code page 1252.
NodePtr ArrangedFile(const std::string& ansiPath)
{
    NodePtr node = MachineNode(names::FromAnsi(ansiPath));
    if (node == nullptr || node->folder) throw std::invalid_argument("no such file: " + ansiPath);
    return node;
}

}  // namespace

void ResetFiles() { files::ResetState(); }

void AddFolder(const std::string& path) { AddFolderAt(names::FromAnsi(path)); }
void AddFolder(const std::wstring& path) { AddFolderAt(names::FromWstring(path)); }

void AddFile(const std::string& path, const std::string& contents, DWORD attributes)
{
    AddFileAt(names::FromAnsi(path), contents, attributes);
}

void AddFile(const std::wstring& path, const std::string& contents, DWORD attributes)
{
    AddFileAt(names::FromWstring(path), contents, attributes);
}

void AddStream(const std::string& filePath, const std::string& streamName, const std::string& contents)
{
    NodePtr node = EnsureFile(names::FromAnsi(filePath));
    std::string name = names::FromAnsi(streamName);
    if (!name.empty() && name[0] == ':') name.erase(0, 1);
    if (const size_t colon = name.find(':'); colon != std::string::npos) name.erase(colon);
    if (name.empty()) throw std::invalid_argument("a named stream needs a name");
    std::shared_ptr<Stream> stream = files::FindStream(*node, name);
    if (stream == nullptr) stream = AddNamedStream(*node, name);
    stream->data = contents;
}

bool FileExists(const std::string& path) { return FileAt(names::FromAnsi(path)); }
bool FileExists(const std::wstring& path) { return FileAt(names::FromWstring(path)); }
bool FolderExists(const std::string& path) { return FolderAt(names::FromAnsi(path)); }
bool FolderExists(const std::wstring& path) { return FolderAt(names::FromWstring(path)); }
std::string FileContents(const std::string& path) { return ContentsAt(names::FromAnsi(path)); }
std::string FileContents(const std::wstring& path) { return ContentsAt(names::FromWstring(path)); }

DWORD Attributes(const std::string& path)
{
    NodePtr node = MachineNode(names::FromAnsi(path));
    return node != nullptr ? files::ReportedAttributes(*node) : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> StreamNames(const std::string& filePath)
{
    std::vector<std::string> names;
    if (NodePtr node = MachineNode(names::FromAnsi(filePath)))
        for (const auto& stream : node->streams) names.push_back(names::ToAnsi(stream->name));
    return names;
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> listed;
    for (const std::string& name : EntriesOf(names::FromAnsi(folder))) listed.push_back(names::ToAnsi(name));
    return listed;
}

std::vector<std::wstring> ListFolder(const std::wstring& folder)
{
    std::vector<std::wstring> listed;
    for (const std::string& name : EntriesOf(names::FromWstring(folder))) listed.push_back(names::ToWstring(name));
    return listed;
}

std::string ShortPath(const std::string& path) { return names::ToAnsi(ShortPathAt(names::FromAnsi(path))); }
std::wstring ShortPath(const std::wstring& path) { return names::ToWstring(ShortPathAt(names::FromWstring(path))); }

void SetReparsePoint(const std::string& folder, bool reparsePoint)
{
    MarkReparsePoint(names::FromAnsi(folder), reparsePoint);
}

void SetReparsePoint(const std::wstring& folder, bool reparsePoint)
{
    MarkReparsePoint(names::FromWstring(folder), reparsePoint);
}

void SetReportedSize(const std::string& path, uint64_t size) { ArrangedFile(path)->reportedSize = size; }
void VanishOnOpen(const std::string& path) { ArrangedFile(path)->vanishOnOpen = true; }

void SetStreamListBytes(const std::string& filePath, const std::string& bytes)
{
    NodePtr node = MachineNode(names::FromAnsi(filePath));
    if (node == nullptr) throw std::invalid_argument("no such file: " + filePath);
    node->streamListBytes = bytes;
}

void FailStreamQuery(const std::string& filePath)
{
    NodePtr node = MachineNode(names::FromAnsi(filePath));
    if (node == nullptr) throw std::invalid_argument("no such file: " + filePath);
    node->failStreamQuery = true;
}

void SetFolderReadOnly(const std::string& folder, bool readOnly)
{
    ParsedPath p = MachinePath(names::FromAnsi(folder));
    EnsureFolder(p, p.parts.size())->readOnlyFolder = readOnly;
}

void FailWriteAfter(const std::string& path, size_t bytesBeforeFailure)
{
    files::TheState().failWrites[files::FailWriteKey(names::FromAnsi(path))] = bytesBeforeFailure;
}

void HoldFile(DWORD processId, const std::string& path, DWORD shareMode)
{
    HoldFileAt(processId, names::FromAnsi(path), shareMode);
}

void HoldFile(DWORD processId, const std::wstring& path, DWORD shareMode)
{
    HoldFileAt(processId, names::FromWstring(path), shareMode);
}

void ReleaseFilesHeldBy(DWORD processId)
{
    auto& held = files::TheState().heldNodes;
    const std::vector<std::weak_ptr<files::Node>> nodes = held;
    held.clear();
    auto heldBy = [processId](const files::Opening& o) { return o.processId == processId; };
    for (const auto& weak : nodes) {
        NodePtr node = weak.lock();
        if (node == nullptr) continue;
        auto& own = node->openings;
        own.erase(std::remove_if(own.begin(), own.end(), heldBy), own.end());
        const auto streams = node->streams;
        for (const auto& stream : streams) {
            stream->openings.erase(
                std::remove_if(stream->openings.begin(), stream->openings.end(), heldBy),
                stream->openings.end());
            files::FinishPendingDelete(node, stream);
        }
        files::FinishPendingDelete(node, nullptr);
        bool stillHeld = std::any_of(own.begin(), own.end(), [](const auto& o) { return o.processId != 0; });
        for (const auto& stream : node->streams)
            stillHeld = stillHeld || std::any_of(stream->openings.begin(), stream->openings.end(),
                                                 [](const auto& o) { return o.processId != 0; });
        if (stillHeld) held.push_back(node);
    }
}

std::vector<std::string> PendingDeletes() { return files::TheState().pendingDeletes; }
void RefuseRestartDeletions(bool refuse) { files::TheState().refuseRestartDeletions = refuse; }

// FileStreamInformation (class 22): "::$DATA" first, then ":name:$DATA" for
// each named stream, each record 8-byte aligned.
LONG NtQueryInformationFileSim(HANDLE file, PVOID ioStatusBlock, PVOID buffer, ULONG length,
                               ULONG informationClass)
{
    auto* status = static_cast<IO_STATUS_BLOCK*>(ioStatusBlock);
    auto finish = [status](NTSTATUS code, ULONG_PTR written) {
        if (status != nullptr) {
            status->Status = code;
            status->Information = written;
        }
        return code;
    };
    FileHandle* handle = LookupFile(file);
    if (handle == nullptr) return finish(kStatusInvalidHandle, 0);
    if (informationClass != kFileStreamInformation) return finish(kStatusInvalidInfoClass, 0);
    const files::Node& node = *handle->node;
    if (!files::HasNamedStreams(node.drive)) return finish(STATUS_INVALID_PARAMETER, 0);
    if (node.failStreamQuery) return finish(kStatusAccessDenied, 0);
    if (length < offsetof(FILE_STREAM_INFORMATION, StreamName)) return finish(kStatusInfoLengthMismatch, 0);
    auto* out = static_cast<unsigned char*>(buffer);
    if (node.streamListBytes) {
        const std::string& forged = *node.streamListBytes;
        const size_t n = std::min<size_t>(forged.size(), length);
        std::memcpy(out, forged.data(), n);
        return finish(n < forged.size() ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS, n);
    }

    struct Entry {
        std::basic_string<WCHAR> name;
        uint64_t size;
    };
    std::vector<Entry> entries;
    if (!node.folder) entries.push_back({names::ToWide("::$DATA"), files::ReportedSize(node)});
    for (const auto& stream : node.streams)
        entries.push_back({names::ToWide(":" + stream->name + ":$DATA"), stream->data.size()});

    const size_t fixed = offsetof(FILE_STREAM_INFORMATION, StreamName);
    size_t used = 0;
    size_t previous = SIZE_MAX;
    for (const Entry& entry : entries) {
        const size_t start = (used + 7) & ~size_t{7};
        const size_t bytes = entry.name.size() * sizeof(WCHAR);
        if (start + fixed + bytes > length) {
            return finish(STATUS_BUFFER_OVERFLOW, used);
        }
        FILE_STREAM_INFORMATION record;
        std::memset(&record, 0, sizeof record);
        record.StreamNameLength = static_cast<ULONG>(bytes);
        record.StreamSize.QuadPart = static_cast<LONGLONG>(entry.size);
        record.StreamAllocationSize.QuadPart = static_cast<LONGLONG>((entry.size + 4095) & ~uint64_t{4095});
        std::memset(out + used, 0, start - used);
        std::memcpy(out + start, &record, fixed);
        std::memcpy(out + start + fixed, entry.name.data(), bytes);
        if (previous != SIZE_MAX) {
            const ULONG next = static_cast<ULONG>(start - previous);
            std::memcpy(out + previous, &next, sizeof next);
        }
        previous = start;
        used = start + fixed + bytes;
    }
    return finish(STATUS_SUCCESS, used);
}

// ---- The calls' shared halves: a parsed path in, UTF-8 names out ------------------
namespace {

// Each component in its 8.3 form; components already 8.3 stay as written.
DWORD ShortPathName(const ParsedPath& p, std::string& result)
{
    if (p.error != 0 || p.hasStream) return p.error != 0 ? p.error : ERROR_INVALID_NAME;
    DWORD error = 0;
    if (files::Resolve(p, &error) == nullptr) return error;
    result = std::string(1, p.driveSpelling) + ":\\";
    for (size_t i = 0; i < p.parts.size(); ++i) {
        const std::string& part = p.parts[i];
        if (files::FitsShortName(part)) {
            result += part;
        } else {
            NodePtr node = files::Walk(p, i + 1, &error);
            result += node->shortName.empty() ? node->name : node->shortName;
        }
        if (i + 1 < p.parts.size() || p.trailingSeparator) result += '\\';
    }
    return 0;
}

// Each component as the disk spells its long name.
DWORD LongPathName(const ParsedPath& p, std::string& result)
{
    if (p.error != 0 || p.hasStream) return p.error != 0 ? p.error : ERROR_INVALID_NAME;
    DWORD error = 0;
    if (files::Resolve(p, &error) == nullptr) return error;
    result = std::string(1, p.driveSpelling) + ":\\";
    for (size_t i = 0; i < p.parts.size(); ++i) {
        result += files::Walk(p, i + 1, &error)->name;
        if (i + 1 < p.parts.size() || p.trailingSeparator) result += '\\';
    }
    return 0;
}

template <typename Char>
DWORD PathNameCall(DWORD (*convert)(const ParsedPath&, std::string&), const ParsedPath& p, Char* buffer,
                   DWORD size)
{
    std::string result;
    if (const DWORD error = convert(p, result)) {
        Fail(error);
        return 0;
    }
    return DeliverPath(names::ForCall(result, buffer), buffer, size);
}

// Relative paths start from the program's folder, the simulated current
// folder; "." and ".." are resolved and "/" becomes "\\". The path need not exist.
template <typename Char>
DWORD FullPathNameCall(const ParsedPath& p, DWORD size, Char* buffer, Char** filePart)
{
    if (p.error != 0 || p.hasStream) {
        Fail(p.error != 0 ? p.error : ERROR_INVALID_NAME);
        return 0;
    }
    std::string result = std::string(1, p.driveSpelling) + ":\\";
    for (size_t i = 0; i < p.parts.size(); ++i) {
        if (i > 0) result += '\\';
        result += p.parts[i];
    }
    const bool endsInName = !p.parts.empty() && !p.trailingSeparator;
    if (!p.parts.empty() && p.trailingSeparator) result += '\\';
    const auto text = names::ForCall(result, buffer);
    const DWORD length = DeliverPath(text, buffer, size);
    if (length == text.size() && filePart != nullptr)
        *filePart = endsInName ? buffer + text.size() - names::ForCall(p.parts.back(), buffer).size() : nullptr;
    return length;
}

// The entries a pattern finds, or nullptr with the error set.
std::unique_ptr<FindHandle> Search(const ParsedPath& p)
{
    if (p.error != 0 || p.hasStream) {
        Fail(p.error != 0 ? p.error : ERROR_INVALID_NAME);
        return nullptr;
    }
    if (p.parts.empty() || p.trailingSeparator) {
        Fail(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    DWORD error = 0;
    NodePtr folder = files::ResolveFolderOf(p, &error);
    if (folder == nullptr) {
        Fail(error);
        return nullptr;
    }
    const std::string& last = p.parts.back();
    auto search = std::make_unique<FindHandle>();
    if (!HasWildcards(last)) {
        if (NodePtr node = files::FindChild(*folder, last)) search->entries.push_back(FindEntry(*node, node->name));
    } else {
        if (!folder->parent.expired()) {
            for (const char* dot : {".", ".."})
                if (WildcardMatch(last, dot)) search->entries.push_back(FindEntry(*folder, dot));
        }
        for (const NodePtr& node : files::Listing(*folder))
            if (WildcardMatch(last, node->name) || (!node->shortName.empty() && WildcardMatch(last, node->shortName)))
                search->entries.push_back(FindEntry(*node, node->name));
    }
    if (search->entries.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return search;
}

template <typename Record>
HANDLE FindFirst(const ParsedPath& p, Record* data)
{
    if (data == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::unique_ptr<FindHandle> search = Search(p);
    if (search == nullptr) return INVALID_HANDLE_VALUE;
    WriteRecord(search->entries[0], *data);
    search->next = 1;
    return RegisterHandle(search.release());
}

template <typename Record>
BOOL FindNext(HANDLE find, Record* data)
{
    auto* search = static_cast<FindHandle*>(LookupHandle(find, "find"));
    if (search == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        Fail(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    if (data == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WriteRecord(search->entries[search->next++], *data);
    return TRUE;
}


BOOL DeleteAt(const ParsedPath& p)
{
    if (p.error != 0) {
        Fail(p.error);
        return FALSE;
    }
    if (p.hasStream && !files::HasNamedStreams(p.drive)) {
        Fail(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (p.parts.empty()) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD error = 0;
    NodePtr folder = files::ResolveFolderOf(p, &error);
    NodePtr node = folder != nullptr ? ChildForOpen(folder, p.parts.back()) : nullptr;
    if (node == nullptr) {
        Fail(folder == nullptr ? error : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (p.trailingSeparator && !node->folder) {
        Fail(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (node->folder || node->deletePending || (node->attributes & FILE_ATTRIBUTE_READONLY) ||
        files::InReadOnlyFolder(*folder)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::shared_ptr<files::Stream> stream;
    if (p.hasStream) {
        stream = files::FindStream(*node, p.stream);
        if (stream == nullptr) {
            Fail(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        if (stream->deletePending) {
            Fail(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    if (files::SharingConflict(*node, stream.get(), kDeleteAccess, kShareAll)) {
        Fail(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    // Windows removes the name once the last handle to it is closed.
    if (stream != nullptr) stream->deletePending = true;
    else node->deletePending = true;
    files::FinishPendingDelete(node, stream);
    return TRUE;
}

BOOL CreateFolderAt(const ParsedPath& p)
{
    if (p.error != 0 || p.hasStream) {
        Fail(p.error != 0 ? p.error : ERROR_INVALID_NAME);
        return FALSE;
    }
    if (p.parts.empty()) {
        Fail(files::FindDrive(p.drive) != nullptr ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    DWORD error = 0;
    NodePtr folder = files::ResolveFolderOf(p, &error);
    if (folder == nullptr) {
        Fail(error);
        return FALSE;
    }
    if (files::FindChild(*folder, p.parts.back()) != nullptr) {
        Fail(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (!files::IsValidLongName(p.parts.back())) {
        Fail(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (files::InReadOnlyFolder(*folder)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    files::AddChild(folder, p.parts.back(), true);
    return TRUE;
}

BOOL RemoveFolderAt(const ParsedPath& p)
{
    if (p.error != 0 || p.hasStream) {
        Fail(p.error != 0 ? p.error : ERROR_INVALID_NAME);
        return FALSE;
    }
    if (p.parts.empty()) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD error = 0;
    NodePtr node = files::Walk(p, p.parts.size(), &error);
    if (node == nullptr) {
        Fail(error);
        return FALSE;
    }
    NodePtr parent = node->parent.lock();
    if (!node->folder) {
        Fail(kErrorDirectory);
        return FALSE;
    }
    if (!node->children.empty()) {
        Fail(ERROR_DIR_NOT_EMPTY);
        return FALSE;
    }
    if ((node->attributes & FILE_ATTRIBUTE_READONLY) || node->deletePending ||
        (parent != nullptr && files::InReadOnlyFolder(*parent))) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (files::SharingConflict(*node, nullptr, kDeleteAccess, kShareAll)) {
        Fail(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    node->deletePending = true;
    files::FinishPendingDelete(node, nullptr);
    return TRUE;
}

DWORD AttributesAt(const ParsedPath& p)
{
    if (p.error != 0) {
        Fail(p.error);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (p.hasStream && !files::HasNamedStreams(p.drive)) {
        Fail(ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD error = 0;
    NodePtr node = files::Resolve(p, &error);
    if (node == nullptr) {
        Fail(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::shared_ptr<files::Stream> stream =
        p.hasStream && !node->folder ? files::FindStream(*node, p.stream) : nullptr;
    if (p.hasStream && stream == nullptr) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    // Whatever waits for its last handle to close can no longer be opened.
    if (node->deletePending || (stream != nullptr && stream->deletePending)) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_FILE_ATTRIBUTES;
    }
    return files::ReportedAttributes(*node);
}

BOOL SetAttributesAt(const ParsedPath& p, DWORD attributes)
{
    if (p.error != 0) {
        Fail(p.error);
        return FALSE;
    }
    DWORD error = 0;
    NodePtr node = files::Resolve(p, &error);
    if (node == nullptr) {
        Fail(error);
        return FALSE;
    }
    NodePtr parent = node->parent.lock();
    if (node->deletePending || (parent != nullptr && files::InReadOnlyFolder(*parent))) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | 0x1000 | 0x2000;
    // FILE_ATTRIBUTE_NORMAL means "none" and counts only on its own.
    node->attributes = attributes & settable;
    return TRUE;
}

}  // namespace
}  // namespace sim

using sim::FileHandle;
using sim::Fail;
using sim::files::NodePtr;
using sim::files::ParsedPath;

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size)
{
    sim::NoteCall("GetShortPathNameA");
    if (longPath == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return sim::PathNameCall(sim::ShortPathName, sim::files::ParseAnsiPath(longPath), shortPath, size);
}

DWORD GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size)
{
    sim::NoteCall("GetShortPathNameW");
    if (longPath == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return sim::PathNameCall(sim::ShortPathName, sim::files::ParseWidePath(longPath), shortPath, size);
}

DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD size)
{
    sim::NoteCall("GetLongPathNameA");
    if (shortPath == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return sim::PathNameCall(sim::LongPathName, sim::files::ParseAnsiPath(shortPath), longPath, size);
}

DWORD GetLongPathNameW(LPCWSTR shortPath, LPWSTR longPath, DWORD size)
{
    sim::NoteCall("GetLongPathNameW");
    if (shortPath == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return sim::PathNameCall(sim::LongPathName, sim::files::ParseWidePath(shortPath), longPath, size);
}

DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart)
{
    sim::NoteCall("GetFullPathNameA");
    return sim::FullPathNameCall(sim::files::ParseAnsiPath(path), size, buffer, filePart);
}

DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart)
{
    sim::NoteCall("GetFullPathNameW");
    return sim::FullPathNameCall(sim::files::ParseWidePath(path), size, buffer, filePart);
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data)
{
    sim::NoteCall("FindFirstFileA");
    return sim::FindFirst(sim::files::ParseAnsiPath(pattern, true), data);
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    sim::NoteCall("FindFirstFileW");
    return sim::FindFirst(sim::files::ParseWidePath(pattern, true), data);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data)
{
    sim::NoteCall("FindNextFileA");
    return sim::FindNext(find, data);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data)
{
    sim::NoteCall("FindNextFileW");
    return sim::FindNext(find, data);
}

BOOL FindClose(HANDLE find)
{
    sim::NoteCall("FindClose");
    if (sim::LookupHandle(find, "find") == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return sim::ReleaseHandle(find);
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE)
{
    sim::NoteCall("CreateFileA");
    return sim::OpenPath(sim::files::ParseAnsiPath(name), access, share, disposition, flags);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE)
{
    sim::NoteCall("CreateFileW");
    return sim::OpenPath(sim::files::ParseWidePath(name), access, share, disposition, flags);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED)
{
    sim::NoteCall("ReadFile");
    if (read != nullptr) *read = 0;
    FileHandle* handle = sim::LookupFile(file);
    if (handle == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (handle->node->folder || !(sim::files::DataRights(handle->access) & sim::files::kRead)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (buffer == nullptr && toRead > 0) {
        Fail(sim::kErrorNoAccess);
        return FALSE;
    }
    const std::string& data = handle->Data();
    DWORD n = 0;
    if (handle->position < data.size())
        n = static_cast<DWORD>(std::min<uint64_t>(toRead, data.size() - handle->position));
    if (n > 0) std::memcpy(buffer, data.data() + handle->position, n);
    handle->position += n;
    if (read != nullptr) *read = n;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED)
{
    sim::NoteCall("WriteFile");
    if (written != nullptr) *written = 0;
    FileHandle* handle = sim::LookupFile(file);
    if (handle == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (handle->node->folder || !(sim::files::DataRights(handle->access) & sim::files::kWrite)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (buffer == nullptr && toWrite > 0) {
        Fail(sim::kErrorNoAccess);
        return FALSE;
    }
    DWORD n = toWrite;
    bool fails = false;
    auto& failWrites = sim::files::TheState().failWrites;
    auto armed = failWrites.find(sim::detail::FoldName(handle->Path()));
    if (armed != failWrites.end()) {
        n = static_cast<DWORD>(std::min<size_t>(toWrite, armed->second));
        fails = true;
        failWrites.erase(armed);
    }
    std::string& data = handle->Data();
    if (n > 0) {
        if (data.size() < handle->position + n) data.resize(handle->position + n, '\0');
        std::memcpy(&data[handle->position], buffer, n);
        handle->position += n;
        if (handle->stream == nullptr) handle->node->reportedSize.reset();
    }
    if (written != nullptr) *written = n;
    if (fails) {
        Fail(sim::kErrorDiskFull);
        return FALSE;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method)
{
    sim::NoteCall("SetFilePointer");
    FileHandle* handle = sim::LookupFile(file);
    if (handle == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t offset = distance;
    if (distanceHigh != nullptr)
        offset = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                      static_cast<uint32_t>(distance));
    int64_t base = 0;
    switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = static_cast<int64_t>(handle->position); break;
    case FILE_END: base = static_cast<int64_t>(handle->Size()); break;
    default:
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t target = base + offset;
    if (target < 0) {
        Fail(sim::kErrorNegativeSeek);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh == nullptr && target > 0xFFFFFFFELL) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    handle->position = static_cast<uint64_t>(target);
    if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(target >> 32);
    const auto low = static_cast<DWORD>(target);
    if (low == INVALID_SET_FILE_POINTER) Fail(NO_ERROR);
    return low;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    sim::NoteCall("GetFileSize");
    FileHandle* handle = sim::LookupFile(file);
    if (handle == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = handle->Size();
    if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
    const auto low = static_cast<DWORD>(size);
    if (low == INVALID_FILE_SIZE) Fail(NO_ERROR);
    return low;
}

HFILE _lopen(LPCSTR path, int mode)
{
    sim::NoteCall("_lopen");
    if (path == nullptr) {
        Fail(ERROR_PATH_NOT_FOUND);
        return HFILE_ERROR;
    }
    DWORD access = GENERIC_READ;
    if ((mode & 3) == OF_WRITE) access = GENERIC_WRITE;
    if ((mode & 3) == OF_READWRITE) access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;  // compatibility mode, as NT maps it
    switch (mode & 0x70) {
    case 0x10: share = 0; break;
    case 0x20: share = FILE_SHARE_READ; break;
    case 0x30: share = FILE_SHARE_WRITE; break;
    default: break;
    }
    HANDLE handle = sim::OpenPath(sim::files::ParseAnsiPath(path), access, share, OPEN_EXISTING, 0);
    if (handle == INVALID_HANDLE_VALUE) return HFILE_ERROR;
    return static_cast<HFILE>(reinterpret_cast<intptr_t>(handle));
}

HFILE _lclose(HFILE file)
{
    sim::NoteCall("_lclose");
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(file));
    if (sim::LookupFile(handle) == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return HFILE_ERROR;
    }
    sim::ReleaseHandle(handle);
    return 0;
}

BOOL DeleteFileA(LPCSTR path)
{
    sim::NoteCall("DeleteFileA");
    return sim::DeleteAt(sim::files::ParseAnsiPath(path));
}

BOOL DeleteFileW(LPCWSTR path)
{
    sim::NoteCall("DeleteFileW");
    return sim::DeleteAt(sim::files::ParseWidePath(path));
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags)
{
    sim::NoteCall("MoveFileExA");
    if (existing == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (*existing == '\0') {
        Fail(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if ((flags & MOVEFILE_DELAY_UNTIL_REBOOT) && newName == nullptr) {
        if (sim::files::TheState().refuseRestartDeletions) {
            Fail(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        // Recorded for the next start of Windows, which deletes whatever then has that name.
        sim::files::TheState().pendingDeletes.push_back(existing);
        return TRUE;
    }
    // Renaming is not part of the simulated machine.
    Fail(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES)
{
    sim::NoteCall("CreateDirectoryA");
    return sim::CreateFolderAt(sim::files::ParseAnsiPath(path));
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES)
{
    sim::NoteCall("CreateDirectoryW");
    return sim::CreateFolderAt(sim::files::ParseWidePath(path));
}

BOOL RemoveDirectoryA(LPCSTR path)
{
    sim::NoteCall("RemoveDirectoryA");
    return sim::RemoveFolderAt(sim::files::ParseAnsiPath(path));
}

BOOL RemoveDirectoryW(LPCWSTR path)
{
    sim::NoteCall("RemoveDirectoryW");
    return sim::RemoveFolderAt(sim::files::ParseWidePath(path));
}

DWORD GetFileAttributesA(LPCSTR path)
{
    sim::NoteCall("GetFileAttributesA");
    return sim::AttributesAt(sim::files::ParseAnsiPath(path));
}

DWORD GetFileAttributesW(LPCWSTR path)
{
    sim::NoteCall("GetFileAttributesW");
    return sim::AttributesAt(sim::files::ParseWidePath(path));
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes)
{
    sim::NoteCall("SetFileAttributesA");
    return sim::SetAttributesAt(sim::files::ParseAnsiPath(path), attributes);
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes)
{
    sim::NoteCall("SetFileAttributesW");
    return sim::SetAttributesAt(sim::files::ParseWidePath(path), attributes);
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                           LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize)
{
    sim::NoteCall("GetVolumeInformationA");
    std::string text = root != nullptr ? root : "C:\\";
    if (text.size() != 3 || text[1] != ':' || (text[2] != '\\' && text[2] != '/')) {
        Fail(ERROR_INVALID_NAME);
        return FALSE;
    }
    sim::files::Drive* drive = sim::files::FindDrive(text[0]);
    if (drive == nullptr) {
        Fail(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const sim::Volume& volume = drive->volume;
    if (volume.queryFails) {
        Fail(sim::kErrorNotReady);
        return FALSE;
    }
    const std::string label;
    if ((volumeName != nullptr && volumeNameSize <= label.size()) ||
        (fileSystemName != nullptr && fileSystemNameSize <= volume.fileSystem.size())) {
        Fail(sim::kErrorBadLength);
        return FALSE;
    }
    sim::CopyOut(label, volumeName, volumeNameSize);
    sim::CopyOut(volume.fileSystem, fileSystemName, fileSystemNameSize);
    if (serialNumber != nullptr) *serialNumber = 0x4C1D0000u | static_cast<DWORD>(drive->root->drive);
    if (maxComponentLength != nullptr) *maxComponentLength = 255;
    if (fileSystemFlags != nullptr) *fileSystemFlags = volume.flags;
    return TRUE;
}
