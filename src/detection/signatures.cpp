#include "detection/signatures.h"

// Byte probes, in the order they run. The first three are also looked for in
// named streams.
const BytePattern kBytePatterns[4] = {
    // "NIWU", a zero byte, "UWIN", a form feed.
    {987, 996, L"4E 49 57 55 00 55 57 49 4E 0C", true, RemovalKind::Plain},
    // "WSUD" at the very start of the file.
    {0, 3, L"57 53 55 44", true, RemovalKind::Plain},
    // "Call (RPC) Help".
    {7006, 7020, L"43 61 6C 6C 20 28 52 50 43 29 20 48 65 6C 70", true, RemovalKind::Plain},
    // "lightspeedsearch": the window is the 16 bytes that start at offset
    // 39133 (39133 to 39148), as long as the pattern.
    {39133, 39148, L"6C 69 67 68 74 73 70 65 65 64 73 65 61 72 63 68", false,
     RemovalKind::Plain},
};

// Digest entries: CRC-32 text together with the exact size, in the order they
// are compared. Entries 1 to 5 and 9 to 11 are also looked for in named streams.
const DigestEntry kDigestEntries[22] = {
    {L"55B8CBF1", 28160, true, RemovalKind::Plain},
    {L"E87AD6B0", 66560, true, RemovalKind::Plain},
    {L"49A321AE", 66560, true, RemovalKind::Plain},
    {L"13F32D06", 66048, true, RemovalKind::Plain},
    {L"70CB3844", 68608, true, RemovalKind::Plain},
    {L"C6B2E50D", 91639, false, RemovalKind::Plain},
    {L"BA9685E5", 10720, false, RemovalKind::Plain},
    {L"1B27E0BD", 90648, false, RemovalKind::Plain},
    {L"4C698966", 11264, true, RemovalKind::Plain},
    {L"1EF4F0E2", 17408, true, RemovalKind::Plain},
    {L"DA9873A3", 197761, true, RemovalKind::Plain},
    {L"6F0E7F63", 5636, false, RemovalKind::Plain},
    {L"343B395C", 6657, false, RemovalKind::Plain},
    {L"4CBB0151", 6657, false, RemovalKind::Plain},
    {L"800A77EB", 6657, false, RemovalKind::Plain},
    {L"9CD16A67", 6656, false, RemovalKind::Plain},
    {L"71DA9336", 4096, false, RemovalKind::Plain},
    {L"7FA6C8F0", 46592, false, RemovalKind::Plain},
    {L"45C37C75", 44032, false, RemovalKind::Plain},
    {L"C776E23F", 37888, false, RemovalKind::Plain},
    {L"54416AF3", 57390, false, RemovalKind::Plain},
    {L"A135B470", 24182, false, RemovalKind::Plain},
};
