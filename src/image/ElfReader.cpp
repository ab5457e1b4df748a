// avr-gcc's ELF output, read with libelf: the loadable segments by their
// physical (load) address, sorted into AVR's memory spaces by address range.
// Initialised data (.data) thus come from where they sit in FLASH after
// .text, not from their RAM address.

#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "image/RecordReaders.h"

namespace oriole::detail {

namespace {

constexpr uint16_t kMachineAvr = 83;  // EM_AVR

enum class Space { Flash, Eeprom, Fuse, Lock, Signature };

// avr-gcc's address layout. `usable` is how many bytes of the range a
// device of ours can have; data past it are beyond every device.
struct SpaceRange {
    Space space;
    uint32_t base;
    uint32_t span;
    uint32_t usable;
};
constexpr std::array<SpaceRange, 5> kSpaces{{
    {Space::Flash, 0x000000, 0x800000, 0x800000},
    {Space::Eeprom, 0x810000, 0x10000, 0x10000},
    {Space::Fuse, 0x820000, 0x10000, 3},
    {Space::Lock, 0x830000, 0x10000, 1},
    {Space::Signature, 0x840000, 0x10000, 3},
}};

struct Segment {
    Space space;
    uint32_t offset;  // within the space
    uint32_t size;
    const uint8_t* bytes;
};

class ElfHandle {
public:
    ElfHandle(char* image, size_t size) : elf_(elf_memory(image, size)) {}
    ~ElfHandle() {
        if (elf_ != nullptr) elf_end(elf_);
    }
    ElfHandle(const ElfHandle&) = delete;
    ElfHandle& operator=(const ElfHandle&) = delete;
    Elf* get() const { return elf_; }

private:
    Elf* elf_;
};

// Reads what is left of the device, refusing more than `limit` bytes.
enum class ReadAll { Ok, Failed, TooLarge };
ReadAll ReadWhole(QIODevice& device, qint64 limit, QByteArray& out) {
    constexpr qint64 kChunk = qint64{64} * 1024;
    for (;;) {
        const qsizetype before = out.size();
        out.resize(before + kChunk);
        const qint64 n = device.read(out.data() + before, kChunk);
        if (n < 0) return ReadAll::Failed;
        out.resize(before + static_cast<qsizetype>(n));
        if (out.size() > limit) return ReadAll::TooLarge;
        if (n == 0) return ReadAll::Ok;
    }
}

const SpaceRange* SpaceOf(uint64_t address) {
    for (const SpaceRange& s : kSpaces)
        if (address >= s.base && address < uint64_t{s.base} + s.span) return &s;
    return nullptr;
}

// The loadable segments with data, each checked against the file and the
// address layout; the text of the first fault otherwise.
std::optional<std::vector<Segment>> Segments(Elf* elf, const uint8_t* image, size_t imageSize,
                                             const char*& fault) {
    fault = text::kElfBroken;
    if (elf == nullptr || elf_kind(elf) != ELF_K_ELF) return std::nullopt;
    GElf_Ehdr header;
    if (gelf_getehdr(elf, &header) == nullptr) return std::nullopt;
    if (gelf_getclass(elf) != ELFCLASS32 || header.e_machine != kMachineAvr) {
        fault = text::kElfNotAvr;
        return std::nullopt;
    }
    size_t count = 0;
    if (elf_getphdrnum(elf, &count) != 0) return std::nullopt;
    // libelf reads the table with its own entry size whatever the header
    // says; a header that says otherwise describes some other table.
    if (count != 0 && header.e_phentsize != sizeof(Elf32_Phdr)) return std::nullopt;
    std::vector<Segment> segments;
    for (size_t i = 0; i < count; ++i) {
        GElf_Phdr ph;
        if (gelf_getphdr(elf, static_cast<int>(i), &ph) == nullptr) return std::nullopt;
        if (ph.p_type != PT_LOAD) continue;
        // A segment holds no more file bytes than it takes in memory.
        if (ph.p_filesz > ph.p_memsz) return std::nullopt;
        if (ph.p_filesz == 0) continue;  // .bss and .noinit have no data
        // libelf checks the header table, not where a segment's bytes lie.
        if (ph.p_offset > imageSize || ph.p_filesz > imageSize - ph.p_offset) {
            fault = text::kElfBroken;
            return std::nullopt;
        }
        const SpaceRange* space = SpaceOf(ph.p_paddr);
        if (space == nullptr || ph.p_paddr + ph.p_filesz > uint64_t{space->base} + space->span) {
            fault = text::kElfOutsideSpaces;
            return std::nullopt;
        }
        const auto offset = static_cast<uint32_t>(ph.p_paddr - space->base);
        if (offset + ph.p_filesz > space->usable) {
            fault = text::kHexBeyondDevice;
            return std::nullopt;
        }
        segments.push_back(
            {space->space, offset, static_cast<uint32_t>(ph.p_filesz), image + ph.p_offset});
    }
    // An object file (avr-gcc -c) has sections but nothing to load: saying
    // so beats programming nothing and reporting success.
    if (segments.empty()) {
        fault = text::kElfNoSegments;
        return std::nullopt;
    }
    std::sort(segments.begin(), segments.end(), [](const Segment& a, const Segment& b) {
        return a.space != b.space ? a.space < b.space : a.offset < b.offset;
    });
    for (size_t i = 1; i < segments.size(); ++i) {
        const Segment& a = segments[i - 1];
        const Segment& b = segments[i];
        if (a.space == b.space && uint64_t{a.offset} + a.size > b.offset) {
            fault = text::kElfOverlap;
            return std::nullopt;
        }
    }
    // The signature is compared with the device's before anything is
    // written; a part of one would leave that check nothing to compare.
    uint32_t signatureBytes = 0;
    for (const Segment& s : segments)
        if (s.space == Space::Signature) signatureBytes += s.size;
    if (signatureBytes != 0 && signatureBytes != 3) {
        fault = text::kElfSignatureSize;
        return std::nullopt;
    }
    return segments;
}

void FillConfig(const std::vector<Segment>& segments, ElfConfigBytes& config) {
    config = ElfConfigBytes{};
    for (const Segment& s : segments) {
        for (uint32_t j = 0; j < s.size; ++j) {
            const int16_t byte = s.bytes[j];
            const uint32_t at = s.offset + j;
            if (s.space == Space::Fuse) config.fuses[at] = byte;
            if (s.space == Space::Lock) config.lock = byte;
            // Stored last byte first: 0x840000 holds the device's third byte.
            if (s.space == Space::Signature) config.signature[2 - at] = byte;
        }
    }
}

}  // namespace

bool ReadElf(IMessageHost& host, QIODevice& device, int16_t* cells, uint32_t& count,
             uint32_t& lowestAddress, uint32_t& highestAddress, ImageSpace wanted,
             ElfConfigBytes* config) {
    QByteArray image;
    // The bound of every input is larger than any avr-gcc output with full
    // debug information; the whole file is held in memory while it is read.
    switch (ReadWhole(device, kMaxInputBytes, image)) {
        case ReadAll::Failed: {
            const auto* input = dynamic_cast<const CInputFile*>(&device);
            const bool tooLarge = input != nullptr && input->Failure() == InputFailure::TooLarge;
            host.ShowFailure(Cause::File, MsgKind::Warning, tooLarge ? text::kElfTooLarge : ReadFailedText(device));
            return false;
        }
        case ReadAll::TooLarge:
            host.ShowFailure(Cause::File, MsgKind::Warning, text::kElfTooLarge);
            return false;
        case ReadAll::Ok:
            break;
    }
    if (elf_version(EV_CURRENT) == EV_NONE) {
        host.ShowFailure(Cause::File, MsgKind::Warning, text::kElfBroken);
        return false;
    }
    // libelf only reads the image; elf_memory merely lacks a const overload.
    const ElfHandle elf(image.data(), static_cast<size_t>(image.size()));
    const char* fault = nullptr;
    const auto segments = Segments(elf.get(), reinterpret_cast<const uint8_t*>(image.constData()),
                                   static_cast<size_t>(image.size()), fault);
    if (!segments) {
        host.ShowFailure(Cause::File, MsgKind::Warning, fault);
        return false;
    }

    const Space space = wanted == ImageSpace::Eeprom ? Space::Eeprom : Space::Flash;
    uint64_t used = 0;
    uint32_t lowest = 0xFFFFFFFFu;
    for (const Segment& s : *segments) {
        if (s.space != space) continue;
        lowest = std::min(lowest, s.offset);
        used = std::max(used, uint64_t{s.offset} + s.size);
    }
    // Checked before anything is stored: a file that does not fit leaves the
    // image as it was, as the record readers do.
    if (cells != nullptr && used > count) {
        host.ShowFailure(Cause::TooLarge, MsgKind::Warning, text::kHexBeyondDevice);
        return false;
    }
    if (cells != nullptr) {
        std::fill_n(cells, count, kNoData);
        for (const Segment& s : *segments) {
            if (s.space != space) continue;
            for (uint32_t j = 0; j < s.size; ++j) cells[s.offset + j] = s.bytes[j];
        }
    }
    if (config != nullptr) FillConfig(*segments, *config);
    count = static_cast<uint32_t>(used);
    lowestAddress = lowest;
    highestAddress = count - 1;
    return true;
}

bool ReadBinary(IMessageHost& host, QIODevice& device, int16_t* cells, uint32_t& count,
                uint32_t& lowestAddress, uint32_t& highestAddress) {
    if (cells != nullptr) std::fill_n(cells, count, kNoData);
    std::array<char, 64 * 1024> chunk{};
    uint64_t total = 0;
    for (;;) {
        const qint64 n = device.read(chunk.data(), static_cast<qint64>(chunk.size()));
        if (n < 0) {
            host.ShowFailure(Cause::File, MsgKind::Warning, ReadFailedText(device));
            return false;
        }
        if (n == 0) break;
        if (cells != nullptr) {
            if (total + static_cast<uint64_t>(n) > count) {
                host.ShowFailure(Cause::TooLarge, MsgKind::Warning, text::kHexBeyondDevice);
                return false;
            }
            for (qint64 j = 0; j < n; ++j)
                cells[total + static_cast<uint64_t>(j)] =
                    static_cast<uint8_t>(chunk[static_cast<size_t>(j)]);
        }
        total += static_cast<uint64_t>(n);
    }
    count = static_cast<uint32_t>(std::min<uint64_t>(total, 0xFFFFFFFFu));
    lowestAddress = total == 0 ? 0xFFFFFFFFu : 0;
    highestAddress = static_cast<uint32_t>(std::min<uint64_t>(total - 1, 0xFFFFFFFFu));
    return true;
}

}  // namespace oriole::detail
