// Classifying one named data stream with the stream subset of the detection
// lists, and removing it when it carries the hijacker.
#include "streams/stream_matcher.h"

#include "detection/crc32.h"
#include "detection/file_matcher.h"
#include "detection/signatures.h"
#include "environment/paths.h"
#include "forms/ui.h"
#include "platform/win32.h"
#include "scan/shared_state.h"

void CheckStream(const std::wstring& streamPath, int32_t streamSize)
{
    Boolean verdict = kFalse;
    // Every probe runs, whatever the earlier ones found.
    for (const BytePattern& probe : kBytePatterns) {
        if (!probe.inStreams || probe.pattern == nullptr) continue;
        if (ReadFileHex(streamPath, probe.firstOffset, probe.lastOffset) == probe.pattern) {
            verdict = kTrue;
        }
    }
    // The digest reads the whole stream, so it is only computed when no probe matched.
    if (verdict == kFalse) {
        const std::wstring digest = FileCrc32(streamPath, streamSize);
        for (const DigestEntry& entry : kDigestEntries) {
            if (!entry.inStreams || entry.digest == nullptr) continue;
            if (digest == entry.digest && streamSize == entry.size) verdict = kTrue;
        }
    }
    if (verdict != kTrue) return;

    // Only the stream goes: the path names it, not the host file.
    DeleteFileA(platform::ToAnsi(streamPath).c_str());
    if (GetFileLength(streamPath) >= 1) {
        ui::AddLine(L"Error Removing! " + streamPath);
    } else {
        ui::AddLine(L"Removed Stream! " + streamPath);
    }
    gStreamsFound += 1;
}
