// Fuse and lock file parsing over arbitrary bytes: no crash, no read beyond
// the input, and the texts never carry more than what the format allows.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/BitFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const oriole::FuseTexts fuses = oriole::ParseFuseFile(bytes);
    const QString lock = oriole::ParseLockFile(bytes);

    // Each text is at most two characters of the first line.
    for (const QString* t : {&fuses.ext, &fuses.high, &fuses.low, &lock})
        if (t->size() > 2 || t->contains(QChar('\n'))) std::abort();
    // The extended and lock texts are the same start of the line.
    if (fuses.ext != lock) std::abort();
    // A line of at least four characters gives the high text in full.
    if (fuses.high.size() == 1 && fuses.low.size() == 2 && fuses.low.back() != fuses.high[0])
        std::abort();

    // Writing the texts and reading them back keeps them whenever each text is
    // exactly two characters that survive the code page.
    const QByteArray written = oriole::FormatFuseFile(fuses);
    if (fuses.ext.size() == 2 && fuses.high.size() == 2 && fuses.low.size() == 2 &&
        !written.contains('?') && !(fuses.ext + fuses.high + fuses.low).contains(QChar('\r'))) {
        if (oriole::ParseFuseFile(written) != fuses) std::abort();
    }
    return 0;
}
