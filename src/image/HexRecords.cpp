// Intel HEX: ":LLAAAATT<data>CC", one record a line.

#include "image/RecordReaders.h"

namespace oriole::detail {

namespace {

constexpr uint32_t kData = 0x00;
constexpr uint32_t kEndOfFile = 0x01;
constexpr uint32_t kExtendedSegment = 0x02;
constexpr uint32_t kStartSegment = 0x03;
constexpr uint32_t kExtendedLinear = 0x04;
constexpr uint32_t kStartLinear = 0x05;

constexpr size_t kLengthPos = 1;
constexpr size_t kOffsetPos = 3;
constexpr size_t kTypePos = 7;
constexpr size_t kDataPos = 9;
static_assert(kDataPos + size_t{2} * 255 + 2 <= LineSource::kKeptChars,
              "a data record of 255 bytes must fit in the kept part of a line");

uint32_t ByteSum(uint32_t word) { return (word >> 8) + (word & 0xFFu); }

class IntelHexDecoder {
public:
    Step Decode(std::string_view line, ImageSink& sink) {
        const uint32_t length = HexField<2>(line, kLengthPos);
        const uint32_t offset = HexField<4>(line, kOffsetPos);
        const uint32_t type = HexField<2>(line, kTypePos);
        uint32_t sum = length + ByteSum(offset) + type;

        switch (type) {
        case kData: {
            // base is at most 0xFFFF0000, so this sum stays within 32 bits.
            const uint32_t address = base_ + offset;
            sink.NoteRecordAddress(address);
            for (uint32_t i = 0; i < length; ++i) {
                const uint32_t byte = HexField<2>(line, kDataPos + size_t{2} * i);
                sum += byte;
                if (!sink.Store(uint64_t{address} + i, byte)) return Step::BeyondCapacity;
            }
            if (!sink.Reach(uint64_t{address} + length)) return Step::BeyondCapacity;
            sum += HexField<2>(line, kDataPos + size_t{2} * length);
            break;
        }
        case kEndOfFile:
            sum += HexField<2>(line, kDataPos);
            break;
        case kExtendedSegment:
        case kExtendedLinear: {
            // Fixed positions whatever LL says; a wrong LL shows in the sum.
            const uint32_t upper = HexField<4>(line, kDataPos);
            sum += ByteSum(upper) + HexField<2>(line, kDataPos + 4);
            base_ = type == kExtendedSegment ? upper << 4 : upper << 16;
            break;
        }
        case kStartSegment:
        case kStartLinear:
            // The start address means nothing to a programmer; only checked.
            sum += ByteSum(HexField<4>(line, kDataPos)) + ByteSum(HexField<4>(line, kDataPos + 4)) +
                   HexField<2>(line, kDataPos + 8);
            break;
        default:
            return Step::BadFormat;
        }
        if ((sum & 0xFFu) != 0) return Step::BadChecksum;
        return type == kEndOfFile ? Step::End : Step::Continue;
    }

private:
    uint32_t base_ = 0;  // from the last type 02 or 04 record
};

}  // namespace

bool ReadIntelHex(IMessageHost& host, LineSource& source, int16_t* cells, uint32_t& count,
                  uint32_t& lowestAddress, uint32_t& highestAddress, bool acceptMissingEnd) {
    const RecordFormat format{':', text::kHexBeyondDevice, acceptMissingEnd};
    IntelHexDecoder decoder;
    return ReadRecords(host, source, format, cells, count, lowestAddress, highestAddress,
                       [&decoder](std::string_view line, ImageSink& sink) {
                           return decoder.Decode(line, sink);
                       });
}

}  // namespace oriole::detail
