#pragma once

#include <cstdint>
#include <string>

#include "detection/signatures.h"
#include "platform/win32.h"

// Bytes `firstOffset`..`lastOffset` (both included) of `path` as spaced
// hexadecimal ("4E 09"); empty when the file is shorter or cannot be read.
std::wstring ReadFileHex(const std::wstring& path, int32_t firstOffset, int32_t lastOffset);
// The same window of a file already open for reading whose length is
// `length`: empty when `length` is less than `lastOffset`; a window byte at
// or past the end reads as 0. Pumps messages after each byte it renders.
std::wstring ReadWindowHex(HANDLE file, int32_t length, int32_t firstOffset, int32_t lastOffset);
// An open file's length as the file stages take it: the low 32 bits of its
// size, read as a signed number.
int32_t OpenFileLength(HANDLE file);

// The detection lists on one open file or named stream. Streams use only the
// entries marked for them. Each returns whether anything matched and sets
// `removal` (when given) to the form the first match asks for.
enum class Examined { File, Stream };
// Every probe runs, in order, whatever the earlier ones found.
bool MatchProbes(HANDLE file, int32_t length, Examined what, RemovalKind* removal);
// The digest of the first `length` bytes against the entries. Only a length
// that some entry lists can match, so no other length is hashed at all.
bool MatchDigest(HANDLE file, int32_t length, Examined what, RemovalKind* removal);

// Examines one candidate; removes, counts and reports it when it matches.
void ScanFile(const std::wstring& path, const std::wstring& folder, const std::wstring& name);

// Removes a file that matched, in the form its detection entry asks for,
// counts it in gFilesFound and reports the outcome in the activity list.
void RemoveMatchedFile(const std::wstring& path, const std::wstring& folder,
                       const std::wstring& name, RemovalKind kind);

// What becomes of a file that is still there after its removal: it is only
// reported, or first scheduled for deletion at restart, and then its line
// promises the removal on reboot only when the deletion was really scheduled.
enum class StayingFile { Reported, DeletedOnReboot };
// Reports the outcome of one removal in the activity list under the name
// `shown`: whether `path` is gone or still there.
void ReportFileRemoval(const std::wstring& path, const std::wstring& shown, StayingFile staying);
