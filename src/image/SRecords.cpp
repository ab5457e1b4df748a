// Motorola S-records: "St<cc><address><data><CS>", one record a line.

#include "image/RecordReaders.h"

namespace oriole::detail {

namespace {

constexpr size_t kTypePos = 1;
constexpr size_t kCountPos = 2;
constexpr size_t kAddressPos = 4;
static_assert(kAddressPos + size_t{2} * 255 <= LineSource::kKeptChars,
              "a record of 255 counted bytes must fit in the kept part of a line");

// Reads the byte fields after the count one by one, adding each to the sum.
class ByteCursor {
public:
    ByteCursor(std::string_view line, uint32_t& sum) : line_(line), sum_(sum) {}
    uint32_t Next() {
        const uint32_t byte = HexField<2>(line_, pos_);
        pos_ += 2;
        sum_ += byte;
        return byte;
    }

private:
    std::string_view line_;
    uint32_t& sum_;
    size_t pos_ = kAddressPos;
};

Step DecodeSRecord(std::string_view line, ImageSink& sink) {
    // The type is one decimal figure; anything else reads as a header record.
    const char typeChar = line.size() > kTypePos ? line[kTypePos] : '\0';
    const int type = typeChar >= '0' && typeChar <= '9' ? typeChar - '0' : 0;
    if (type == 4 || type == 6) return Step::BadFormat;

    const int byteCount = static_cast<int>(HexField<2>(line, kCountPos));
    uint32_t sum = static_cast<uint32_t>(byteCount);
    ByteCursor bytes(line, sum);

    if (type >= 1 && type <= 3) {
        const int addressBytes = type + 1;  // S1: 2, S2: 3, S3: 4
        uint32_t address = 0;
        for (int i = 0; i < addressBytes; ++i) address = (address << 8) | bytes.Next();
        sink.NoteRecordAddress(address);
        const int dataBytes = std::max(byteCount - addressBytes - 1, 0);
        for (int i = 0; i < dataBytes; ++i) {
            const uint32_t byte = bytes.Next();
            if (!sink.Store(uint64_t{address} + static_cast<uint32_t>(i), byte)) {
                return Step::BeyondCapacity;
            }
        }
        if (!sink.Reach(uint64_t{address} + static_cast<uint32_t>(dataBytes))) {
            return Step::BeyondCapacity;
        }
    } else {
        // S0 header, S5 record count, S7 to S9 termination: only checked.
        for (int i = 0; i < byteCount - 1; ++i) bytes.Next();
    }
    bytes.Next();  // the checksum itself
    if ((sum & 0xFFu) != 0xFFu) return Step::BadChecksum;
    return type >= 7 ? Step::End : Step::Continue;
}

}  // namespace

bool ReadSRecord(IMessageHost& host, LineSource& source, int16_t* cells, uint32_t& count,
                 uint32_t& lowestAddress, uint32_t& highestAddress, bool acceptMissingEnd) {
    const RecordFormat format{'S', text::kSrecBeyondDevice, acceptMissingEnd};
    return ReadRecords(host, source, format, cells, count, lowestAddress, highestAddress,
                       DecodeSRecord);
}

}  // namespace oriole::detail
