#pragma once
// The data file formats the loader reads, which part of a file a load takes,
// and the configuration bytes an ELF file carries beside FLASH and EEPROM.

#include <array>
#include <cstdint>
#include <string_view>

#include "image/ImageBuffer.h"

namespace oriole {

// Auto: an ELF is known by its magic; otherwise the extension decides
// (".elf" ELF, ".bin" raw binary), and for any other name the first
// character (':' Intel HEX, 'S' S-record). The others force a format.
enum class ImageFormat { Auto, IntelHex, SRecord, Elf, Binary };

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
    // Auto by content alone, as the command line decides: an ELF by its
    // magic, Intel HEX and S-records by a first line that is a record, any
    // other file raw binary (".elf" and ".bin" still name theirs; a ".hex",
    // ".eep", ".srec"... without records is not recognised).
    bool byContent = false;
    // A HEX or S-record file that stops without its end record is taken as
    // it is, with a warning, instead of refused.
    bool acceptMissingEnd = false;
};

}  // namespace oriole
