// Programming FLASH and EEPROM from a file: page by page with F and I, or in
// fixed chunks with G and J on the devices without page programming.
#include <QString>
#include <algorithm>

#include "image/ImageReader.h"
#include "base/FormatText.h"
#include "link/WriterLink.h"
#include "ops/FrameHost.h"
#include "ops/MemoryBlocks.h"
#include "ops/OrioleCore.h"
#include "res/Texts.h"

namespace oriole {

namespace {

uint32_t CeilDiv(uint32_t a, uint32_t b) { return (a + b - 1) / b; }

int16_t CellAt(const ImageBuffer& image, size_t address) {
    return address < image.cells.size() ? image.cells[address] : kNoData;
}

enum class Coverage { Empty, Partial, Full };

Coverage CoverageOf(const ImageBuffer& image, size_t first, size_t size) {
    size_t filled = 0;
    for (size_t j = 0; j < size; ++j)
        if (CellAt(image, first + j) != kNoData) ++filled;
    if (filled == 0) return Coverage::Empty;
    return filled == size ? Coverage::Full : Coverage::Partial;
}

// Programming can only clear bits, so a FLASH block whose data are all 0xFF
// changes nothing on the device: were it written, the merge would give back
// the device's own bytes wherever they are not 0xFF, and 0xFF elsewhere.
bool ClearsSomeBit(const ImageBuffer& image, size_t first, size_t size) {
    for (size_t j = 0; j < size; ++j) {
        const int16_t v = CellAt(image, first + j);
        if (v != kNoData && v != 0xFF) return true;
    }
    return false;
}

// Puts the file's bytes over what the device holds. FLASH programming can
// only clear bits: at the first byte that would need a 1 where the device
// has a 0 the merge stops, and the rest of the block keeps the device's
// bytes; a following verify names that address.
void MergeFlash(const ImageBuffer& image, size_t first, std::span<uint8_t> buffer) {
    for (size_t j = 0; j < buffer.size(); ++j) {
        const int16_t v = CellAt(image, first + j);
        if (v == kNoData) continue;
        const auto value = static_cast<uint8_t>(v);
        if ((buffer[j] & value) != value) return;
        buffer[j] = value;
    }
}

}  // namespace

bool COrioleCore::LoadImage(ImageBuffer& image, uint32_t capacity, const std::string& path,
                            ImageSpace space, const std::string& shown) {
    image.Allocate(capacity);
    uint32_t lowest = 0;
    uint32_t highest = 0;
    IOperationHost& host = m_pFrameHost ? static_cast<IOperationHost&>(*m_pFrameHost) : m_host;
    ElfConfigBytes config;
    const ImageLoadOptions options{.format = m_fileFormat,
                                   .space = space,
                                   .elfConfig = &config,
                                   .byContent = m_bFormatByContent,
                                   .valueList = m_valueList,
                                   .shownName = shown,
                                   .acceptMissingEnd = m_bAcceptMissingEnd};
    if (!LoadImageFile(host, QString::fromStdString(path), image, lowest, highest, options))
        return false;
    // An ELF built for another device must not reach it. The device is known
    // here: detected by the frame's begin sequence, or chosen by the user.
    const auto& sig = m_pDevice->signature;
    if (config.HasSignature() && (config.signature[0] != sig[0] || config.signature[1] != sig[1] ||
                                  config.signature[2] != sig[2])) {
        host.ShowFailure(Cause::OtherDevice, MsgKind::Warning,
                         NameInText(FormatText(text::kElfSignatureMismatch, unsigned(config.signature[0]),
                                    unsigned(config.signature[1]), unsigned(config.signature[2]),
                                    m_pDevice->name, unsigned(sig[0]), unsigned(sig[1]),
                                    unsigned(sig[2])),
                                    shown.empty() ? path : shown));
        image.Allocate(capacity);  // nothing of the file stays to be programmed or shown
        return false;
    }
    return true;
}

bool COrioleCore::ReadElfConfig(const std::string& path, ElfConfigBytes& config) {
    return LoadElfConfigBytes(m_host, QString::fromStdString(path), config);
}

bool COrioleCore::LoadFlashImage(const std::string& path, ImageBuffer& image, const std::string& shown) {
    return LoadImage(image, static_cast<uint32_t>(m_pDevice->FlashBytes()), path, ImageSpace::Flash, shown);
}

bool COrioleCore::LoadEepromImage(const std::string& path, ImageBuffer& image, const std::string& shown) {
    return LoadImage(image, static_cast<uint32_t>(m_pDevice->eepromBytes), path, ImageSpace::Eeprom, shown);
}

bool COrioleCore::WriteMemory(bool flash, const std::string* path, const ImageBuffer* image,
                              const OpOptions& options) {
    // A file is loaded inside the frame, after the begin sequence has
    // detected the device it is sized for; the verify checks what was
    // written, without reading the file again.
    ImageBuffer& own = flash ? m_imgFlash : m_imgEeprom;
    const ImageBuffer* written = image;
    const bool r = RunFrame(options.timing, [&](CWriterLink& link) {
        if (path != nullptr) {
            if (!(flash ? LoadFlashImage(*path, own) : LoadEepromImage(*path, own))) return false;
            written = &own;
        } else {
            // Loaded for one device, the image may meet another after detection.
            const auto size = static_cast<size_t>(flash ? m_pDevice->FlashBytes() : m_pDevice->eepromBytes);
            for (size_t a = size; a < image->cells.size() && a < image->count; ++a) {
                if (image->cells[a] == kNoData) continue;
                Failure(Cause::TooLarge, MsgKind::Warning, text::kHexBeyondDevice);
                return false;
            }
            if (image != &own) own = *image;
            own.count = std::min(own.count, static_cast<uint32_t>(size));
            written = &own;
        }
        const AVR_DEVICE& d = *m_pDevice;
        if (flash) return d.HasPagedFlash() ? WriteFlashPages(link, *written) : WriteFlashChunks(link, *written);
        return d.HasPagedEeprom() ? WriteEepromPages(link, *written) : WriteEepromChunks(link, *written);
    });
    if (!r || !options.report) return r;
    if (options.verify) {
        const OpOptions verify{.timing = false};
        return flash ? VerifyFlash(own, verify) : VerifyEeprom(own, verify);
    }
    m_host.ShowMessage(MsgKind::Information, flash ? text::kFlashWriteDone : text::kEepromWriteDone);
    return r;
}

bool COrioleCore::WriteFlash(const std::string& path, const OpOptions& options) {
    return WriteMemory(true, &path, nullptr, options);
}

bool COrioleCore::WriteFlash(const ImageBuffer& image, const OpOptions& options) {
    return WriteMemory(true, nullptr, &image, options);
}

bool COrioleCore::WriteEeprom(const std::string& path, const OpOptions& options) {
    return WriteMemory(false, &path, nullptr, options);
}

bool COrioleCore::WriteEeprom(const ImageBuffer& image, const OpOptions& options) {
    return WriteMemory(false, nullptr, &image, options);
}

bool COrioleCore::WriteFlashPages(CWriterLink& link, const ImageBuffer& image) {
    const auto words = static_cast<uint32_t>(m_pDevice->flashPageWords);
    return WriteFlashBlocks(link, image, words,
                            [&link](uint32_t wordAddress, std::span<const uint8_t> bytes) {
                                return link.WriteFlashPage(wordAddress, bytes,
                                                           PieceFailure::EndPage);
                            });
}

bool COrioleCore::WriteFlashChunks(CWriterLink& link, const ImageBuffer& image) {
    return WriteFlashBlocks(link, image, static_cast<uint32_t>(m_pDevice->flashChunkWords),
                            [&link](uint32_t wordAddress, std::span<const uint8_t> bytes) {
                                return link.WriteFlashWords(wordAddress, bytes);
                            });
}

// Pages (F) and chunks (G) go the same way: blocks without data, or with
// nothing but 0xFF, are skipped; partly covered blocks are read back and
// merged, full ones start from 0xFF.
bool COrioleCore::WriteFlashBlocks(CWriterLink& link, const ImageBuffer& image, uint32_t words,
                                   const BlockWriter& writeBlock) {
    const uint32_t bytes = 2 * words;
    const uint32_t blocks = CeilDiv(CeilDiv(image.count, 2), words);
    std::vector<uint8_t> buffer(bytes);
    const auto progress = CreateProgressDlg(0, static_cast<int32_t>(blocks), text::kFlashCaption,
                                            text::kFlashWriting);
    bool r = true;
    for (uint32_t i = 0; i < blocks; ++i) {
        const size_t first = size_t{i} * bytes;
        if (!ClearsSomeBit(image, first, bytes)) continue;
        if (CoverageOf(image, first, bytes) == Coverage::Partial) {
            // A block that could not be read must not be written: the buffer
            // would hold another block's bytes.
            r = ReadFlashBlock(link, i, words, buffer);
            if (!r) break;
        } else {
            std::fill(buffer.begin(), buffer.end(), uint8_t{0xFF});
        }
        MergeFlash(image, first, buffer);
        r = writeBlock(i * words, buffer);
        if (!r) break;
        if (m_state.m_nAbort != kAbortNone) {
            r = false;
            break;
        }
        progress->SetPos(static_cast<int32_t>(i));
    }
    return r;
}

bool COrioleCore::WriteEepromPages(CWriterLink& link, const ImageBuffer& image) {
    const AVR_DEVICE& d = *m_pDevice;
    const auto size = static_cast<uint32_t>(d.eepromPageBytes);
    const uint32_t pages = CeilDiv(image.count, size);
    std::vector<uint8_t> buffer(size);
    const auto progress = CreateProgressDlg(0, static_cast<int32_t>(pages), text::kEepromCaption,
                                            text::kEepromWriting);
    bool r = true;
    // Every page is written, also one the file leaves empty: it goes back
    // as it was read.
    for (uint32_t i = 0; i < pages; ++i) {
        const size_t first = size_t{i} * size;
        if (CoverageOf(image, first, size) != Coverage::Full) {
            r = ReadEepromBlock(link, i, size, buffer);
            if (!r) break;
        }
        for (size_t j = 0; j < size; ++j) {
            const int16_t v = CellAt(image, first + j);
            if (v != kNoData) buffer[j] = static_cast<uint8_t>(v);
        }
        r = link.WriteEepromPage(i * size, buffer);
        if (!r) break;
        if (m_state.m_nAbort != kAbortNone) {
            r = false;
            break;
        }
        progress->SetPos(static_cast<int32_t>(i));
    }
    return r;
}

bool COrioleCore::WriteEepromChunks(CWriterLink& link, const ImageBuffer& image) {
    const AVR_DEVICE& d = *m_pDevice;
    const auto size = static_cast<uint32_t>(d.eepromChunkBytes);
    const uint32_t chunks = CeilDiv(image.count, size);
    std::vector<uint8_t> buffer(size);
    const auto progress = CreateProgressDlg(0, static_cast<int32_t>(chunks), text::kEepromCaption,
                                            text::kEepromWriting);
    bool r = true;
    // J writes every byte of a chunk, so a chunk the file gives only in part
    // is read back first: the device keeps the bytes the file leaves out.
    // Chunks without data are not touched at all.
    for (uint32_t k = 0; k < chunks; ++k) {
        const size_t first = size_t{k} * size;
        const Coverage coverage = CoverageOf(image, first, size);
        if (coverage == Coverage::Empty) continue;
        if (coverage == Coverage::Partial) {
            r = ReadEepromBlock(link, k, size, buffer);
            if (!r) break;
        }
        for (size_t j = 0; j < size; ++j) {
            const int16_t v = CellAt(image, first + j);
            if (v != kNoData) buffer[j] = static_cast<uint8_t>(v);
        }
        r = link.WriteEepromBytes(k * size, buffer, true);
        if (!r) break;
        if (m_state.m_nAbort != kAbortNone) {
            r = false;
            break;
        }
        progress->SetPos(static_cast<int32_t>(k));
    }
    return r;
}

}  // namespace oriole
