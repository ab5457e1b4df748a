#include "image/LineSource.h"

#include <algorithm>
#include <cstring>

namespace oriole {

LineSource::LineSource(QIODevice& device, size_t chunkSize)
    : device_(device),
      chunkSize_(std::max<size_t>(chunkSize, 1)),
      chunk_(std::make_unique_for_overwrite<char[]>(chunkSize_)) {}

bool LineSource::Refill() {
    pos_ = 0;
    end_ = 0;
    if (atEnd_) return false;
    const qint64 got = device_.read(chunk_.get(), static_cast<qint64>(chunkSize_));
    if (got <= 0) {
        atEnd_ = true;
        failed_ = got < 0;
        return false;
    }
    end_ = static_cast<size_t>(got);
    return true;
}

bool LineSource::PeekFirst(char& first) {
    if (pos_ == end_ && !Refill()) return false;
    first = chunk_[pos_];
    return true;
}

bool LineSource::Next(std::string_view& line) {
    size_t kept = 0;         // characters held in carry_
    bool overlong = false;   // the line had more than kKeptChars + 1 characters
    bool started = false;    // part of the line came from an earlier chunk
    for (;;) {
        if (pos_ == end_ && !Refill()) {
            // End of input: a last line without LF is still a line, but a read
            // error drops whatever was half read.
            if (failed_ || !started) return false;
            line = std::string_view(carry_, std::min(kept, kKeptChars));
            return true;
        }
        const char* begin = chunk_.get() + pos_;
        const size_t avail = end_ - pos_;
        const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', avail));
        size_t length = lf != nullptr ? static_cast<size_t>(lf - begin) : avail;

        if (lf != nullptr && !started) {
            // The common case: the whole line lies in this chunk, no copy.
            pos_ += length + 1;
            if (length > 0 && begin[length - 1] == '\r') --length;
            line = std::string_view(begin, std::min(length, kKeptChars));
            return true;
        }

        const size_t take = std::min(length, sizeof carry_ - kept);
        std::memcpy(carry_ + kept, begin, take);
        kept += take;
        overlong = overlong || take < length;
        started = true;
        if (lf == nullptr) {
            pos_ = end_;
            continue;
        }
        pos_ += length + 1;
        // Past kKeptChars + 1 characters a CR before the LF is cut off anyway.
        if (!overlong && kept > 0 && carry_[kept - 1] == '\r') --kept;
        line = std::string_view(carry_, std::min(kept, kKeptChars));
        return true;
    }
}

}  // namespace oriole
