#pragma once
// Writes a whole device memory as Intel HEX, Motorola S-records or raw bytes;
// the one encoder of both record formats, whose records the avrdude form's
// files (avrdude/AvrdudeFiles.h) are made of too.

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/MessageHost.h"
#include "image/ImageFormat.h"

namespace oriole {

// Saves `length` bytes from address 0 in 16-byte records, leaving out blocks
// that hold only 0xFF unless `bSaveAll`. The file replaces `path` only once it
// was written completely; on any failure (including a format that is not a save format) it
// shows "ファイルを作成することができません。" and returns false.
// Binary writes the bytes themselves from address 0; without
// `bSaveAll` the erased (0xFF) bytes at the end are left out, the only ones a
// raw file can leave out.
[[nodiscard]] bool SaveImageFile(IMessageHost& host, const QString& path, ImageFormat format, bool bSaveAll,
                                 const uint8_t* data, uint32_t length);

// One record line, `lineEnd` (CR LF, as this program's files have it, or
// LF, as avrdude's) included. `count` data bytes are taken from `bytes`; a
// count that would not fit the record's count byte is cut to the largest
// that does. The address is the record's: its low 16 bits for Intel HEX,
// as many bytes as the S-record type has. An S-record type outside 0..9 or
// an Intel type outside 0..255 gives an empty string.
std::string FormatIntelHexRecord(int type, uint32_t address, int count, const uint8_t* bytes,
                                 std::string_view lineEnd = "\r\n");
std::string FormatSRecord(int type, uint32_t address, int count, const uint8_t* bytes,
                          std::string_view lineEnd = "\r\n");

// Whole file text. `fileName` is the name (no folder) that the S0 header carries,
// already in Shift-JIS; a name longer than the header can hold (252 bytes) is
// cut at a character boundary. A length that is not a multiple of 16 ends in
// a shorter last data record; no byte at or beyond `length` is read.
std::string WriteIntelHex(bool bSaveAll, const uint8_t* data, uint32_t length);
std::string WriteSRecord(const std::string& fileName, bool bSaveAll, const uint8_t* data,
                         uint32_t length);

}  // namespace oriole
