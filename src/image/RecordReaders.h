#pragma once
// Internals of the image loader: the frame both record readers share, the
// store they fill, and the lenient hexadecimal fields they cut from a line.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include <QIODevice>

#include "base/Numbers.h"
#include "host/MessageHost.h"
#include "image/ImageBuffer.h"
#include "image/ImageFormat.h"
#include "image/InputFile.h"
#include "image/LineSource.h"
#include "res/Texts.h"

namespace oriole::detail {

// Value of each character as a hexadecimal figure, 0xFF for anything else.
inline constexpr std::array<uint8_t, 256> kHexValue = [] {
    std::array<uint8_t, 256> t{};
    t.fill(0xFF);
    for (int c = 0; c < 10; ++c) t['0' + c] = static_cast<uint8_t>(c);
    for (int c = 0; c < 6; ++c) {
        t['A' + c] = static_cast<uint8_t>(10 + c);
        t['a' + c] = static_cast<uint8_t>(10 + c);
    }
    return t;
}();

// The `width` characters at `pos` (fewer where the line ends early), read
// leniently: blanks skipped, stop at the first non-figure, nothing gives 0.
// Clean figures are added up directly, since nearly every field of a valid
// file is; anything else takes the shared lenient conversion.
template <size_t Width>
uint32_t HexField(std::string_view line, size_t pos) {
    static_assert(Width >= 1 && Width <= 8);
    if (pos + Width <= line.size()) {
        uint32_t value = 0;
        uint32_t bad = 0;
        for (size_t i = 0; i < Width; ++i) {
            const uint32_t figure = kHexValue[static_cast<unsigned char>(line[pos + i])];
            bad |= figure;
            value = (value << 4) | (figure & 0xFu);
        }
        if (bad < 16) return value;
    }
    if (pos >= line.size()) return 0;
    return ParseHexLenient(line.substr(pos, Width));
}

// What decoding one record came to.
enum class Step { Continue, End, BadFormat, BadChecksum, BeyondCapacity };

// Where the data of a load go, and how far they reached. Addresses are 64-bit
// so that a record near the top of the 32-bit space cannot wrap around to 0.
class ImageSink {
public:
    ImageSink(int16_t* cells, uint32_t capacity) : cells_(cells), capacity_(capacity) {}

    void NoteRecordAddress(uint32_t address) { lowest_ = std::min(lowest_, address); }

    // False when the address lies beyond the image (never when scanning).
    [[nodiscard]] bool Store(uint64_t address, uint32_t byte) {
        if (cells_ == nullptr) return true;
        if (address >= capacity_) return false;
        cells_[address] = static_cast<int16_t>(byte & 0xFFu);
        return true;
    }

    // A data record ends at `end` (its address for a record without data).
    // False when an image would claim more cells than it has: a record without
    // data past the capacity must not stretch the used length beyond the array.
    [[nodiscard]] bool Reach(uint64_t end) {
        if (cells_ != nullptr && end > capacity_) return false;
        used_ = std::max(used_, end);
        return true;
    }

    uint32_t Lowest() const { return lowest_; }
    // The used length in 32 bits. Only a scan can reach past 0xFFFFFFFF (data
    // at the very top of the address space); it then saturates there.
    uint32_t UsedLength() const {
        return static_cast<uint32_t>(std::min<uint64_t>(used_, 0xFFFFFFFFu));
    }
    // The last address with data, from the unsaturated length, so that data
    // at 0xFFFFFFFF show as such; 0xFFFFFFFF also when there are none.
    uint32_t Highest() const {
        return used_ == 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(std::min<uint64_t>(used_ - 1, 0xFFFFFFFFu));
    }

private:
    int16_t* cells_;
    uint64_t capacity_;
    uint64_t used_ = 0;
    uint32_t lowest_ = 0xFFFFFFFFu;
};

// What sets the two formats apart in the shared frame.
struct RecordFormat {
    char startChar;
    const char* beyondCapacityText;
    bool acceptMissingEnd = false;
};

// The frame of both readers: preset the image, decode line after line until
// the end record, the first error or the end of the input, then report.
// `decode(line, sink)` decodes one record that begins with the start character.
template <typename Decode>
[[nodiscard]] bool ReadRecords(IMessageHost& host, LineSource& source, const RecordFormat& format,
                               int16_t* cells, uint32_t& count, uint32_t& lowestAddress,
                               uint32_t& highestAddress, Decode&& decode) {
    if (cells != nullptr) std::fill_n(cells, count, kNoData);
    ImageSink sink(cells, count);
    bool ended = false;
    bool reported = false;
    std::string_view line;
    while (source.Next(line)) {
        if (line.empty() || line.front() != format.startChar) {
            host.ShowFailure(Cause::File, MsgKind::Warning, text::kBadDataFormat);
            reported = true;
            break;
        }
        const Step step = decode(line, sink);
        if (step == Step::Continue) continue;
        if (step == Step::End) {
            ended = true;
        } else if (step == Step::BeyondCapacity) {
            host.ShowFailure(Cause::TooLarge, MsgKind::Warning, format.beyondCapacityText);
            return false;
        } else {
            host.ShowFailure(Cause::File, MsgKind::Warning,
                             step == Step::BadFormat ? text::kBadDataFormat : text::kChecksumError);
            reported = true;
        }
        break;
    }
    if (source.Failed()) {
        // The file went away under us (as good as not opened), a pipe went
        // quiet, or the input went on past every bound.
        host.ShowFailure(Cause::File, MsgKind::Warning, ReadFailedText(source.Device()));
        return false;
    }
    count = sink.UsedLength();
    lowestAddress = sink.Lowest();
    highestAddress = sink.Highest();
    // A file that just stops may have lost its end: say why it is refused,
    // or that it is taken as it is.
    if (!ended && !reported) {
        if (format.acceptMissingEnd) host.ShowMessage(MsgKind::Warning, text::kNoEndRecord);
        else host.ShowFailure(Cause::File, MsgKind::Warning, text::kNoEndRecord);
    }
    return ended || (!reported && format.acceptMissingEnd);
}

// The two readers, on a source positioned at the start of the file.
[[nodiscard]] bool ReadIntelHex(IMessageHost& host, LineSource& source, int16_t* cells,
                                uint32_t& count, uint32_t& lowestAddress,
                                uint32_t& highestAddress, bool acceptMissingEnd = false);
[[nodiscard]] bool ReadSRecord(IMessageHost& host, LineSource& source, int16_t* cells,
                               uint32_t& count, uint32_t& lowestAddress, uint32_t& highestAddress,
                               bool acceptMissingEnd = false);

// The readers of whole files, on a device positioned at the start of the
// file; same arguments and result as the record readers. Outputs are written
// only on success: a fault leaves them as they were.
// An ELF load takes the memory `space` asks for and fills `config` (if
// given) with its fuse, lock and signature bytes.
[[nodiscard]] bool ReadElf(IMessageHost& host, QIODevice& device, int16_t* cells, uint32_t& count,
                           uint32_t& lowestAddress, uint32_t& highestAddress, ImageSpace space,
                           ElfConfigBytes* config);
// Raw bytes from address 0; every byte is data.
[[nodiscard]] bool ReadBinary(IMessageHost& host, QIODevice& device, int16_t* cells,
                              uint32_t& count, uint32_t& lowestAddress, uint32_t& highestAddress);

}  // namespace oriole::detail
