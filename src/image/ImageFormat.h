#pragma once
// The data file formats the loader reads, which part of a file a load takes,
// and the configuration bytes an ELF file carries beside FLASH and EEPROM.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "image/ImageBuffer.h"

namespace oriole {

// Auto: an ELF is known by its magic; otherwise the extension decides
// (".elf" ELF, ".bin" raw binary), and for any other name the first
// character (':' Intel HEX, 'S' S-record). The others force a format.
// ValueList: a text of data items ("0x12, 0x34 # two", avrdude's h, d, o, b
// and R files), bytes from address 0, read by ImageLoadOptions::valueList.
enum class ImageFormat { Auto, IntelHex, SRecord, Elf, Binary, ValueList };

// The most a value list may hold: the text is read whole before it is parsed.
inline constexpr int64_t kMaxValueListBytes = int64_t{16} * 1024 * 1024;

// The bytes of the data items of `text` ('#' starts a comment); false with
// the reason in `error`, also for a text without any item; `warnings` for
// items taken but worth a word. The grammar is the terminal's; the loader
// only reads the file, shows the warnings and places the bytes.
using ValueListParser = std::function<bool(std::string_view text, std::vector<uint8_t>& out,
                                           std::string& error, std::vector<std::string>& warnings)>;

// The formats a memory can be saved in: IntelHex, SRecord and Binary.
inline bool IsSaveFormat(ImageFormat format) {
    return format == ImageFormat::IntelHex || format == ImageFormat::SRecord || format == ImageFormat::Binary;
}

// The save formats by the names the command line gives them.
inline bool SaveFormatFromName(std::string_view name, ImageFormat& format) {
    if (name == "ihex") format = ImageFormat::IntelHex;
    else if (name == "srec") format = ImageFormat::SRecord;
    else if (name == "bin") format = ImageFormat::Binary;
    else return false;
    return true;
}

// The save formats as the settings and the save dialog's list number them
// (0 Intel HEX, 1 S-records, 2 binary); any other number is no save format.
inline ImageFormat SaveFormatOfCode(int code) {
    switch (code) {
        case 0: return ImageFormat::IntelHex;
        case 1: return ImageFormat::SRecord;
        case 2: return ImageFormat::Binary;
        default: return ImageFormat::Auto;
    }
}
inline int SaveFormatCode(ImageFormat format) {
    switch (format) {
        case ImageFormat::SRecord: return 1;
        case ImageFormat::Binary: return 2;
        default: return 0;
    }
}

// Which memory an ELF load takes. HEX, S-record and binary files have only
// one address space and load whole whatever is asked.
enum class ImageSpace { Flash, Eeprom };

// The bytes an avr-gcc ELF gives for fuses (.fuse at 0x820000: low, high,
// extended), lock bits (.lock at 0x830000) and the signature (.signature at
// 0x840000). kNoData where the file gives none. The signature is kept in the
// order the device reports it (command C: 0x1E first); the file stores it
// the other way round.
struct ElfConfigBytes {
    std::array<int16_t, 3> fuses{kNoData, kNoData, kNoData};  // low, high, extended
    int16_t lock = kNoData;
    std::array<int16_t, 3> signature{kNoData, kNoData, kNoData};

    [[nodiscard]] bool HasSignature() const {
        return signature[0] != kNoData && signature[1] != kNoData && signature[2] != kNoData;
    }
};

struct ImageLoadOptions {
    ImageFormat format = ImageFormat::Auto;
    ImageSpace space = ImageSpace::Flash;
    // Filled from an ELF file (left as it is for the other formats).
    ElfConfigBytes* elfConfig = nullptr;
    // Auto by content, as the command line decides: an ELF by its magic
    // (".elf" and ".bin" still name theirs); else in avrdude's order, line
    // by line until a line decides: a byte above 127 (or a NUL) makes the
    // file raw binary; a line that is an Intel HEX record, an S-record, or
    // (with `valueList`) a line of data items names that format. Lines that
    // decide nothing (blank, comments, other text) are passed over; a file
    // where no line decides is not recognised, and neither is raw binary
    // named ".hex", ".eep", ".srec"...
    bool byContent = false;
    // Reads ImageFormat::ValueList, and lets Auto by content find value
    // lists; without it a value list is not recognised.
    ValueListParser valueList = {};
    // How messages about the file as a whole name it (empty: by its path).
    std::string shownName = {};
    // A HEX or S-record file that stops without its end record is taken as
    // it is, with a warning, instead of refused.
    bool acceptMissingEnd = false;
};

}  // namespace oriole
