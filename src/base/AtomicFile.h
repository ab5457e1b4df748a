#pragma once
// Whole-file saves that either land completely or not at all, and never
// replace or damage what the path points at. Every file the program writes
// goes through here (images, fuse and lock files, ORIOLE.ini, setting files):
// - a regular file, or a path where nothing is yet, gets the bytes in a
//   temporary file beside it, which replaces it only after every byte was
//   written and synced; an existing file keeps its owner, group and mode;
// - a symbolic link (a chain of them, or a dangling one) is followed, and its
//   target saved that way; the link stays;
// - a regular file with further hard links is written in place, so every
//   name keeps showing the same file: the bytes go to a temporary file first
//   (which proves the disk takes them), then over the file's own contents;
// - a terminal, pipe or /dev/null (/dev/stdout) is written in place, without
//   a temporary file and without blocking: a FIFO that no program reads, or
//   one whose reader stops taking data, is a failure;
// - anything else (another device, a folder, a block device, a socket) is
//   refused unopened: the one rule of OutputTargetOf (base/FileNode.h).
// A failure leaves any existing file as it was and gives one text of ours.

#include <QByteArrayView>
#include <QString>
#include <cstdint>

namespace oriole {

enum class SaveTargets : uint8_t {
    FilesAndStreams,  // also terminals, pipes and /dev/null
    FilesOnly,        // regular files (or new ones) only: settings files
};

// False on failure, with the message in `fault` (a text of res/Texts.h).
[[nodiscard]] bool WriteFileAtomically(const QString& path, QByteArrayView data,
                                       const char** fault = nullptr,
                                       SaveTargets targets = SaveTargets::FilesAndStreams);

// The program's own files (a production run's counter, list and journal):
// `path` itself must be a regular file with one name, or nothing. It is
// replaced by a temporary file beside it, never followed through a link nor
// written through another name, keeps its mode, and its folder is synced
// after, so the new name survives a power cut. False with the message.
[[nodiscard]] bool ReplaceOwnedFile(const QString& path, QByteArrayView data, const char** fault = nullptr);
// Removes such a file (nothing there is fine), its folder synced after.
[[nodiscard]] bool RemoveOwnedFile(const QString& path, const char** fault = nullptr);

}  // namespace oriole
