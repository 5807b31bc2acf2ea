// Byte-level building blocks for the stream tests: FILE_STREAM_INFORMATION records
// built by hand (well-formed or forged) and stream contents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace streamtest {

// One raw record: every field is written exactly as given, so tests can forge
// offsets and lengths that disagree with the name.
struct RawRecord {
    uint32_t nextEntryOffset;
    uint32_t streamNameLength;
    uint64_t streamSize;
    std::u16string name;
};

inline void PutLe(std::string& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Records laid out back to back, each padded to its NextEntryOffset when that
// lies past its end (so a forged offset still has bytes behind it).
inline std::string Raw(const std::vector<RawRecord>& records)
{
    std::string out;
    for (const RawRecord& r : records) {
        const size_t start = out.size();
        PutLe(out, r.nextEntryOffset, 4);
        PutLe(out, r.streamNameLength, 4);
        PutLe(out, r.streamSize, 8);
        PutLe(out, (r.streamSize + 4095) / 4096 * 4096, 8);
        for (char16_t c : r.name) PutLe(out, c, 2);
        const size_t wanted = start + r.nextEntryOffset;
        if (r.nextEntryOffset != 0 && wanted > out.size() && r.nextEntryOffset <= 4096) {
            out.resize(wanted, '\0');
        }
    }
    return out;
}

struct Stream {
    std::u16string name;  // as the file system reports it: ":name:$DATA"
    uint64_t size;
};

// A well-formed list: 8-byte aligned records, the last with offset 0.
inline std::string List(const std::vector<Stream>& streams)
{
    std::vector<RawRecord> records;
    for (size_t i = 0; i < streams.size(); ++i) {
        const uint32_t nameBytes = static_cast<uint32_t>(streams[i].name.size() * 2);
        const uint32_t next = i + 1 == streams.size() ? 0 : (24 + nameBytes + 7) / 8 * 8;
        records.push_back({next, nameBytes, streams[i].size, streams[i].name});
    }
    return Raw(records);
}

inline std::u16string Named(const std::u16string& bare) { return u":" + bare + u":$DATA"; }
inline const std::u16string kUnnamed = u"::$DATA";

// ---- Contents ---------------------------------------------------------------

// A stream that probe "57 53 55 44" recognises, padded to `size` bytes.
inline std::string WsudContents(size_t size = 64)
{
    std::string out = "WSUD";
    for (size_t i = out.size(); i < size; ++i) out += static_cast<char>('a' + i % 23);
    out.resize(size);
    return out;
}

// Filler that none of the byte probes can match.
inline std::string Filler(size_t size, char seed = 'A')
{
    std::string out;
    for (size_t i = 0; i < size; ++i) out += static_cast<char>(seed + i % 19);
    return out;
}

}  // namespace streamtest
