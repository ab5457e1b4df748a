// oriole-cli -p PART [-c oriole] [-P SPEC] [-e] [-D] [-V] [-n] [-F] [-q] [-v]
//            -U memory:op:file[:format] ...
// avrdude's command line on top of the same core operations as the device
// commands: the options are read the way avrdude's getopt reads them (glued
// or separate values, grouped flags), the -U requests run in order, and as
// avrdude does, a FLASH write erases the chip first unless -D, every write is
// verified unless -V, and any failure exits 1.

#include "CliAvrdude.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "CliAvrdudeOptions.h"
#include "CliCommon.h"
#include "CliFuses.h"
#include "CliOperationHost.h"
#include "base/AtomicFile.h"
#include "devices/PartNames.h"
#include "image/ImageReader.h"
#include "image/ImageWriter.h"
#include "ops/OrioleCore.h"
#include "res/Texts.h"

namespace oriole::cli {
namespace {

ImageFormat LoadFormat(char format) {
    switch (format) {
        case 'i':
        case 'm':
            return ImageFormat::IntelHex;
        case 's':
            return ImageFormat::SRecord;
        case 'r':
            return ImageFormat::Binary;
        case 'e':
            return ImageFormat::Elf;
        default:
            return ImageFormat::Auto;
    }
}

class Runner {
public:
    Runner(COrioleCore& core, const AvrdudeOptions& o) : m_core(core), m_o(o) {}
    bool Run();

private:
    bool Connect();
    bool EraseFirst();
    bool RunOp(const MemOp& op);
    bool RunMemory(const MemOp& op, bool flash);
    bool RunFuse(const MemOp& op, int32_t byte, uint8_t FuseBytes::*field);
    bool RunLock(const MemOp& op);
    bool RunReadOnly(const MemOp& op, const std::vector<uint8_t>& values, const char* what);
    bool InputFile(const MemOp& op, QString& path);
    bool InputBytes(const MemOp& op, std::vector<uint8_t>& out);
    bool Output(const MemOp& op, std::vector<uint8_t> data, bool flash);
    void Note(const QString& text) const {
        if (m_o.verbosity >= 0) std::printf("%s\n", qPrintable(text));
        std::fflush(stdout);
    }
    bool Skipped(const MemOp& op) const {
        if (!m_o.dryRun) return false;
        Note("-n: 書き込みません: " + op.spec);
        return true;
    }
    // A write and, unless -V, its verify: the write's own result message and
    // verify are held back so that the verify's result counts.
    template <typename Write, typename Verify>
    bool WriteThenVerify(uint32_t quietBit, Write write, Verify check) {
        if (m_o.noVerify) return write();
        m_core.m_nQuietFlags = quietBit;
        const bool written = write();
        m_core.m_nQuietFlags = 0;
        return written && check();
    }

    COrioleCore& m_core;
    const AvrdudeOptions& m_o;
    QTemporaryDir m_temp;
    int m_nTemp = 0;
};

bool Runner::Run() {
    if (!Connect() || !EraseFirst()) return false;
    for (const MemOp& op : m_o.ops) {
        if (m_o.verbosity > 0) Note("-U " + op.spec);
        if (!RunOp(op)) return false;
    }
    return true;
}

// avrdude reads the signature first and stops when it is not the part's, unless -F.
bool Runner::Connect() {
    CMainControls& k = m_core.m_controls;
    if (m_o.force) {
        if (m_o.deviceRow == 0) return Refuse("-F には -p でデバイスを指定してください。");
        k.SetCheck(ctl_id::kAutoDetect, false);
        k.SelectListRow(m_o.deviceRow);
        m_core.OnSelectDevice();
        return m_core.CheckDevice(true);
    }
    k.SetCheck(ctl_id::kAutoDetect, true);
    if (!m_core.CheckDevice(true)) return false;
    const AVR_DEVICE& found = *m_core.m_pDevice;
    const auto& s = found.signature;
    Note(QString::asprintf("デバイスの署名 = 0x%02x%02x%02x (%s)", s[0], s[1], s[2], found.name));
    if (m_o.deviceRow != 0 && DeviceAt(m_o.deviceRow).signature != s) {
        return Refuse(
            QString(
                "デバイスの署名が -p %1 (%2) と一致しません。確かめるか -F で無視してください。")
                .arg(m_o.part, DeviceAt(m_o.deviceRow).name));
    }
    return true;
}

bool Runner::EraseFirst() {
    bool flashWrite = false;
    for (const MemOp& op : m_o.ops)
        flashWrite = flashWrite || (op.mem == AvrMem::Flash && op.op == 'w');
    if (!m_o.erase && (!flashWrite || m_o.noAutoErase)) return true;
    if (m_o.dryRun) {
        Note("-n: チップを消去しません。");
        return true;
    }
    m_core.m_nQuietFlags = quiet::kErase;  // avrdude does not ask
    const bool erased = m_core.EraseDevice();
    m_core.m_nQuietFlags = 0;
    if (erased) Note(text::kEraseDone);
    return erased;
}

bool Runner::RunOp(const MemOp& op) {
    switch (op.mem) {
        case AvrMem::Flash:
            return RunMemory(op, true);
        case AvrMem::Eeprom:
            return RunMemory(op, false);
        case AvrMem::LowFuse:
            return RunFuse(op, kFuseLow, &FuseBytes::low);
        case AvrMem::HighFuse:
            return RunFuse(op, kFuseHigh, &FuseBytes::high);
        case AvrMem::ExtFuse:
            return RunFuse(op, kFuseExt, &FuseBytes::ext);
        case AvrMem::Lock:
            return RunLock(op);
        case AvrMem::Calibration: {
            const AVR_DEVICE& d = *m_core.m_pDevice;
            const size_t count = std::max<size_t>(CalibrationFrequencies(d.id).size(), 1);
            std::vector<uint8_t> values(count, 0xFF);
            if (op.op != 'w') {
                for (size_t i = 0; i < count; ++i)
                    if (!m_core.ReadCalibrationByte(static_cast<uint8_t>(i), values[i], false))
                        return false;
            }
            return RunReadOnly(op, values, "calibration");
        }
        case AvrMem::Signature: {
            const auto& s = m_core.m_pDevice->signature;
            return RunReadOnly(op, {s[0], s[1], s[2]}, "signature");
        }
    }
    return false;
}

bool Runner::RunMemory(const MemOp& op, bool flash) {
    if (op.op == 'r') {
        const bool read = flash ? m_core.ReadFlash(0, false) : m_core.ReadEeprom(0);
        return read && Output(op, flash ? m_core.m_pFlashRead : m_core.m_pEepromRead, flash);
    }
    QString file;
    if (!InputFile(op, file)) return false;
    const std::string path = file.toStdString();
    m_core.SetFileFormat(LoadFormat(op.format));
    if (op.op == 'v')
        return flash ? m_core.VerifyFlash(path, false) : m_core.VerifyEeprom(path, false);
    if (Skipped(op)) return true;
    if (flash) {
        return WriteThenVerify(
            quiet::kWriteFlash, [&] { return m_core.WriteFlash(path, false, false); },
            [&] { return m_core.VerifyFlash(path, false); });
    }
    return WriteThenVerify(
        quiet::kWriteEeprom, [&] { return m_core.WriteEeprom(path, false, false); },
        [&] { return m_core.VerifyEeprom(path, false); });
}

// One fuse byte: the others are written back as they were read. Bits the
// device does not have read back as 1, so they are compared as 1.
bool Runner::RunFuse(const MemOp& op, int32_t byte, uint8_t FuseBytes::*field) {
    const AVR_DEVICE& d = *m_core.m_pDevice;
    if (NamedFuseBits(d, byte) == 0)
        return Refuse(QString("%1 には %2 がありません。").arg(d.name, op.memName));
    FuseBytes current;
    if (op.op == 'r') {
        return m_core.ReadFuses(current.ext, current.high, current.low, false) &&
               Output(op, {current.*field}, false);
    }
    std::vector<uint8_t> value;
    if (!InputBytes(op, value)) return false;
    const bool read = op.op == 'v' ? m_core.ReadFuses(current.ext, current.high, current.low, false)
                                   : ReadAndPrintFuses(m_core, current, false);
    if (!read) return false;
    FuseBytes wanted = current;
    wanted.*field = value[0];
    const auto expected = [&](int32_t b, uint8_t v) {
        return static_cast<uint8_t>(v | static_cast<uint8_t>(~NamedFuseBits(d, b)));
    };
    const uint8_t ext = expected(kFuseExt, wanted.ext);
    const uint8_t high = expected(kFuseHigh, wanted.high);
    const uint8_t low = expected(kFuseLow, wanted.low);
    if (op.op == 'v') return m_core.VerifyFuses(ext, high, low, false);
    // avrdude writes the clock fuses the recipes give it; SPIEN stays programmed.
    if (!AcceptFuseWrite(m_core, current, wanted, true, "")) return false;
    if (Skipped(op)) return true;
    return WriteThenVerify(
        quiet::kWriteFuses,
        [&] { return m_core.WriteFuses(wanted.ext, wanted.high, wanted.low, false, false); },
        [&] { return m_core.VerifyFuses(ext, high, low, false); });
}

bool Runner::RunLock(const MemOp& op) {
    uint8_t lock = 0xFF;
    if (op.op == 'r') return m_core.ReadLockBits(lock, false) && Output(op, {lock}, false);
    std::vector<uint8_t> value;
    if (!InputBytes(op, value)) return false;
    const auto expected =
        static_cast<uint8_t>(value[0] | static_cast<uint8_t>(~NamedLockBits(*m_core.m_pDevice)));
    if (op.op == 'v') return m_core.VerifyLockBits(expected, false);
    if (Skipped(op)) return true;
    return WriteThenVerify(
        quiet::kWriteLock, [&] { return m_core.WriteLockBits(value[0], false, false); },
        [&] { return m_core.VerifyLockBits(expected, false); });
}

bool Runner::RunReadOnly(const MemOp& op, const std::vector<uint8_t>& values, const char* what) {
    if (op.op == 'r') return Output(op, values, false);
    if (op.op == 'w') return Refuse(QString("%1 には書き込めません。").arg(what));
    std::vector<uint8_t> expected;
    if (!InputBytes(op, expected)) return false;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (i >= values.size() || expected[i] != values[i])
            return Refuse(QString::asprintf("%s ベリファイ エラー: %04zX", what, i));
    }
    Note(QString("%1 ベリファイ OK!").arg(what));
    return true;
}

// The file the core loads: immediate values become a temporary HEX file, and
// standard input a temporary file of the format given.
bool Runner::InputFile(const MemOp& op, QString& path) {
    QByteArray content;
    if (op.format == 'm') {
        std::vector<uint8_t> values;
        if (!ParseImmediate(op.file, values)) return false;
        content = QByteArray::fromStdString(
            WriteIntelHex(true, values.data(), static_cast<uint32_t>(values.size())));
    } else if (op.file == "-") {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) return Refuse("標準入力を読めません。");
        content = in.readAll();
    } else {
        path = op.file;
        return true;
    }
    if (!m_temp.isValid()) return Refuse("一時ファイルを作れません。");
    path = m_temp.filePath(QString("input%1.dat").arg(++m_nTemp));
    if (!WriteFileAtomically(path, content)) return Refuse("一時ファイルを作れません。");
    return true;
}

// The values of a fuse, lock, calibration or signature request: from address
// 0 of the file, or from an ELF's own sections for them.
bool Runner::InputBytes(const MemOp& op, std::vector<uint8_t>& out) {
    if (op.format == 'm') return ParseImmediate(op.file, out);
    QString path;
    if (!InputFile(op, path)) return false;
    const bool elf =
        op.format == 'e' || (op.format != 'r' && op.format != 'i' && op.format != 's' &&
                             DetectImageFormat(path) == ImageFormat::Elf);
    if (elf) {
        ElfConfigBytes config;
        if (!m_core.ReadElfConfig(path.toStdString(), config)) return false;
        std::vector<int16_t> cells;
        switch (op.mem) {
            case AvrMem::LowFuse:
                cells = {config.fuses[0]};
                break;
            case AvrMem::HighFuse:
                cells = {config.fuses[1]};
                break;
            case AvrMem::ExtFuse:
                cells = {config.fuses[2]};
                break;
            case AvrMem::Lock:
                cells = {config.lock};
                break;
            case AvrMem::Signature:
                cells.assign(config.signature.begin(), config.signature.end());
                break;
            default:
                break;
        }
        for (const int16_t cell : cells) {
            if (cell == kNoData)
                return Refuse(QString("%1 に %2 の値がありません。").arg(op.file, op.memName));
            out.push_back(static_cast<uint8_t>(cell));
        }
        if (out.empty())
            return Refuse(QString("%1 に %2 の値がありません。").arg(op.file, op.memName));
        return true;
    }
    ImageBuffer image;
    image.Allocate(16);
    uint32_t lowest = 0, highest = 0;
    const ImageLoadOptions options{.format = LoadFormat(op.format)};
    if (!LoadImageFile(m_core.Host(), path, image, lowest, highest, options)) return false;
    for (uint32_t a = 0; a < image.count && image.cells[a] != kNoData; ++a)
        out.push_back(static_cast<uint8_t>(image.cells[a]));
    if (out.empty()) return Refuse("ファイルにアドレス 0 からの値がありません: " + op.file);
    return true;
}

bool Runner::Output(const MemOp& op, std::vector<uint8_t> data, bool flash) {
    const char format = op.format == kFormatOmitted || op.format == 'a' ? 'r' : op.format;
    const bool toStdout = op.file == "-";
    // As avrdude, the erased end of FLASH is left out of the values.
    if (flash && format != 'i' && format != 's')
        while (!data.empty() && data.back() == 0xFF) data.pop_back();
    const auto length = static_cast<uint32_t>(data.size());
    QByteArray bytes;
    switch (format) {
        case 'i':
        case 's':
        case 'r':
            if (!toStdout) {
                const int kind = format == 's'   ? kFormatSRecord
                                 : format == 'r' ? kFormatBinary
                                                 : kFormatIntelHex;
                // A raw file of a fuse or of EEPROM keeps its 0xFF bytes; FLASH was trimmed above.
                return SaveImageFile(m_core.Host(), op.file, kind, format == 'r', data.data(),
                                     length);
            }
            if (format == 'r') {
                bytes = QByteArray(reinterpret_cast<const char*>(data.data()),
                                   static_cast<qsizetype>(length));
                break;
            }
            bytes = QByteArray::fromStdString(format == 's'
                                                  ? WriteSRecord("", false, data.data(), length)
                                                  : WriteIntelHex(false, data.data(), length));
            break;
        default:
            bytes = QByteArray::fromStdString(FormatValues(data, format));
            break;
    }
    if (toStdout) {
        if (format != 'r' && !bytes.endsWith('\n')) bytes += '\n';
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fflush(stdout);
        return true;
    }
    if (WriteFileAtomically(op.file, bytes)) return true;
    m_core.Host().ShowMessage(MsgKind::Error, text::kFileCreateFailed);
    return false;
}

}  // namespace

bool IsAvrdudeOption(const QString& word) {
    return word.size() >= 2 && word[0] == '-' && word[1] != '-' && word != "-h";
}

int RunAvrdude(const QStringList& args) {
    AvrdudeOptions o;
    if (!ParseAvrdudeOptions(args, o)) return kExitFailed;
    CliOperationHost host(false);
    host.SetInformationShown(o.verbosity > -2);
    COrioleCore core(host);
    host.Attach(core.m_state);
    core.SetWriterSpec(o.writer, WriterSpecSource::User);
    core.m_state.m_nSysFreq = 1000000;
    core.m_state.m_nUsbTiming = 0;
    core.m_state.m_nDataSpeed = 1;
    Runner runner(core, o);
    return runner.Run() ? kExitOk : kExitFailed;
}

}  // namespace oriole::cli
