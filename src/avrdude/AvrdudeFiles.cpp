#include "avrdude/AvrdudeFiles.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "avrdude/TerminalData.h"
#include "image/ImageWriter.h"

namespace oriole::avrdude {

namespace {

constexpr size_t kRecord = 32;

// Records as avrdude ends its lines.
std::string HexRecord(int type, uint32_t address, const uint8_t* bytes, size_t n) {
    return FormatIntelHexRecord(type, address, static_cast<int>(n), bytes, "\n");
}

std::string HighAddressRecord(uint32_t high) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(high >> 8), static_cast<uint8_t>(high)};
    return HexRecord(4, 0, bytes, 2);
}

// One segment: records that never cross 64 KB, a type 04 record where the
// next 64 KB begin, and before the segment unless it is the first one and
// starts below 64 KB.
void AppendIntelHex(std::string& out, const Segment& s, bool first, bool comments) {
    uint32_t high = s.addr >> 16;
    uint32_t next = s.addr & 0xFFFFu;
    if (!first || high != 0) out += HighAddressRecord(high);
    const size_t size = s.bytes.size();
    for (size_t i = 0; i < size;) {
        const size_t n = std::min({kRecord, size - i, size_t{0x10000} - next});
        const uint8_t* p = s.bytes.data() + i;
        // A comment goes before the line end.
        out += FormatIntelHexRecord(0, next, static_cast<int>(n), p, "");
        if (comments) {
            // The comments line up under a full record's; a blank shows as
            // '_' so that the text is one word.
            char buf[32];
            std::snprintf(buf, sizeof buf, " // %05x> ", high << 16 | next);
            out += std::string(2 * (kRecord - n), ' ') + buf;
            for (size_t k = 0; k < n; ++k) {
                const char c = static_cast<char>(p[k] & 0x7F);
                out += c == ' ' ? '_' : c > 0x20 && c < 0x7F ? c : '.';
            }
        }
        out += "\n";
        next += static_cast<uint32_t>(n);
        i += n;
        if (next >= 0x10000 && i < size) {
            out += HighAddressRecord(++high);
            next = 0;
        }
    }
}

// An S-record of type S`type`: its address width is the type's.
std::string SRecord(char type, uint32_t address, const uint8_t* bytes, size_t n) {
    return FormatSRecord(type - '0', address, static_cast<int>(n), bytes, "\n");
}

std::string SRecords(const std::vector<Segment>& segments, uint32_t memoryBytes) {
    // The address width follows the memory's size, not the data's.
    const uint32_t highest = memoryBytes == 0 ? 0 : memoryBytes - 1;
    const int width = highest <= 0xFFFFu ? 2 : highest <= 0xFFFFFFu ? 3 : 4;
    const char dataType = static_cast<char>('0' + width - 1);
    static constexpr char kHeader[] = "oriole-cli";
    std::string out =
        SRecord('0', 0, reinterpret_cast<const uint8_t*>(kHeader), sizeof kHeader - 1);
    size_t records = 0;
    for (const Segment& s : segments) {
        for (size_t a = 0; a < s.bytes.size(); a += kRecord, ++records)
            out += SRecord(dataType, s.addr + static_cast<uint32_t>(a), s.bytes.data() + a,
                           std::min(kRecord, s.bytes.size() - a));
    }
    // The record count (S5, or S6 beyond 16 bits), then the end record.
    out += SRecord(records <= 0xFFFF ? '5' : '6', static_cast<uint32_t>(records), nullptr, 0);
    return out + SRecord(static_cast<char>('0' + 11 - width), 0, nullptr, 0);
}

}  // namespace

bool IsOutputFormat(char format) {
    return format != 0 && std::string_view("riIshdobR").find(format) != std::string_view::npos;
}

std::string AvrdudeFile(char format, const std::vector<Segment>& segments, uint32_t memoryBytes) {
    std::string out;
    switch (format) {
        case 'r':
            for (const Segment& s : segments) out.append(s.bytes.begin(), s.bytes.end());
            return out;
        case 'i':
        case 'I':
            for (size_t i = 0; i < segments.size(); ++i)
                AppendIntelHex(out, segments[i], i == 0, format == 'I');
            return out + ":00000001FF\n";
        case 's':
            return SRecords(segments, memoryBytes);
        default:
            if (!IsOutputFormat(format)) return out;
            for (const Segment& s : segments) out += FormatValues(s.bytes, format);
            return out;
    }
}

// As avrdude prints them: no leading zeros, "0x" and "0b" before every
// value, "0" before an octal value only from 8 on (below it reads the same).
std::string FormatValues(const std::vector<uint8_t>& data, char format) {
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) out += ',';
        const unsigned v = data[i];
        char buf[16];
        switch (format) {
            case 'd':
                std::snprintf(buf, sizeof buf, "%u", v);
                break;
            case 'o':
                std::snprintf(buf, sizeof buf, v < 8 ? "%o" : "0%o", v);
                break;
            case 'b': {
                std::string bits;
                for (unsigned rest = v; rest != 0 || bits.empty(); rest >>= 1)
                    bits.insert(bits.begin(), (rest & 1u) ? '1' : '0');
                std::snprintf(buf, sizeof buf, "0b%s", bits.c_str());
                break;
            }
            case 'R':
                std::snprintf(buf, sizeof buf, "%s", RomanNumeral(v).c_str());
                break;
            default:
                std::snprintf(buf, sizeof buf, "0x%x", v);
                break;
        }
        out += buf;
    }
    return out + "\n";
}

std::string AvrdudeIntelHex(const std::vector<uint8_t>& data, bool comments) {
    return AvrdudeFile(comments ? 'I' : 'i', {Segment{0, data}},
                       static_cast<uint32_t>(data.size()));
}

std::string AvrdudeSRecord(const std::vector<uint8_t>& data, uint32_t memoryBytes) {
    return AvrdudeFile('s', {Segment{0, data}}, memoryBytes);
}

}  // namespace oriole::avrdude
