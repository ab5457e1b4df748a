// Reading FLASH and EEPROM back, whole or by block, and verifying them
// against a file.
#include <algorithm>

#include "base/FormatText.h"
#include "link/WriterLink.h"
#include "ops/MemoryBlocks.h"
#include "ops/OrioleCore.h"
#include "res/Texts.h"

namespace oriole {

namespace {

// The read progress bar has 32 steps whatever the length.
constexpr int32_t kReadSteps = 32;

}  // namespace

bool COrioleCore::ReadFlashBlock(CWriterLink& link, uint32_t block, uint32_t words,
                                 std::span<uint8_t> out) {
    return link.ReadFlashBlock(block * words, out.first(size_t{words} * 2));
}

bool COrioleCore::ReadEepromBlock(CWriterLink& link, uint32_t block, uint32_t bytes,
                                  std::span<uint8_t> out) {
    return link.ReadEepromBlock(block * bytes, out.first(bytes));
}

bool COrioleCore::ReadSpans(CWriterLink& link, bool flash, const std::vector<ByteSpan>& spans,
                            std::vector<uint8_t>& buffer) {
    if (spans.empty()) return true;
    uint32_t total = 0;
    for (const ByteSpan& span : spans) total += span.size;
    const auto progress = CreateProgressDlg(0, kReadSteps, flash ? text::kFlashCaption : text::kEepromCaption,
                                            flash ? text::kFlashReading : text::kEepromReading);
    // The bar follows the bytes that travel, whatever addresses they come from.
    const uint32_t step = std::max<uint32_t>(total / kReadSteps, 1);
    uint32_t lastPos = 0;
    size_t done = 0;
    const ReceiveProgress onReceived = [&](size_t received) {
        const auto pos = static_cast<uint32_t>((done + received) / step);
        if (pos > lastPos) {
            lastPos = pos;
            progress->SetPos(static_cast<int32_t>(pos));
        }
    };
    for (const ByteSpan& span : spans) {
        const auto bytes = std::span(buffer).subspan(span.first, span.size);
        const bool got = flash ? link.ReadFlashBlock(span.first / 2, bytes, onReceived)
                               : link.ReadEepromBlock(span.first, bytes, onReceived);
        if (!got) return false;
        done += span.size;
    }
    return true;
}

bool COrioleCore::ReadMemory(CWriterLink& link, bool flash, uint32_t length) {
    const AVR_DEVICE& d = *m_pDevice;
    uint32_t size = flash ? static_cast<uint32_t>(d.FlashBytes()) : static_cast<uint32_t>(d.eepromBytes);
    if (length != 0 && length < size) size = flash ? (length + 1) & ~1u : length;
    std::vector<uint8_t>& buffer = flash ? m_pFlashRead : m_pEepromRead;
    buffer.assign(size, 0xFF);
    return ReadSpans(link, flash, {ByteSpan{0, size}}, buffer);
}

bool COrioleCore::ReadFlash(uint32_t length, bool timing) {
    return RunFrame(timing, [&](CWriterLink& link) { return ReadMemory(link, true, length); });
}

bool COrioleCore::ReadEeprom(uint32_t length) {
    return RunFrame(true, [&](CWriterLink& link) { return ReadMemory(link, false, length); });
}

bool COrioleCore::CompareImage(const ImageBuffer& image, const std::vector<uint8_t>& read,
                               bool report, const char* errorFormat, const char* okText) {
    const bool quietly = !report;
    for (uint32_t j = 0; j < image.count && j < image.cells.size(); ++j) {
        const int16_t v = image.cells[j];
        if (v == kNoData) continue;
        // A byte the read did not reach (the device changed in between) differs.
        if (j < read.size() && read[j] == static_cast<uint8_t>(v)) continue;
        if (!quietly) m_host.ShowFailure(Cause::VerifyMismatch, MsgKind::Warning, FormatText(errorFormat, static_cast<unsigned>(j)));
        return false;
    }
    if (!quietly) m_host.ShowMessage(MsgKind::Information, okText);
    return true;
}

bool COrioleCore::VerifyMemory(bool flash, const ImageBuffer& image, bool timing, bool report) {
    // The verify's bytes stay its own: a buffer with holes where nothing was
    // read must not pass for the device's contents, so the last whole read
    // (what the memory views and the saves show) is left as it was.
    std::vector<uint8_t> read;
    const bool r = RunFrame(timing, [&](CWriterLink& link) {
        // After the begin sequence, which may have detected another device.
        const AVR_DEVICE& d = *m_pDevice;
        std::vector<ByteSpan> spans = flash ? VerifySpans(image, FlashBlockBytes(d), 2, 2 * kMaxReadCount)
                                            : VerifySpans(image, EepromBlockBytes(d), 1, kMaxReadCount);
        // Nothing beyond the memory is asked for; data there count as different.
        const auto size = static_cast<uint32_t>(flash ? d.FlashBytes() : d.eepromBytes);
        std::erase_if(spans, [size](const ByteSpan& s) { return s.first >= size; });
        if (!spans.empty()) spans.back().size = std::min(spans.back().size, size - spans.back().first);
        read.assign(spans.empty() ? 0 : spans.back().first + spans.back().size, 0xFF);
        return ReadSpans(link, flash, spans, read);
    });
    if (!r) return false;
    return flash ? CompareImage(image, read, report, text::kFlashVerifyError, text::kFlashVerifyOk)
                 : CompareImage(image, read, report, text::kEepromVerifyError, text::kEepromVerifyOk);
}

bool COrioleCore::VerifyFlash(const std::string& path, const OpOptions& options) {
    if (!CanAddressDevice()) return false;
    if (IsAutoDetect() && !CheckDevice(options.timing)) return false;
    if (!LoadFlashImage(path, m_imgFlash)) return false;
    return VerifyMemory(true, m_imgFlash, false, options.report);
}

bool COrioleCore::VerifyEeprom(const std::string& path, const OpOptions& options) {
    if (!CanAddressDevice()) return false;
    if (IsAutoDetect() && !CheckDevice(options.timing)) return false;
    if (!LoadEepromImage(path, m_imgEeprom)) return false;
    // The EEPROM read always sends the timing.
    return VerifyMemory(false, m_imgEeprom, true, options.report);
}

// An image loaded before: the same exchanges as the verify of a file, the
// detection first where it is on, so that the box sees no difference.
bool COrioleCore::VerifyFlash(const ImageBuffer& image, const OpOptions& options) {
    if (!CanAddressDevice()) return false;
    if (IsAutoDetect() && !CheckDevice(options.timing)) return false;
    if (&image != &m_imgFlash) m_imgFlash = image;
    return VerifyMemory(true, m_imgFlash, false, options.report);
}

bool COrioleCore::VerifyEeprom(const ImageBuffer& image, const OpOptions& options) {
    if (!CanAddressDevice()) return false;
    if (IsAutoDetect() && !CheckDevice(options.timing)) return false;
    if (&image != &m_imgEeprom) m_imgEeprom = image;
    return VerifyMemory(false, m_imgEeprom, true, options.report);
}

}  // namespace oriole
