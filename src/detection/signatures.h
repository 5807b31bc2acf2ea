// The detection vocabulary: byte probes and digest entries, one list each,
// shared by the file matcher and the stream matcher.
#pragma once

#include <cstdint>

// How a match is removed. Every built-in entry uses the plain form; the
// other one also removes Browser Helper Objects that point at the file and
// falls back to deletion at restart.
enum class RemovalKind { Plain, BhoAndReboot };

struct BytePattern {
    int32_t firstOffset;
    int32_t lastOffset;
    const wchar_t* pattern;  // spaced hexadecimal text
    bool inStreams;          // also used by the stream matcher
    RemovalKind removal;
};

struct DigestEntry {
    const wchar_t* digest;  // CRC-32 text form
    int32_t size;           // exact size in bytes
    bool inStreams;
    RemovalKind removal;
};

extern const BytePattern kBytePatterns[4];
extern const DigestEntry kDigestEntries[22];
