// Classifying one named data stream with the stream subset of the detection
// lists, and removing it when it carries the hijacker.
#include "streams/stream_matcher.h"

#include "detection/crc32.h"
#include "detection/file_matcher.h"
#include "detection/file_open.h"
#include "platform/win32.h"
#include "session/shared_state.h"
#include "session/ui.h"

namespace {

// Gone means not found. A stream that cannot be opened may well be there:
// held without sharing by another process, or waiting for its deletion until
// the process that holds it lets go. The attribute query opens no data, so
// share modes do not stand in its way.
bool StreamIsGone(const std::wstring& streamPath)
{
    if (GetFileAttributesA(platform::ToAnsi(streamPath).c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

void CheckStream(const std::wstring& streamPath, int32_t streamSize)
{
    // The probes measure the stream themselves; the digest covers the size the
    // stream list gave. The stream is closed again before it is deleted.
    bool verdict = false;
    {
        platform::HeldHandle stream{OpenForReading(streamPath)};
        if (!stream.valid()) return;
        verdict = MatchProbes(stream.get(), OpenFileLength(stream.get()), Examined::Stream, nullptr) ||
                  MatchDigest(stream.get(), streamSize, Examined::Stream, nullptr);
    }
    if (!verdict) return;

    // Only the stream goes: the path names it, not the host file.
    DeleteFileA(platform::ToAnsi(streamPath).c_str());
    if (StreamIsGone(streamPath)) {
        ui::AddLine(L"Removed Stream! " + streamPath);
    } else {
        ui::AddLine(L"Error Removing! " + streamPath);
    }
    gStreamsFound += 1;
}
