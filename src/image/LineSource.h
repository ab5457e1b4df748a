#pragma once
// Reads a text file line by line in large chunks and keeps only the first
// kKeptChars characters of each line. The record readers never look further
// into a line than that, so a file of any shape (a line of 100 MB, binary
// garbage, NUL bytes) is read in linear time and bounded memory.
//
// A line ends at LF; a CR right before the LF is dropped; the line end is not
// part of the line. A last line without LF still counts as a line.
//
// QTextStream::readLine would give the same lines, but it builds a QString of
// the whole line (UTF-16, any length) for every line, which is neither bounded
// nor fast enough for the loader.

#include <QIODevice>
#include <cstddef>
#include <memory>
#include <string_view>

namespace oriole {

class LineSource {
public:
    // Longest prefix of a line that is kept. The records address at most
    // 9 + 2 * 255 + 2 characters (an Intel HEX data record of 255 bytes).
    static constexpr size_t kKeptChars = 1024;
    static constexpr size_t kDefaultChunk = size_t{64} * 1024;

    // Reads from the current position of an open device. `chunkSize` only
    // matters for tests that want lines to straddle chunk boundaries.
    explicit LineSource(QIODevice& device, size_t chunkSize = kDefaultChunk);

    // The first character of the input, without consuming it. False when the
    // input is empty or could not be read.
    [[nodiscard]] bool PeekFirst(char& first);

    // The next line (at most kKeptChars characters). The view stays valid
    // until the next call. False at the end of the input or on a read error.
    [[nodiscard]] bool Next(std::string_view& line);

    // True once a read from the device has failed.
    [[nodiscard]] bool Failed() const { return failed_; }
    const QIODevice& Device() const { return device_; }

private:
    bool Refill();

    QIODevice& device_;
    size_t chunkSize_;
    std::unique_ptr<char[]> chunk_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
    // The kept part of a line that straddles chunks, plus one character to
    // tell a CR at the very end of a just-too-long line.
    char carry_[kKeptChars + 1];
};

}  // namespace oriole
