#pragma once
// Loads Intel HEX, Motorola S-record, ELF and raw binary files into memory
// images.

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/MessageHost.h"
#include "image/ImageBuffer.h"
#include "image/ImageFormat.h"

class QIODevice;

namespace oriole {

// Picks the reader from the first character of the file (':' Intel HEX,
// 'S' S-record). With `cells` null the file is only scanned: nothing stored,
// no capacity test, outputs computed in full. `count` is the capacity on the
// way in and the used length (highest address reached + 1) on the way out.
// Outputs are left untouched when the file cannot be opened, its format is not
// recognised, or data exceed the capacity; otherwise they are written, also on
// a format or checksum error. Every failure but an unrecognised format and a
// missing end record shows one warning through `host`.
// Addresses never wrap around: data at 0xFFFFFFFF and above fit no image, and a
// scan that reaches them reports the used length 0xFFFFFFFF. With `cells`, the
// used length never exceeds the capacity: an empty data record whose address
// lies past the capacity is refused like data beyond it.
[[nodiscard]] bool LoadImageFile(IMessageHost& host, const QString& path, int16_t* cells,
                                 uint32_t& count, uint32_t& lowestAddress,
                                 uint32_t& highestAddress);

// Same, from a device already open for reading, from its current position
// (a file, or a QBuffer in tests and fuzzing). A read error counts as a file
// that cannot be opened.
[[nodiscard]] bool LoadImageData(IMessageHost& host, QIODevice& device, int16_t* cells,
                                 uint32_t& count, uint32_t& lowestAddress,
                                 uint32_t& highestAddress);

// The loader's own message for data beyond the capacity, for callers that
// refuse a file after a scan: the S-record text for a file that starts with
// 'S', else the Intel HEX text.
const char* BeyondCapacityText(const QString& path);

// The loads above take every format (ImageFormat::Auto) and an ELF's FLASH.
// These take the format and, for an ELF, the memory from `options`. An ELF
// or binary load writes its outputs only on success; an ELF is checked whole
// (segments within the file, in AVR's memory spaces, not overlapping, within
// the capacity) before a cell is stored. `name` gives the extension that
// ImageFormat::Auto looks at when the data are no ELF.
[[nodiscard]] bool LoadImageFile(IMessageHost& host, const QString& path, int16_t* cells,
                                 uint32_t& count, uint32_t& lowestAddress,
                                 uint32_t& highestAddress, const ImageLoadOptions& options);
[[nodiscard]] bool LoadImageData(IMessageHost& host, QIODevice& device, int16_t* cells,
                                 uint32_t& count, uint32_t& lowestAddress,
                                 uint32_t& highestAddress, const ImageLoadOptions& options,
                                 const QString& name = {});

// Same, into an image already sized by ImageBuffer::Allocate.
[[nodiscard]] inline bool LoadImageFile(IMessageHost& host, const QString& path,
                                        ImageBuffer& image, uint32_t& lowestAddress,
                                        uint32_t& highestAddress,
                                        const ImageLoadOptions& options = {}) {
    return LoadImageFile(host, path, image.cells.data(), image.count, lowestAddress,
                         highestAddress, options);
}

// The format ImageFormat::Auto picks for the file: ELF by its magic, else by
// the extension (".elf", ".bin"), else by the first character (':', 'S').
// Auto when none fits or the file cannot be read. `byContent`: as
// ImageLoadOptions::byContent tells, `values` as its valueList (a pipe,
// which can be read only once, is then Auto).
[[nodiscard]] ImageFormat DetectImageFormat(const QString& path, bool byContent = false,
                                            const ValueListParser& values = {});

// `text` with the name of the file it is about: "TEXT: NAME", at the end of
// its first line (`text` as it is for no name). The loads above name the file (ImageLoadOptions::shownName,
// else the path) in their messages about it as a whole: it cannot be opened
// or read, is too large, brought no data, lacks its end record, is of no
// known format, or holds items that do not parse.
std::string NameInText(std::string_view text, std::string_view name);

// The fuse, lock and signature bytes of an ELF file. False, after the
// loader's message, when the file cannot be read or is no usable AVR ELF.
[[nodiscard]] bool LoadElfConfigBytes(IMessageHost& host, const QString& path,
                                      ElfConfigBytes& config);

}  // namespace oriole
