// The -U requests, -T lines and -t of avrdude's command line as one Job.
// The run is one job: every input is read once and checked against the
// device before the erase, so a file that cannot be programmed does not
// leave an empty chip.

#include "avrdude/AvrdudeRun.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <string>
#include <vector>

#include "base/AtomicFile.h"
#include "base/FileNode.h"
#include "base/FormatText.h"
#include "devices/Memories.h"
#include "devices/PartNames.h"
#include "image/ImageReader.h"
#include "image/ImageWriter.h"
#include "ops/FusePolicy.h"
#include "ops/Job.h"
#include "ops/OrioleCore.h"
#include "res/Texts.h"
#include "avrdude/AvrdudeFiles.h"
#include "avrdude/TerminalSession.h"

namespace oriole::avrdude {
namespace {

// I files are read whole, as value lists are.
constexpr qint64 kMaxTextFile = kMaxValueListBytes;

// The op of a -U that is skipped.
constexpr char kSkipped = 's';

// avrdude's format letters: i Intel HEX, s S-records, r raw binary, e ELF,
// h d o b R value lists (m, immediate values, never reaches a file); a and
// none: by the file.
ImageFormat FormatOfLetter(char format) {
    switch (format) {
        case 'i':
        case 'I':
            return ImageFormat::IntelHex;
        case 's':
            return ImageFormat::SRecord;
        case 'r':
            return ImageFormat::Binary;
        case 'e':
            return ImageFormat::Elf;
        case 'h':
        case 'd':
        case 'o':
        case 'b':
        case 'R':
            return ImageFormat::ValueList;
        default:
            return ImageFormat::Auto;
    }
}

// The file of a -U as its messages name it.
std::string ShownName(const Request& op) { return op.file == "-" ? "<stdin>" : op.file.toStdString(); }

// The memory a prefix names on `device`, as avrdude looks it up: the part's
// memories by their own names first, then by their other names (fuse,
// lockbits). False, with the candidates, when it names none or several.
bool ResolveOnPart(const AVR_DEVICE& device, Request& op, QStringList& candidates) {
    const QString word = op.memName;
    std::vector<Memory> found;
    for (const Memory mem : kAllMemories) {
        const QString name = QLatin1String(MemoryName(mem));
        if (HasMemory(device, mem) && name.startsWith(word, Qt::CaseInsensitive)) {
            found.push_back(mem);
            candidates << name;
        }
    }
    Memory other{};
    if (found.empty() && FindMemory(word.toStdString(), other) == MemoryMatch::Found &&
        HasMemory(device, other))
        found.push_back(other);
    if (found.size() != 1) return false;
    op.mem = found.front();
    op.memName = QLatin1String(MemoryName(op.mem));
    op.prefix = false;
    return true;
}

// The fuse byte of a fuse memory: its field and the bytes a job step names.
uint8_t& FuseField(FuseBytes& fuses, Memory mem) {
    return mem == Memory::HighFuse ? fuses.high : mem == Memory::ExtFuse ? fuses.ext : fuses.low;
}

// The bytes of an output file in one of avrdude's formats.
QByteArray Encode(const std::vector<uint8_t>& data, char format, uint32_t memoryBytes) {
    switch (format) {
        case 'r':
            return {reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())};
        case 's':
            return QByteArray::fromStdString(AvrdudeSRecord(data, memoryBytes));
        case 'i':
        case 'I':
            return QByteArray::fromStdString(AvrdudeIntelHex(data, format == 'I'));
        default:
            return QByteArray::fromStdString(FormatValues(data, format));
    }
}

}  // namespace

// What a -U request that writes or verifies was given, read before the chip
// is touched: the image of a memory, or the bytes of a fuse, the lock, the
// calibration or the signature.
struct CAvrdudeRun::Input {
    ImageBuffer image;
    std::vector<uint8_t> bytes;
};

CAvrdudeRun::CAvrdudeRun(COrioleCore& core, RunSettings settings, RunStreams streams)
    : m_core(core), m_o(std::move(settings)), m_io(std::move(streams)) {}

CAvrdudeRun::~CAvrdudeRun() = default;

Cause CAvrdudeRun::Failure() const {
    return m_failure != Cause::None ? m_failure : m_core.FirstFailure().cause;
}

// Every refusal of the form's own: one line through the core's host, with
// its cause, so the run's failure is a value as the job's are.
bool CAvrdudeRun::Refuse(Cause cause, const QString& message) {
    return Refuse({cause, message.toStdString()});
}

bool CAvrdudeRun::Refuse(const Refusal& refusal) {
    return Fail(refusal.cause, MsgKind::Error, "oriole-cli: " + refusal.message);
}

// A failure said as the core says its own (the loader's words, no prefix).
bool CAvrdudeRun::Fail(Cause cause, MsgKind kind, const std::string& text) {
    if (m_failure == Cause::None) m_failure = cause;
    m_core.ReportFailure(cause, kind, text);
    return false;
}

// The bytes of an m value.
bool CAvrdudeRun::DataItems(const Request& op, std::vector<uint8_t>& out) {
    const Refusal refused = ParseDataItems(op.file.toUtf8(), false, out, m_io.err);
    return !refused || Refuse(refused);
}

void CAvrdudeRun::Note(const QString& text) const {
    if (m_o.verbosity >= 0) std::fprintf(m_io.err, "%s\n", qPrintable(text));
}

JobStep& CAvrdudeRun::Add(size_t index, StepKind kind) {
    m_opOf.push_back(index);
    JobStep& step = m_job.steps.emplace_back();
    step.kind = kind;
    return step;
}

void CAvrdudeRun::AddCustom(size_t index, std::function<bool(const OpOptions&)> work) {
    Add(index, StepKind::Custom).custom = std::move(work);
}

// The bits the device does not have read back as 1.
void CAvrdudeRun::SetLock(JobStep& step, const Request& op, uint8_t value) const {
    if (op.op == 'w') step.lock = value;
    if (op.op == 'v') step.lock = LockBitsAsRead(m_core.Device(), value);
}

size_t CAvrdudeRun::CalibrationCount() const {
    return std::max<size_t>(CalibrationFrequencies(m_core.Device().id).size(), 1);
}

// -n: the byte a fuse or lock write would program, shown and not written.
bool CAvrdudeRun::Skipped(const Request& op, uint8_t value) {
    Note("-n: 書き込みません: " + op.spec);
    return DryRunOutput({value}, op.mem);
}

bool CAvrdudeRun::DryRunOutput(std::vector<uint8_t> data, Memory mem) {
    TrimAsRead(data, mem);
    const std::string hex = AvrdudeIntelHex(data, false);
    std::fwrite(hex.data(), 1, hex.size(), m_io.out);
    return std::fflush(m_io.out) == 0;
}

bool CAvrdudeRun::Build() {
    // avrdude does not ask, writes the clock fuses its recipes give it
    // (SPIEN still stays programmed) and verifies unless -V.
    m_job.options = OpOptions{.confirm = false};
    m_job.fusePolicy = {.risky = RiskyFuses::Allow};
    // Connect() has read the signature, as avrdude does first.
    m_job.detected = true;
    m_ops = m_o.requests;
    for (Request& op : m_ops) Resolve(op);
    m_inputs.resize(m_ops.size());
    m_calibration.resize(m_ops.size());
    m_late.assign(m_ops.size(), false);
    m_turn.assign(m_ops.size(), false);
    m_target.assign(m_ops.size(), 0);
    if (NeedsErase()) {
        if (m_o.dryRun) {
            AddCustom(0, [this](const OpOptions&) {
                std::fprintf(m_io.err, "oriole-cli: 警告: %s\n",
                             m_o.erase ? "-e と -n が両方指定されています。チップを消去しません。"
                                       : "-n が指定されているので、チップを消去しません。");
                return true;
            });
        } else {
            Add(0, StepKind::Erase).quiet = true;
        }
    }
    for (size_t i = 0; i < m_ops.size(); ++i)
        if (!AddSteps(i)) return false;
    m_terminal = std::make_unique<CTerminalSession>(
        m_core,
        [this](std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), m_io.out);
            std::fflush(m_io.out);
        },
        // Its messages count as the host's, so a failed run names no other cause.
        [this](std::string_view text) {
            m_core.Host().ShowMessage(MsgKind::Warning, "oriole-cli: " + std::string(text));
        },
        false);
    m_terminal->SetQuell(std::max(0, -m_o.verbosity));
    m_terminal->SetVerbose(std::max(0, m_o.verbosity));
    m_terminal->onQuell = m_io.onQuell;
    if (m_o.dryRun && std::any_of(m_ops.begin(), m_ops.end(), IsTerminalStep))
        std::fprintf(m_io.err, "oriole-cli: 警告: ターミナルは -n に関わらずデバイスに書き込みます。\n");
    return true;
}

bool CAvrdudeRun::Execute() {
    JobEvents events;
    events.onEnd = [this](const JobStep& step, bool ok) {
        if (ok && step.kind == StepKind::Erase) Note(text::kEraseDone);
    };
    events.onCurrentFuses = [this](const FuseBytes& f) {
        if (m_io.onCurrentFuses) m_io.onCurrentFuses(m_core.Device(), f);
    };
    events.onRead = [this](const JobStep& step, std::span<const uint8_t> bytes) { return OnRead(step, bytes); };
    // The steps of a file an earlier -U writes wait for their turn to be
    // loaded and checked; the request's first step (a custom one) reads it.
    events.wanted = [this](const JobStep& step) {
        const size_t index = m_opOf[static_cast<size_t>(&step - m_job.steps.data())];
        return index >= m_late.size() || !m_late[index] || m_turn[index] || step.kind == StepKind::Custom;
    };
    const JobResult result = RunJob(m_core, m_job, events);
    if (!result.ok && m_failure == Cause::None) m_failure = result.cause == Cause::None ? Cause::Other : result.cause;
    // Whatever the terminal still holds is written at the end, also after a
    // failed step.
    const bool flushed = m_terminal->Flush();
    if (!flushed && m_failure == Cause::None) m_failure = Cause::Other;
    return flushed && result.ok;
}

// The job steps of one -U, -T or -t. A -U on a memory the part lacks, or
// whose name starts several of the part's memories, is skipped with a
// warning, as avrdude 7 does.
bool CAvrdudeRun::AddSteps(size_t index) {
    Request& op = m_ops[index];
    Input& in = m_inputs[index];
    if (IsTerminalStep(op)) {
        AddCustom(index, [this, &op](const OpOptions& o) { return RunTerminal(op, o); });
        return true;
    }
    if (op.op == kSkipped) return true;
    m_late[index] = op.op != 'r' && WrittenBefore(index);
    if (op.op != 'r' && !m_late[index] && !LoadInput(op, in)) return false;
    // As avrdude: the terminal's cached writes go to the device before -U
    // touches it, and what it read is read again after. A file an earlier
    // -U wrote is read now.
    AddCustom(index, [this, &op, index](const OpOptions& o) {
        if (m_terminal->Verbose() > 0) Note("-U " + op.spec);
        m_terminal->SetTiming(o.timing);
        const bool flushed = m_terminal->Flush();
        m_terminal->SetTiming(false);
        if (flushed) m_terminal->Reset();
        if (!flushed || !m_late[index]) return flushed;
        m_turn[index] = true;
        return LoadAtTurn(index);
    });
    const bool late = m_late[index];
    const bool write = op.op == 'w', verify = op.op == 'v';
    const bool verifies = !m_o.noVerify;
    switch (op.mem) {
        case Memory::Flash:
        case Memory::Eeprom: {
            const bool flash = op.mem == Memory::Flash;
            if (op.op == 'r') {
                Add(index, flash ? StepKind::ReadFlash : StepKind::ReadEeprom);
                return true;
            }
            const int image = static_cast<int>(m_job.images.size());
            m_target[index] = static_cast<size_t>(image);
            JobImage& given = m_job.images.emplace_back();
            given.name = ShownName(op);
            given.image = std::move(in.image);
            given.loaded = !late;
            const StepKind kind = flash ? (write ? StepKind::WriteFlash : StepKind::VerifyFlash)
                                        : (write ? StepKind::WriteEeprom : StepKind::VerifyEeprom);
            if (write && m_o.dryRun) {
                // The input is refused as the write would refuse it: now,
                // or when a file written before is read.
                auto check = [this, kind, image] {
                    JobStep step;
                    step.kind = kind;
                    step.image = image;
                    return CheckStep(m_job, step, m_core.Device(), m_core.Host()).ok;
                };
                if (!late && !check()) return false;
                AddCustom(index, [this, &op, image, late, check](const OpOptions&) {
                    return (!late || check()) && DryRunWrite(op, m_job.images[static_cast<size_t>(image)].image);
                });
                return true;
            }
            JobStep& step = Add(index, kind);
            step.image = image;
            step.verify = write && verifies;
            return true;
        }
        case Memory::LowFuse:
        case Memory::HighFuse:
        case Memory::ExtFuse: {
            // One fuse byte: the others are written back as the write reads
            // them, and compared as the chip holds them.
            // -n reads what the chip holds and shows what would be written.
            m_target[index] = m_job.steps.size();
            JobStep& step = Add(index, write && !m_o.dryRun ? StepKind::WriteFuses
                                       : verify             ? StepKind::VerifyFuses
                                                            : StepKind::ReadFuses);
            step.fuseBytes = FuseBytesOf(op.mem);
            step.verify = step.kind == StepKind::WriteFuses && verifies;
            if (op.op != 'r' && !late) FuseField(step.fuses, op.mem) = in.bytes[0];
            return true;
        }
        case Memory::Lock: {
            if (write && m_o.dryRun) {
                AddCustom(index, [this, &op, &in](const OpOptions&) { return Skipped(op, in.bytes[0]); });
                return true;
            }
            m_target[index] = m_job.steps.size();
            JobStep& step = Add(index, write ? StepKind::WriteLock : verify ? StepKind::VerifyLock : StepKind::ReadLock);
            step.verify = write && verifies;
            if (op.op != 'r' && !late) SetLock(step, op, in.bytes[0]);
            return true;
        }
        case Memory::Calibration:
            // Neither read-only memory is written: refused with the other
            // inputs, before the chip is touched.
            if (write) return Refuse(Cause::NoSuchMemory, "calibration には書き込めません。");
            // One byte per factory frequency; the last read writes or compares them all.
            for (size_t i = 0; i < CalibrationCount(); ++i)
                Add(index, StepKind::ReadCalibration).calibIndex = static_cast<uint8_t>(i);
            return true;
        case Memory::Signature:
            if (write) return Refuse(Cause::NoSuchMemory, "signature には書き込めません。");
            // The detection read it.
            AddCustom(index, [this, &op, &in](const OpOptions&) {
                const auto& s = m_core.Device().signature;
                return CheckReadOnly(op, in, {s[0], s[1], s[2]}, "signature");
            });
            return true;
    }
    return false;
}

// The input of request `index`, a file an earlier -U wrote, read at its
// turn into the image or step that takes it.
bool CAvrdudeRun::LoadAtTurn(size_t index) {
    const Request& op = m_ops[index];
    Input& in = m_inputs[index];
    if (!LoadInput(op, in)) return false;
    switch (op.mem) {
        case Memory::Flash:
        case Memory::Eeprom: {
            JobImage& image = m_job.images[m_target[index]];
            image.image = std::move(in.image);
            image.loaded = true;
            return true;
        }
        case Memory::LowFuse:
        case Memory::HighFuse:
        case Memory::ExtFuse:
            FuseField(m_job.steps[m_target[index]].fuses, op.mem) = in.bytes[0];
            return true;
        case Memory::Lock:
            SetLock(m_job.steps[m_target[index]], op, in.bytes[0]);
            return true;
        case Memory::Calibration:
        case Memory::Signature:
            return true;  // their steps compare with the input when they come
    }
    return true;
}

// An earlier -U reads the memory into the file this one reads.
bool CAvrdudeRun::WrittenBefore(size_t index) const {
    const Request& op = m_ops[index];
    if (op.file == "-" || op.format == 'm') return false;
    const QString path = QFileInfo(op.file).absoluteFilePath();
    for (size_t i = 0; i < index; ++i) {
        const Request& earlier = m_ops[i];
        if (earlier.op == 'r' && earlier.file != "-" && QFileInfo(earlier.file).absoluteFilePath() == path) return true;
        // As avrdude: a terminal before it may have saved the file (a -T
        // line that names it, or any interactive terminal).
        if (earlier.op == 't' || (earlier.op == 'T' && earlier.spec.contains(op.file))) return true;
    }
    return false;
}

bool CAvrdudeRun::OnRead(const JobStep& step, std::span<const uint8_t> bytes) {
    const size_t index = m_opOf[static_cast<size_t>(&step - m_job.steps.data())];
    const Request& op = m_ops[index];
    switch (step.kind) {
        case StepKind::ReadFuses: {
            FuseBytes current{bytes[0], bytes[1], bytes[2]};
            if (op.op == 'r') return Output(op, {FuseField(current, op.mem)}, op.mem);
            if (m_io.onCurrentFuses) m_io.onCurrentFuses(m_core.Device(), current);
            return Skipped(op, m_inputs[index].bytes[0]);
        }
        case StepKind::ReadCalibration: {
            std::vector<uint8_t>& values = m_calibration[index];
            values.push_back(bytes[0]);
            if (values.size() < CalibrationCount()) return true;
            if (op.op == 'r') return Output(op, values, op.mem);
            return CheckReadOnly(op, m_inputs[index], values, "calibration");
        }
        default:
            return Output(op, {bytes.begin(), bytes.end()}, op.mem);
    }
}

// As avrdude's -n: what the write would program goes to standard output as
// Intel HEX, from address 0, gaps as 0xFF.
bool CAvrdudeRun::DryRunWrite(const Request& op, const ImageBuffer& image) {
    const auto& cells = image.cells;
    const auto first = std::find_if(cells.begin(), cells.end(), [](int16_t c) { return c != kNoData; });
    const auto bytes = std::count_if(first, cells.end(), [](int16_t c) { return c != kNoData; });
    Note(QString::asprintf("-n: %s に %td バイト (0x%04tx - 0x%04x) を書き込むところですが、書き込みません。",
                           op.mem == Memory::Flash ? "FLASH" : "EEPROM", bytes, first - cells.begin(),
                           image.count == 0 ? 0u : image.count - 1));
    std::vector<uint8_t> data(image.count, 0xFF);
    for (size_t a = 0; a < data.size(); ++a)
        if (cells[a] != kNoData) data[a] = static_cast<uint8_t>(cells[a]);
    return DryRunOutput(data, op.mem);
}

// -T: one line, whose failure ends the run with status 1 as avrdude's does.
bool CAvrdudeRun::RunTerminal(const Request& op, const OpOptions& options) {
    m_terminal->SetTiming(options.timing);
    bool ok = true;
    if (op.op == 't') {
        ok = Interactive();
    } else {
        if (m_terminal->Verbose() > 0) Note("-T " + op.spec);
        ok = m_terminal->RunLine(op.spec.toStdString());
    }
    m_terminal->SetTiming(false);
    return ok;
}

// -t: lines from standard input until quit or its end, a prompt only on a
// terminal. The terminal's modes are left alone, so Ctrl-C (which ends the
// tool between operations) leaves it as it was.
bool CAvrdudeRun::OpenStandardInput() {
    if (m_lines) return true;
    const bool tty = isatty(m_io.in) != 0;
    m_stdin = std::make_unique<CInputFile>("<stdin>", tty ? kNoDataWait : kInputDataWait);
    if (!m_stdin->OpenDescriptor(m_io.in)) {
        m_stdin.reset();
        return Refuse(Cause::File, "標準入力を読めません。");
    }
    m_lines = std::make_unique<CLineInput>(*m_stdin);
    return true;
}

bool CAvrdudeRun::Interactive() {
    if (!OpenStandardInput()) return false;
    const bool tty = isatty(m_io.in) != 0;
    std::string line;
    while (!m_terminal->QuitRequested()) {
        if (tty) {
            std::fputs("oriole> ", m_io.out);
            std::fflush(m_io.out);
        }
        // A line longer than the terminal runs costs no more than its bound.
        if (!m_lines->Next(line)) {
            if (tty) std::fputs("\n", m_io.out);
            // An input past its bounds ends the terminal with its message;
            // what the cache holds is still written.
            if (!m_lines->Failure().empty()) {
                (void)m_terminal->Flush();
                return Refuse(Cause::File, QString::fromStdString(NameInText(m_lines->Failure(), "<stdin>")));
            }
            break;
        }
        (void)m_terminal->RunLine(line);
    }
    // As avrdude: the end of the input is a quit, and the exit status only
    // says whether the cache reached the device.
    return m_terminal->Flush();
}

// avrdude reads the signature first and stops when it is not the part's, unless -F.
bool CAvrdudeRun::Connect() {
    if (m_o.force) {
        if (m_o.deviceRow == 0) return Refuse(Cause::Other, "-F には -p でデバイスを指定してください。");
        m_core.SetAutoDetect(false);
        m_core.SelectDevice(m_o.deviceRow);
        return m_core.CheckDevice(true);
    }
    m_core.SetAutoDetect(true);
    if (!m_core.CheckDevice(true)) return false;
    const AVR_DEVICE& found = m_core.Device();
    const auto& s = found.signature;
    Note(QString::asprintf("デバイスの署名 = 0x%02x%02x%02x (%s)", s[0], s[1], s[2], found.name));
    if (m_o.deviceRow != 0 && DeviceAt(m_o.deviceRow).signature != s) {
        return Refuse(Cause::OtherDevice,
            QString(
                "デバイスの署名が -p %1 (%2) と一致しません。確かめるか -F で無視してください。")
                .arg(m_o.part, DeviceAt(m_o.deviceRow).name));
    }
    return true;
}


// A -U whose memory the part lacks, or whose name starts several of the
// part's memories, is skipped with a warning (and erases nothing).
void CAvrdudeRun::Resolve(Request& op) {
    if (IsTerminalStep(op)) return;
    QStringList candidates;
    if (op.prefix && !ResolveOnPart(m_core.Device(), op, candidates) && candidates.size() > 1) {
        std::fprintf(m_io.err, "oriole-cli: 警告: -U のメモリ名 %s は %s のどれか決まりません。-U %s を飛ばします。\n",
                     qPrintable(op.memName), qPrintable(candidates.join(", ")), qPrintable(op.spec));
        op.op = kSkipped;
    } else if (op.prefix || !HasMemory(m_core.Device(), op.mem)) {
        std::fprintf(m_io.err, "oriole-cli: 警告: %s には %s がありません。-U %s を飛ばします。\n",
                     m_core.Device().name, qPrintable(op.memName), qPrintable(op.spec));
        op.op = kSkipped;
    }
}

bool CAvrdudeRun::NeedsErase() const {
    bool flashWrite = false;
    for (const Request& op : m_ops)
        flashWrite = flashWrite || (op.mem == Memory::Flash && op.op == 'w');
    return m_o.erase || (flashWrite && !m_o.noAutoErase);
}

bool CAvrdudeRun::LoadInput(const Request& op, Input& in) {
    if (op.mem != Memory::Flash && op.mem != Memory::Eeprom) {
        if (!InputBytes(op, in.bytes)) return false;
        // avrdude drops what does not fit; a value meant for more bytes is refused here.
        const size_t size = op.mem == Memory::Signature ? 3
                            : op.mem == Memory::Calibration
                                ? std::max<size_t>(CalibrationFrequencies(m_core.Device().id).size(), 1)
                                : 1;
        if (in.bytes.size() <= size) return true;
        return Refuse(Cause::TooLarge, QString("値が正しくありません: %1 バイトの値は %2 (%3 バイト) に収まりません。")
                          .arg(in.bytes.size())
                          .arg(op.memName)
                          .arg(size));
    }
    const bool flash = op.mem == Memory::Flash;
    if (op.format == 'm') {
        // Immediate values are bytes from address 0, taken as they are.
        std::vector<uint8_t> values;
        if (!DataItems(op, values)) return false;
        const auto size = static_cast<size_t>(flash ? m_core.Device().FlashBytes() : m_core.Device().eepromBytes);
        if (values.size() > size) {
            return Fail(Cause::TooLarge, MsgKind::Error, text::kHexBeyondDevice);
        }
        in.image.Allocate(static_cast<uint32_t>(size));
        for (size_t a = 0; a < values.size(); ++a) in.image.cells[a] = values[a];
        in.image.count = static_cast<uint32_t>(values.size());
        return true;
    }
    QString file;
    if (!InputFile(op, file)) return false;
    m_core.SetFileFormat(FormatOfLetter(op.format));
    const std::string path = file.toStdString();
    const std::string shown = ShownName(op);
    if (!(flash ? m_core.LoadFlashImage(path, in.image, shown) : m_core.LoadEepromImage(path, in.image, shown)))
        return false;
    // A file with nothing for the memory is the job's to refuse.
    return true;
}

// A signature or calibration request: the bytes read, written out or
// compared with the input; neither memory is written.
bool CAvrdudeRun::CheckReadOnly(const Request& op, const Input& in, const std::vector<uint8_t>& values,
                           const char* what) {
    if (op.op == 'r') return Output(op, values, op.mem);
    if (op.op == 'w') return Refuse(Cause::NoSuchMemory, QString("%1 には書き込めません。").arg(what));
    const std::vector<uint8_t>& expected = in.bytes;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (i >= values.size() || expected[i] != values[i])
            return Refuse(Cause::VerifyMismatch, QString::asprintf("%s ベリファイ エラー: %04zX", what, i));
    }
    Note(QString("%1 ベリファイ OK!").arg(what));
    return true;
}

bool CAvrdudeRun::TempFile(const QByteArray& content, QString& path) {
    if (!m_temp.isValid()) return Refuse(Cause::File, "一時ファイルを作れません。");
    path = m_temp.filePath(QString("input%1.dat").arg(++m_nTemp));
    if (!WriteFileAtomically(path, content)) return Refuse(Cause::File, "一時ファイルを作れません。");
    return true;
}

// The file the core loads: standard input is read once into a temporary
// file, and an I file (comments, checksums forgiven) made strict there.
bool CAvrdudeRun::InputFile(const Request& op, QString& path) {
    path = op.file;
    if (op.file == "-") {
        QByteArray data;
        if (!OpenStandardInput()) return false;
        if (!m_lines->Rest(data))
            return Refuse(Cause::File, QString::fromStdString(NameInText(m_lines->Failure(), "<stdin>")));
        if (!TempFile(data, path)) return false;
    }
    if (op.format != 'I') return true;
    QByteArray text;
    const ReadFile read = ReadRegularFile(path, kMaxTextFile, text);
    if (read == ReadFile::Ok) return TempFile(StrictIntelHex(text), path);
    // As the loader says it.
    const std::string why = read == ReadFile::TooLarge
                                ? FormatText(text::kInputTooLarge, static_cast<int>(kMaxTextFile >> 20))
                                : std::string(text::kFileOpenFailed);
    return Fail(Cause::File, MsgKind::Warning, NameInText(why, ShownName(op)));
}

// The values of a fuse, lock, calibration or signature request: from address
// 0 of the file, or from an ELF's own sections for them.
bool CAvrdudeRun::InputBytes(const Request& op, std::vector<uint8_t>& out) {
    if (op.format == 'm') return DataItems(op, out);
    QString path;
    if (!InputFile(op, path)) return false;
    const bool elf = op.format == 'e' || (FormatOfLetter(op.format) == ImageFormat::Auto &&
                                          DetectImageFormat(path, true) == ImageFormat::Elf);
    if (elf) {
        ElfConfigBytes config;
        if (!m_core.ReadElfConfig(path.toStdString(), config)) return false;
        std::vector<int16_t> cells;
        switch (op.mem) {
            case Memory::LowFuse:
                cells = {config.fuses[0]};
                break;
            case Memory::HighFuse:
                cells = {config.fuses[1]};
                break;
            case Memory::ExtFuse:
                cells = {config.fuses[2]};
                break;
            case Memory::Lock:
                cells = {config.lock};
                break;
            case Memory::Signature:
                cells.assign(config.signature.begin(), config.signature.end());
                break;
            default:
                break;
        }
        for (const int16_t cell : cells) {
            if (cell == kNoData)
                return Refuse(Cause::EmptyInput, QString("%1 に %2 の値がありません。").arg(op.file, op.memName));
            out.push_back(static_cast<uint8_t>(cell));
        }
        if (out.empty())
            return Refuse(Cause::EmptyInput, QString("%1 に %2 の値がありません。").arg(op.file, op.memName));
        return true;
    }
    ImageBuffer image;
    image.Allocate(16);
    uint32_t lowest = 0, highest = 0;
    const ImageLoadOptions options{.format = FormatOfLetter(op.format),
                                   .byContent = true,
                                   .valueList = DataItemParser(),
                                   .shownName = ShownName(op),
                                   .acceptMissingEnd = true};
    if (!LoadImageFile(m_core.Host(), path, image, lowest, highest, options)) return false;
    for (uint32_t a = 0; a < image.count && image.cells[a] != kNoData; ++a)
        out.push_back(static_cast<uint8_t>(image.cells[a]));
    if (out.empty()) return Refuse(Cause::EmptyInput, "ファイルにアドレス 0 からの値がありません: " + QString::fromStdString(ShownName(op)));
    return true;
}

// What avrdude writes for a read: the memory as TrimAsRead leaves it, every
// byte of that range in the file, blocks of 0xFF included.
bool CAvrdudeRun::Output(const Request& op, std::vector<uint8_t> data, Memory mem) {
    const char format = op.format == kFormatOmitted || op.format == 'a' ? 'r' : op.format;
    TrimAsRead(data, mem);
    const QByteArray bytes = Encode(data, format, MemoryBytes(mem, data.size()));
    if (op.file == "-") {
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_io.out);
        std::fflush(m_io.out);
        return true;
    }
    const char* fault = nullptr;
    if (WriteFileAtomically(op.file, bytes, &fault)) return true;
    return Fail(Cause::File, MsgKind::Error, fault != nullptr ? fault : text::kFileCreateFailed);
}

// As avrdude: FLASH ends after its last byte that is not 0xFF, rounded up to
// a whole word (all of it with -A, which -D implies); the rest stays whole.
void CAvrdudeRun::TrimAsRead(std::vector<uint8_t>& data, Memory mem) const {
    if (mem != Memory::Flash || m_o.keepTrailingFF || m_o.noAutoErase) return;
    size_t end = data.size();
    while (end > 0 && data[end - 1] == 0xFF) --end;
    data.resize(std::min(data.size(), end + (end & 1)));
}

uint32_t CAvrdudeRun::MemoryBytes(Memory mem, size_t dataBytes) const {
    const AVR_DEVICE& d = m_core.Device();
    if (mem == Memory::Flash) return d.FlashBytes();
    if (mem == Memory::Eeprom) return d.eepromBytes;
    return static_cast<uint32_t>(dataBytes);
}

}  // namespace oriole::avrdude
