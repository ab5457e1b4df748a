#include "image/ImageWriter.h"

#include <QByteArrayView>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "base/AtomicFile.h"
#include "base/TextCodec.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr uint32_t kBlockSize = 16;
constexpr int kMaxSRecordHeaderName = 252;  // 2 address bytes + name + checksum <= 255
constexpr char kIntelEndRecord[] = ":00000001FF";

// "%02X" by table: a 256 KB memory makes over 16000 records, and a printf per
// byte would cost more than everything else the writer does.
constexpr std::array<char, 512> kHexPairs = [] {
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 512> table{};
    for (size_t i = 0; i < 256; ++i) {
        table[2 * i] = digits[i >> 4];
        table[2 * i + 1] = digits[i & 15];
    }
    return table;
}();

// Address bytes of S0..S9 (S4 is reserved; it gets the short form).
constexpr std::array<int, 10> kSRecordAddressBytes = {2, 2, 3, 4, 2, 2, 3, 4, 3, 2};

// Longest lines, used to size the output once before formatting.
constexpr size_t kIntelLineMax = 1 + 2 * (1 + 2 + 1 + 255 + 1) + 2;
constexpr size_t kIntelDataLine = 1 + 2 * (1 + 2 + 1 + kBlockSize + 1) + 2;
constexpr size_t kIntelExtLine = 1 + 2 * (1 + 2 + 1 + 2 + 1) + 2;
constexpr size_t kSRecordLineMax = 2 + 2 * (1 + 255) + 2;  // count byte + 255 counted bytes
constexpr size_t kSRecordDataLine = 2 + 2 * (1 + 4 + kBlockSize + 1) + 2;

// The record writers put text at a raw position inside a buffer that the
// caller sized for the longest possible output, so the record loop never
// allocates. They take and return a plain pointer: kept in a local, the
// compiler need not reload it after every character stored.
char* PutByte(char* p, uint8_t b) {
    std::memcpy(p, &kHexPairs[size_t{2} * b], 2);
    return p + 2;
}

char* PutText(char* p, std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
}

char* PutIntelHexRecord(char* p, uint8_t type, uint16_t address, const uint8_t* bytes,
                        uint8_t count, std::string_view lineEnd = "\r\n") {
    const auto high = static_cast<uint8_t>(address >> 8);
    const auto low = static_cast<uint8_t>(address);
    unsigned sum = count + high + low + type;
    *p++ = ':';
    p = PutByte(p, count);
    p = PutByte(p, high);
    p = PutByte(p, low);
    p = PutByte(p, type);
    for (uint8_t i = 0; i < count; ++i) {
        p = PutByte(p, bytes[i]);
        sum += bytes[i];
    }
    p = PutByte(p, static_cast<uint8_t>(0x100u - (sum & 0xFFu)));  // two's complement
    return PutText(p, lineEnd);
}

char* PutSRecord(char* p, int type, uint32_t address, const uint8_t* bytes, uint8_t count,
                 std::string_view lineEnd = "\r\n") {
    const int addressBytes = kSRecordAddressBytes[static_cast<size_t>(type)];
    const auto recordCount = static_cast<uint8_t>(addressBytes + count + 1);
    unsigned sum = recordCount;
    *p++ = 'S';
    *p++ = static_cast<char>('0' + type);
    p = PutByte(p, recordCount);
    for (int shift = 8 * (addressBytes - 1); shift >= 0; shift -= 8) {
        const auto b = static_cast<uint8_t>(address >> shift);
        p = PutByte(p, b);
        sum += b;
    }
    for (uint8_t i = 0; i < count; ++i) {
        p = PutByte(p, bytes[i]);
        sum += bytes[i];
    }
    p = PutByte(p, static_cast<uint8_t>(~sum));  // one's complement
    return PutText(p, lineEnd);
}

// Cuts `text` back to what was written into it.
void Finish(std::string& text, const char* end) {
    text.resize(static_cast<size_t>(end - text.data()));
}

// A block is left out when every byte holds the erased value 0xFF.
bool IsErased(const uint8_t* p, uint32_t n) {
    if (n == kBlockSize) {
        uint64_t a = 0;
        uint64_t b = 0;
        std::memcpy(&a, p, 8);
        std::memcpy(&b, p + 8, 8);
        return (a & b) == ~uint64_t{0};
    }
    return std::all_of(p, p + n, [](uint8_t v) { return v == 0xFF; });
}

// Cuts a Shift-JIS name to at most `maxBytes` without splitting a double-byte
// character. Hand-written because QStringEncoder cannot stop at a byte budget;
// lead bytes are 0x81-0x9F and 0xE0-0xFC, everything else stands alone.
size_t ShiftJisPrefix(std::string_view s, size_t maxBytes) {
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<uint8_t>(s[i]);
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        const size_t width = (lead && i + 1 < s.size()) ? 2 : 1;
        if (i + width > maxBytes) break;
        i += width;
    }
    return i;
}

uint32_t BlockCount(uint32_t length) {
    return length / kBlockSize + (length % kBlockSize != 0 ? 1 : 0);
}

uint8_t ThisBlockSize(uint64_t offset, uint32_t length) {
    return static_cast<uint8_t>(std::min<uint64_t>(kBlockSize, length - offset));
}

}  // namespace

std::string FormatIntelHexRecord(int type, uint32_t address, int count, const uint8_t* bytes,
                                 std::string_view lineEnd) {
    if (type < 0 || type > 0xFF) return {};
    std::string line(kIntelLineMax + lineEnd.size(), '\0');
    Finish(line, PutIntelHexRecord(line.data(), static_cast<uint8_t>(type),
                                   static_cast<uint16_t>(address), bytes,
                                   static_cast<uint8_t>(std::clamp(count, 0, 0xFF)), lineEnd));
    return line;
}

std::string FormatSRecord(int type, uint32_t address, int count, const uint8_t* bytes,
                          std::string_view lineEnd) {
    if (type < 0 || type > 9) return {};
    const int maxCount = 0xFF - 1 - kSRecordAddressBytes[static_cast<size_t>(type)];
    std::string line(kSRecordLineMax + lineEnd.size(), '\0');
    Finish(line, PutSRecord(line.data(), type, address, bytes,
                            static_cast<uint8_t>(std::clamp(count, 0, maxCount)), lineEnd));
    return line;
}

std::string WriteIntelHex(bool bSaveAll, const uint8_t* data, uint32_t length) {
    // Above 64 KB every 64 KB segment starts with its upper address (type 04),
    // written even when the segment's first block is left out.
    const bool extended = length > 0xFFFF;
    const size_t segments = extended ? (size_t{length} >> 16) + 1 : 0;
    std::string text(size_t{BlockCount(length)} * kIntelDataLine + segments * kIntelExtLine +
                         sizeof kIntelEndRecord,
                     '\0');
    char* p = text.data();
    for (uint64_t offset = 0; offset < length; offset += kBlockSize) {
        if (extended && (offset & 0xFFFF) == 0) {
            const uint8_t upper[2] = {static_cast<uint8_t>(offset >> 24),
                                      static_cast<uint8_t>(offset >> 16)};
            p = PutIntelHexRecord(p, 4, 0, upper, 2);
        }
        const uint8_t n = ThisBlockSize(offset, length);
        if (bSaveAll || !IsErased(data + offset, n))
            p = PutIntelHexRecord(p, 0, static_cast<uint16_t>(offset), data + offset, n);
    }
    Finish(text, PutText(p, kIntelEndRecord));  // the end record has no line end
    return text;
}

std::string WriteSRecord(const std::string& fileName, bool bSaveAll, const uint8_t* data,
                         uint32_t length) {
    // The record type follows from the memory size alone, so a 64 KB memory
    // already gets three address bytes.
    const int dataType = length <= 0xFFFF ? 1 : length <= 0xFFFFFF ? 2 : 3;
    const size_t nameBytes = ShiftJisPrefix(fileName, kMaxSRecordHeaderName);
    std::string text(kSRecordLineMax * 2 + size_t{BlockCount(length)} * kSRecordDataLine, '\0');
    char* p = text.data();
    p = PutSRecord(p, 0, 0, reinterpret_cast<const uint8_t*>(fileName.data()),
                   static_cast<uint8_t>(nameBytes));
    for (uint64_t offset = 0; offset < length; offset += kBlockSize) {
        const uint8_t n = ThisBlockSize(offset, length);
        if (bSaveAll || !IsErased(data + offset, n))
            p = PutSRecord(p, dataType, static_cast<uint32_t>(offset), data + offset, n);
    }
    Finish(text, PutSRecord(p, 10 - dataType, 0, nullptr, 0));
    return text;
}

static size_t BinaryLength(bool bSaveAll, const uint8_t* data, uint32_t length) {
    if (bSaveAll) return length;
    size_t end = length;
    while (end > 0 && data[end - 1] == 0xFF) --end;
    return end;
}

bool SaveImageFile(IMessageHost& host, const QString& path, ImageFormat format, bool bSaveAll,
                   const uint8_t* data, uint32_t length) {
    // An unknown format (a settings file can hold any number) or a missing
    // buffer creates nothing rather than an empty or half-written file.
    if (!IsSaveFormat(format) || (data == nullptr && length != 0)) {
        host.ShowFailure(Cause::File, MsgKind::Warning, text::kFileCreateFailed);
        return false;
    }
    std::string content;
    if (format == ImageFormat::IntelHex) {
        content = WriteIntelHex(bSaveAll, data, length);
    } else if (format == ImageFormat::SRecord) {
        content = WriteSRecord(ToShiftJis(QFileInfo(path).fileName()).toStdString(), bSaveAll,
                               data, length);
    } else if (length != 0) {
        content.assign(reinterpret_cast<const char*>(data), BinaryLength(bSaveAll, data, length));
    }
    const char* fault = nullptr;
    if (!WriteFileAtomically(
            path, QByteArrayView(content.data(), static_cast<qsizetype>(content.size())),
            &fault)) {
        host.ShowFailure(Cause::File, MsgKind::Warning, fault);
        return false;
    }
    return true;
}

}  // namespace oriole
