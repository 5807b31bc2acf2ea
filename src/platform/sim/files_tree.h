// The simulated volumes and their folder trees: what the file half of the
// simulated Windows keeps, and the path rules of Win32 (drive letters,
// case-insensitive names, 8.3 short names, "file:stream" paths, share modes).
// Names and paths are UTF-8 here (names.h); the calls convert at their edge.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace sim {
namespace files {

// One open of a file or stream: a handle of the program or a hold by a process.
struct Opening {
    uint64_t id = 0;
    DWORD processId = 0;  // 0 for the program's own handles
    DWORD access = 0;
    DWORD share = 0;
};

struct Stream {
    std::string name;  // bare name, case preserved
    std::string data;
    bool deletePending = false;
    std::vector<Opening> openings;
};

struct Node {
    std::string name;       // long name, case preserved
    std::string shortName;  // generated 8.3 name, ASCII; empty when the long name fits 8.3
    bool folder = false;
    bool reparsePoint = false;  // a junction, mount point or symbolic link
    DWORD attributes = 0;   // stored bits, without FILE_ATTRIBUTE_DIRECTORY
    std::string data;       // the unnamed data stream
    std::vector<std::shared_ptr<Stream>> streams;  // named streams, listing order
    std::vector<std::shared_ptr<Node>> children;   // creation order
    std::weak_ptr<Node> parent;
    char drive = 'C';
    std::vector<Opening> openings;  // opens of the unnamed stream (or the folder)
    bool deletePending = false;

    // Arranged by tests
    std::optional<uint64_t> reportedSize;
    bool vanishOnOpen = false;
    bool readOnlyFolder = false;
    std::optional<std::string> streamListBytes;
    bool failStreamQuery = false;
};
using NodePtr = std::shared_ptr<Node>;

struct Drive {
    Volume volume;
    NodePtr root;
};

struct State {
    std::map<char, Drive> drives;
    std::vector<std::string> pendingDeletes;
    bool refuseRestartDeletions = false;
    std::map<std::string, size_t> failWrites;  // canonical folded path -> bytes before failure
    std::vector<std::weak_ptr<Node>> heldNodes;
    uint64_t nextOpeningId = 1;
};
State& TheState();
void ResetState();

// A Win32 path taken apart: drive, components, optional stream.
struct ParsedPath {
    DWORD error = 0;  // non-zero when the path is malformed
    char drive = 'C';          // upper case
    char driveSpelling = 'C';  // as the caller wrote it
    std::vector<std::string> parts;
    bool trailingSeparator = false;
    bool hasStream = false;
    std::string stream;  // bare stream name
};
// `pattern`: wildcards are allowed in the last component (FindFirstFile).
ParsedPath ParsePath(const std::string& path, bool pattern = false);
ParsedPath ParseAnsiPath(LPCSTR path, bool pattern = false);   // an A call's path
ParsedPath ParseWidePath(LPCWSTR path, bool pattern = false);  // a W call's path
// A bare char pointer is an A call's: say which.
ParsedPath ParsePath(const char* path, bool pattern = false) = delete;

Drive* FindDrive(char letter);
bool HasNamedStreams(char letter);
bool IsFat(char letter);

// Looks a component up among a folder's entries, by long or short name.
NodePtr FindChild(const Node& folder, const std::string& name);
// The node named by parts[0..count), or nullptr with the Win32 error.
NodePtr Walk(const ParsedPath& path, size_t count, DWORD* error);
NodePtr Resolve(const ParsedPath& path, DWORD* error);
NodePtr ResolveFolderOf(const ParsedPath& path, DWORD* error);

// Entries of a folder in the order the file system lists them.
std::vector<NodePtr> Listing(const Node& folder);
std::shared_ptr<Stream> FindStream(const Node& file, const std::string& name);

// Names
bool FitsShortName(const std::string& name);
bool IsValidLongName(const std::string& name);
std::string MakeShortName(const Node& folder, const std::string& longName);
NodePtr AddChild(const NodePtr& folder, const std::string& name, bool isFolder);
void Detach(const NodePtr& node);
std::string LongPath(const Node& node);   // "C:\WINDOWS\notepad.exe"
std::string ShortPathOf(const Node& node);
bool InReadOnlyFolder(const Node& node);

// Attributes as Windows reports them.
DWORD ReportedAttributes(const Node& node);
uint64_t ReportedSize(const Node& node);

// Share modes. Only opens that read, write or delete data take part.
constexpr DWORD kRead = 1, kWrite = 2, kDelete = 4;
DWORD DataRights(DWORD access);
// True when an open with `access`/`share` conflicts with those present.
bool SharingConflict(const Node& node, const Stream* stream, DWORD access, DWORD share);
uint64_t AddOpening(Node& node, Stream* stream, DWORD processId, DWORD access, DWORD share);
void RemoveOpening(const NodePtr& node, const std::shared_ptr<Stream>& stream, uint64_t id);
// Finishes a deletion once the last open of the file or stream is gone.
void FinishPendingDelete(const NodePtr& node, const std::shared_ptr<Stream>& stream);

// The folded long path that writes to `path` reach.
std::string FailWriteKey(const std::string& path);

}  // namespace files
}  // namespace sim
