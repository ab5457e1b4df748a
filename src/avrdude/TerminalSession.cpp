#include "avrdude/TerminalSession.h"

#include <strings.h>

#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/AtomicFile.h"
#include "base/FileNode.h"
#include "base/FormatText.h"
#include "image/InputFile.h"
#include "ops/FusePolicy.h"
#include "res/TerminalTexts.h"
#include "res/Texts.h"
#include "avrdude/AvrdudeFiles.h"
#include "ops/Job.h"

namespace oriole::avrdude {

namespace tt = text::terminal;

namespace {

bool IsPrefix(std::string_view prefix, std::string_view name) {
    return !prefix.empty() && prefix.size() <= name.size() &&
           strncasecmp(prefix.data(), name.data(), prefix.size()) == 0;
}

uint8_t& FuseField(FuseBytes& fuses, Memory mem) {
    return mem == Memory::HighFuse ? fuses.high : mem == Memory::ExtFuse ? fuses.ext : fuses.low;
}

// One line of a dump as avrdude lays it out: the address, 16 bytes in hex
// with a gap after the eighth, their characters between bars.
std::string DumpLine(int digits, int32_t addr, const uint8_t* p, int32_t n) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex, chars;
    for (int32_t i = 0; i < n; ++i) {
        if (i != 0 && i % 8 == 0) hex += ' ';
        hex += kHex[p[i] >> 4];
        hex += kHex[p[i] & 0x0F];
        if (i < 15) hex += ' ';
        const unsigned char c = p[i];
        chars += c < 0x80 && std::isspace(c)   ? ' '
                 : c < 0x80 && std::isgraph(c) ? static_cast<char>(c)
                                               : '.';
    }
    hex.resize(std::max<size_t>(hex.size(), 48), ' ');
    chars.resize(std::max<size_t>(chars.size(), 16), ' ');
    return FormatText("%0*x  %s  |%s|\n", digits, static_cast<unsigned>(addr), hex.c_str(),
                      chars.c_str());
}

struct Property {
    std::string name;
    Memory mem;
    int bit;
};

// The named fuse and lock bits of the device, byte by byte, high bit first.
std::vector<Property> PropertiesOf(const AVR_DEVICE& d) {
    std::vector<Property> out;
    const struct {
        Memory mem;
        const std::array<int32_t, 8>& bits;
    } bytes[] = {{Memory::LowFuse, d.lowFuseBits},
                 {Memory::HighFuse, d.highFuseBits},
                 {Memory::ExtFuse, d.extFuseBits}};
    for (const auto& b : bytes) {
        if (!HasMemory(d, b.mem)) continue;
        for (int bit = 7; bit >= 0; --bit)
            if (const int32_t index = b.bits[static_cast<size_t>(bit)]; index != 0)
                out.push_back({FuseBitName(index), b.mem, bit});
    }
    if (HasMemory(d, Memory::Lock)) {
        for (int bit = 7; bit >= 0; --bit)
            if (const int32_t index = d.lockBits[static_cast<size_t>(bit)]; index != 0)
                out.push_back({LockBitName(index), Memory::Lock, bit});
    }
    return out;
}

}  // namespace

CTerminalSession::CTerminalSession(COrioleCore& core, Sink out, Sink message, bool timing)
    : m_core(core),
      m_out(std::move(out)),
      m_message(std::move(message)),
      m_bTiming(timing),
      m_cache([this](Memory mem, uint32_t end, std::vector<uint8_t>& bytes) {
          JobStep step;
          step.kind = mem == Memory::Flash ? StepKind::ReadFlash : StepKind::ReadEeprom;
          step.readBytes = end;
          return ReadStep(step, bytes);
      }) {}

CTerminalSession::~CTerminalSession() = default;

// Every device access of the session is a job: avrdude's fuse policy (SPIEN
// stays programmed), nothing asked or shown but failures. The device is the
// one the session works on; where the session is to send the timing, the
// job begins as a fresh one does.
JobResult CTerminalSession::RunSteps(Job& job, const JobEvents& events) {
    job.options = Quietly(false);
    job.fusePolicy = {.risky = RiskyFuses::Allow};
    job.detected = !m_bTiming;
    return RunJob(m_core, job, events);
}

bool CTerminalSession::ReadStep(const JobStep& step, std::vector<uint8_t>& out) {
    Job job;
    job.steps = {step};
    JobEvents events;
    events.onRead = [&out](const JobStep&, std::span<const uint8_t> bytes) {
        out.assign(bytes.begin(), bytes.end());
        return true;
    };
    return RunSteps(job, events).ok;
}

bool CTerminalSession::LockReadable() const { return DescribeMemory(m_core.Device(), Memory::Lock).readable; }

bool CTerminalSession::RunLine(std::string_view line) {
    if (line.size() > kMaxLine) return Error(FormatText(tt::kLineTooLong, static_cast<int>(kMaxLine / 1024)));
    // A NUL would end the line for whatever reads it as a C string.
    if (line.find('\0') != std::string_view::npos) return Error(tt::kLineHasNul);
    bool ok = true;
    for (const Words& words : SplitLine(line)) {
        if (words.front().front() == '!')
            ok = Error(tt::kNoShell);
        else if (!Dispatch(words))
            ok = false;
        if (m_bQuit) break;
    }
    return ok;
}

bool CTerminalSession::Dispatch(const Words& words) {
    using Run = bool (CTerminalSession::*)(const Words&);
    static constexpr struct {
        const char* name;
        Run run;
    } kCommands[] = {
        // avrdude's order, which the list of an ambiguous prefix follows.
        {"dump", &CTerminalSession::Dump},       {"read", &CTerminalSession::Dump},
        {"write", &CTerminalSession::Write},     {"save", &CTerminalSession::Save},
        {"flush", &CTerminalSession::FlushCommand}, {"abort", &CTerminalSession::Abort},
        {"erase", &CTerminalSession::Erase},     {"config", &CTerminalSession::Config},
        {"include", &CTerminalSession::Include}, {"sig", &CTerminalSession::Sig},
        {"part", &CTerminalSession::Part},       {"verbose", &CTerminalSession::VerboseCommand},
        {"quell", &CTerminalSession::QuellCommand}, {"help", &CTerminalSession::Help},
        {"?", &CTerminalSession::Help},          {"quit", &CTerminalSession::Quit},
        {"q", &CTerminalSession::Quit},
    };
    // A unique prefix of a command's name, or its whole name, in any case.
    const std::string& word = words.front();
    Run run = nullptr;
    std::string candidates;
    int matches = 0;
    for (const auto& c : kCommands) {
        if (!IsPrefix(word, c.name)) continue;
        if (word.size() == std::char_traits<char>::length(c.name)) {
            run = c.run;
            matches = 1;
            break;
        }
        run = c.run;
        ++matches;
        candidates += std::string(candidates.empty() ? " " : ", ") + c.name;
    }
    if (matches == 1) return (this->*run)(words);
    if (matches > 1)
        return Error(FormatText(tt::kAmbiguousCommand, word.c_str(), candidates.c_str()));
    return Error(FormatText(tt::kUnknownCommand, word.c_str()));
}

bool CTerminalSession::Error(const std::string& text) {
    m_message(text);
    return false;
}

void CTerminalSession::Note(const std::string& text) {
    m_message(text);
}

bool CTerminalSession::Syntax(const char* command, const char* usage) {
    return Error(FormatText(tt::kSyntax, command, usage));
}

int32_t CTerminalSession::SizeOf(Memory mem) const {
    return static_cast<int32_t>(DescribeMemory(m_core.Device(), mem).size);
}

bool CTerminalSession::Locate(const char* command, const std::string& name, Found& found) {
    Memory mem = Memory::Flash;
    const MemoryMatch match = FindMemory(name, mem);
    if (match == MemoryMatch::Ambiguous) return Error(FormatText(tt::kAmbiguousMemory, command, name.c_str()));
    const int32_t size = match == MemoryMatch::Unknown ? 0 : SizeOf(mem);
    if (size <= 0)
        return Error(FormatText(tt::kNoMemory, command, m_core.Device().name, name.c_str()));
    found = {mem, MemoryName(mem), size};
    return true;
}

bool CTerminalSession::ParseAddress(const char* command, const std::string& word, const Found& f,
                                    int32_t& addr) {
    std::string why;
    if (!ParseInt32(word, addr, why))
        return Error(FormatText(tt::kBadAddress, command, word.c_str(), why.c_str()));
    if (addr < 0) addr += f.size;
    if (addr < 0 || addr >= f.size) {
        const int digits = f.size > 0x10000 ? 5 : 4;
        return Error(FormatText(tt::kAddressRange, command, f.name, word.c_str(), digits,
                                static_cast<unsigned>(f.size), digits,
                                static_cast<unsigned>(f.size - 1)));
    }
    return true;
}

bool CTerminalSession::ReadFuseBytes(const char* command, FuseBytes& fuses) {
    JobStep step;
    step.kind = StepKind::ReadFuses;
    std::vector<uint8_t> bytes;  // ext, high, low
    if (ReadStep(step, bytes) && bytes.size() == 3) {
        fuses = {bytes[0], bytes[1], bytes[2]};
        return true;
    }
    return Error(FormatText(tt::kReadFailed, command, "fuse"));
}

bool CTerminalSession::ReadLock(const char* command, uint8_t& lock) {
    if (!LockReadable()) return Error(FormatText(tt::kLockNotReadable, command));
    JobStep step;
    step.kind = StepKind::ReadLock;
    std::vector<uint8_t> bytes;
    if (ReadStep(step, bytes) && bytes.size() == 1) {
        lock = bytes[0];
        return true;
    }
    return Error(FormatText(tt::kReadFailed, command, "lock"));
}

bool CTerminalSession::ReadBytes(const char* command, const Found& f, int32_t addr, int32_t len,
                                 std::vector<uint8_t>& out) {
    out.assign(static_cast<size_t>(len), 0xFF);
    const auto at = [&](int32_t j) { return static_cast<uint32_t>((addr + j) % f.size); };
    switch (f.mem) {
        case Memory::Flash:
        case Memory::Eeprom:
            // A dump that runs past the end goes on at address 0.
            if (!m_cache.Read(f.mem, static_cast<uint32_t>(addr), static_cast<uint32_t>(len),
                              static_cast<uint32_t>(f.size), out))
                return Error(FormatText(tt::kReadFailed, command, f.name));
            return true;
        case Memory::LowFuse:
        case Memory::HighFuse:
        case Memory::ExtFuse: {
            FuseBytes fuses;
            if (!ReadFuseBytes(command, fuses)) return false;
            std::fill(out.begin(), out.end(), FuseField(fuses, f.mem));
            return true;
        }
        case Memory::Lock: {
            uint8_t lock = 0xFF;
            if (!ReadLock(command, lock)) return false;
            std::fill(out.begin(), out.end(), lock);
            return true;
        }
        case Memory::Calibration:
            for (int32_t j = 0; j < len; ++j) {
                JobStep step;
                step.kind = StepKind::ReadCalibration;
                step.calibIndex = static_cast<uint8_t>(at(j));
                std::vector<uint8_t> byte;
                if (!ReadStep(step, byte) || byte.size() != 1)
                    return Error(FormatText(tt::kReadFailed, command, f.name));
                out[static_cast<size_t>(j)] = byte[0];
            }
            return true;
        case Memory::Signature: {
            if (!ReadSignature()) return Error(FormatText(tt::kReadFailed, command, f.name));
            const auto& s = m_core.Device().signature;
            for (int32_t j = 0; j < len; ++j) out[static_cast<size_t>(j)] = s[at(j)];
            return true;
        }
    }
    return false;
}

bool CTerminalSession::Dump(const Words& w) {
    const char* cmd = std::tolower(static_cast<unsigned char>(w[0][0])) == 'd' ? "dump" : "read";
    const size_t argc = w.size();
    if ((argc < 2 && !m_bDumped) || argc > 4 || (argc > 1 && w[1] == "-?"))
        return Syntax(cmd, "dump <mem> [<addr> [<len>]] | dump <mem> [<addr>] ... | dump [<mem>]");
    Found f;
    if (!Locate(cmd, argc > 1 ? w[1] : MemoryName(m_lastDump), f)) return false;
    DumpState& st = m_dump[f.mem];
    if (st.len == 0) st.len = std::min(256, f.size);
    std::string why;
    if (argc >= 3 && w[2] != "...") {
        int32_t addr = 0;
        if (!ParseAddress(cmd, w[2], f, addr)) return false;
        st.addr = addr;
    }
    if (argc >= 3) {
        if (w.back() == "...") {
            if (argc == 3) st.addr = 0;
            st.len = f.size - st.addr;
        } else if (argc == 4) {
            int32_t len = 0;
            if (!ParseInt32(w[3], len, why))
                return Error(FormatText(tt::kBadLength, cmd, w[3].c_str(), why.c_str()));
            // A negative length ends that many bytes below the top of the memory.
            if (len < 0) len = f.size + len + 1 - st.addr;
            if (len == 0) return true;
            if (len < 0) return Error(FormatText(tt::kBadEffectiveLength, cmd, len));
            st.len = len;
        }
    }
    if (st.addr >= f.size) st.addr = 0;
    st.len = std::min(st.len, f.size);
    if (argc < 4 && m_nVerbose > 0)
        m_out(FormatText(">>> %s %s 0x%x 0x%x\n", cmd, f.name, static_cast<unsigned>(st.addr),
                         static_cast<unsigned>(st.len)));
    std::vector<uint8_t> bytes;
    if (!ReadBytes(cmd, f, st.addr, st.len, bytes)) return false;
    const int digits = f.size > 0x10000 ? 5 : 4;
    std::string text;
    for (int32_t addr = st.addr, done = 0; done < st.len;) {
        const int32_t n = std::min({16, st.len - done, f.size - addr});
        text += DumpLine(digits, addr, bytes.data() + done, n);
        done += n;
        addr += n;
        if (addr >= f.size) addr = 0;
    }
    m_out(text);
    st.addr = (st.addr + st.len) % f.size;
    m_lastDump = f.mem;
    m_bDumped = true;
    return true;
}

bool CTerminalSession::Write(const Words& w) {
    const size_t argc = w.size();
    if (argc < 3 || w[1] == "-?")
        return Syntax("write",
                      "write <mem> <addr> <data>... | write <mem> <addr> <len> <data>... ...");
    Found f;
    if (!Locate("write", w[1], f)) return false;
    if (argc == 3 && f.size > 1) {
        const DataItem item = ParseData(w[2]);
        if (!item.error.empty())
            return Error(FormatText(tt::kBadData, w[2].c_str(), item.error.c_str()));
        const bool address = item.integer && item.value >= -f.size && item.value < f.size;
        return Error(
            FormatText(address ? tt::kNoDataFor : tt::kNoAddressFor, f.name, w[2].c_str()));
    }
    int32_t addr = 0;
    if (argc >= 4 && !ParseAddress("write", w[2], f, addr)) return false;
    const bool fill = w.back() == "...";
    int32_t len = 0;
    size_t first = argc == 3 ? 2 : 3, last = argc;
    if (fill) {
        std::string why;
        if (!ParseInt32(w[3], len, why))
            return Error(FormatText(tt::kBadLength, "write ...", w[3].c_str(), why.c_str()));
        if (len < 0) len = f.size + len - addr + 1;
        if (len == 0) return true;
        if (len < 0 || len > f.size - addr) {
            const int digits = f.size > 0x10000 ? 5 : 4;
            return Error(FormatText(tt::kFillRange, f.name, digits, static_cast<unsigned>(addr),
                                    len, f.size));
        }
        first = 4;
        last = argc - 1;
    }
    std::vector<uint8_t> bytes, lastItem;
    for (size_t i = first; i < last; ++i) {
        DataItem item = ParseData(w[i]);
        if (!item.error.empty())
            return Error(FormatText(tt::kBadData, w[i].c_str(), item.error.c_str()));
        if (!item.warning.empty()) Note("(write) " + item.warning);
        bytes.insert(bytes.end(), item.bytes.begin(), item.bytes.end());
        lastItem = std::move(item.bytes);
    }
    if (fill) {
        // The last item again and again up to the length.
        while (!lastItem.empty() && bytes.size() < static_cast<size_t>(len))
            bytes.insert(bytes.end(), lastItem.begin(), lastItem.end());
        if (bytes.size() < static_cast<size_t>(len)) {
            Note(FormatText(tt::kFillShort, static_cast<int>(bytes.size()), len));
            len = static_cast<int32_t>(bytes.size());
        }
        bytes.resize(static_cast<size_t>(len));
    } else if (bytes.size() > static_cast<size_t>(f.size - addr)) {
        bytes.resize(static_cast<size_t>(f.size - addr));
        Note(FormatText(tt::kClipped, m_core.Device().name, f.name));
    }
    return WriteBytes(f, addr, bytes);
}

bool CTerminalSession::WriteBytes(const Found& f, int32_t addr, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return true;
    switch (f.mem) {
        case Memory::Flash:
        case Memory::Eeprom:
            m_cache.Write(f.mem, static_cast<uint32_t>(addr), bytes);
            return true;
        case Memory::LowFuse:
        case Memory::HighFuse:
        case Memory::ExtFuse:
            return WriteFuse("write", f.mem, bytes.front());
        case Memory::Lock:
            return WriteLock("write", bytes.front());
        case Memory::Calibration:
        case Memory::Signature:
            return Error(FormatText(tt::kReadOnly, f.name));
    }
    return false;
}

// A fuse byte goes to the device at once, the others written back as read,
// under the fuse policy of the avrdude form: SPIEN stays programmed.
bool CTerminalSession::WriteFuse(const char* command, Memory mem, uint8_t value) {
    Job job;
    JobStep& step = job.steps.emplace_back();
    step.kind = StepKind::WriteFuses;
    step.fuseBytes = FuseBytesOf(mem);
    FuseField(step.fuses, mem) = value;
    step.verify = true;
    const JobResult r = RunSteps(job);
    if (r.ok) return true;
    // A refusal of the fuse rules has said why.
    if (r.cause == Cause::Policy) return false;
    return Error(FormatText(r.cause == Cause::VerifyMismatch ? tt::kVerifyFailed : tt::kWriteFailed, command,
                            MemoryName(mem)));
}

// The lock byte goes to the device at once; it is verified where the device
// can send it back.
bool CTerminalSession::WriteLock(const char* command, uint8_t value) {
    Job job;
    JobStep& step = job.steps.emplace_back();
    step.kind = StepKind::WriteLock;
    step.lock = value;
    step.verify = LockReadable();
    const JobResult r = RunSteps(job);
    if (r.ok) return true;
    // A refusal before the chip was touched (the device cannot take it) has said why.
    if (!r.chipTouched) return false;
    return Error(FormatText(r.cause == Cause::VerifyMismatch ? tt::kVerifyFailed : tt::kWriteFailed, command, "lock"));
}

bool CTerminalSession::ReadSignature() {
    Job job;
    job.steps.emplace_back().kind = StepKind::Detect;
    return RunSteps(job).ok;
}

bool CTerminalSession::FlushJob(CByteCache::Flush& plan) {
    if (m_cache.PlanFlush(static_cast<uint32_t>(SizeOf(Memory::Flash)), static_cast<uint32_t>(SizeOf(Memory::Eeprom)),
                          plan))
        return true;
    return Error(FormatText(tt::kFlushFailed, "FLASH"));
}

bool CTerminalSession::Flush() {
    if (!m_cache.HasPendingWrites()) return true;
    CByteCache::Flush plan;
    if (!FlushJob(plan)) return false;
    if (plan.erases) Note(tt::kFlushErases);
    const JobResult result = RunSteps(plan.job);
    const char* failed = nullptr;
    m_cache.Flushed(plan, result, failed);
    if (result.ok) return true;
    return Error(FormatText(tt::kFlushFailed, failed != nullptr ? failed : "FLASH"));
}

void CTerminalSession::Reset() { m_cache.Reset(); }

bool CTerminalSession::FlushCommand(const Words& w) {
    if (w.size() > 1) return Syntax("flush", "flush");
    return Flush();
}

bool CTerminalSession::Abort(const Words& w) {
    if (w.size() > 1) return Syntax("abort", "abort");
    Reset();
    return true;
}

bool CTerminalSession::Erase(const Words& w) {
    const size_t argc = w.size();
    if (argc > 4 || argc == 3 || (argc > 1 && w[1] == "-?"))
        return Syntax("erase", "erase | erase <mem> | erase <mem> <addr> <len>");
    if (argc > 1) {
        // A memory, or part of one, filled with 0xff through the write cache.
        Found f;
        if (!Locate("erase", w[1], f)) return false;
        return Write(
            {"write", w[1], argc == 2 ? "0" : w[2], argc == 2 ? "-1" : w[3], "0xff", "..."});
    }
    m_out(tt::kEraseChip);
    m_cache.Erased();
    Job job;
    JobStep& step = job.steps.emplace_back();
    step.kind = StepKind::Erase;
    step.quiet = true;
    if (!RunSteps(job).ok) return Error(tt::kEraseFailed);
    return true;
}

bool CTerminalSession::Config(const Words& w) {
    std::vector<std::string> args;
    for (size_t i = 1; i < w.size(); ++i) {
        if (w[i].size() > 1 && w[i][0] == '-') {
            if (w[i] == "-?" || w[i] == "-h")
                return Syntax("config", "config [<property>[=[<value>]]]");
            return Error(FormatText(tt::kBadOption, "config", w[i].c_str()));
        }
        args.push_back(w[i]);
    }
    if (args.size() > 1) return Syntax("config", "config [<property>[=[<value>]]]");
    const AVR_DEVICE& d = m_core.Device();
    const std::string arg = args.empty() ? "" : args.front();
    const size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    // An exact name alone, or every name it begins.
    std::vector<Property> matched;
    for (const Property& p : PropertiesOf(d)) {
        if (!name.empty() && strcasecmp(name.c_str(), p.name.c_str()) == 0) {
            matched = {p};
            break;
        }
        if (name.empty() || IsPrefix(name, p.name)) matched.push_back(p);
    }
    if (matched.empty()) return Error(FormatText(tt::kNoProperty, name.c_str()));
    const bool assign = eq != std::string::npos && eq + 1 < arg.size();
    if (assign && matched.size() > 1) {
        std::string names;
        for (const Property& p : matched) names += " " + p.name;
        return Error(FormatText(tt::kAmbiguousProperty, name.c_str(), names.c_str()));
    }
    // The bytes the listed bits are in, read once.
    FuseBytes fuses;
    uint8_t lock = 0xFF;
    const bool anyFuse = std::any_of(matched.begin(), matched.end(),
                                     [](const Property& p) { return p.mem != Memory::Lock; });
    const bool anyLock = std::any_of(matched.begin(), matched.end(),
                                     [](const Property& p) { return p.mem == Memory::Lock; });
    if (anyFuse && !ReadFuseBytes("config", fuses)) return false;
    if (anyLock && LockReadable() && !ReadLock("config", lock)) return false;
    const auto byteOf = [&](Memory mem) -> uint8_t {
        return mem == Memory::Lock ? lock : FuseField(fuses, mem);
    };
    const auto memName = [&](Memory mem) {
        return (mem == Memory::LowFuse && (d.fuseMask & kFuseSingle) != 0) ? "fuse" : MemoryName(mem);
    };
    if (assign) {
        const Property& p = matched.front();
        const std::string valueText = arg.substr(eq + 1);
        const DataItem item = ParseData(valueText);
        if (!item.error.empty() || !item.integer || (item.value != 0 && item.value != 1))
            return Error(FormatText(tt::kBadBitValue, p.name.c_str(), valueText.c_str()));
        const auto mask = static_cast<uint8_t>(1u << p.bit);
        const auto byte =
            static_cast<uint8_t>((byteOf(p.mem) & ~mask) | (item.value != 0 ? mask : 0));
        return p.mem == Memory::Lock ? WriteLock("config", byte) : WriteFuse("config", p.mem, byte);
    }
    std::string text;
    for (const Property& p : matched) {
        if (p.mem == Memory::Lock && !LockReadable()) continue;
        const int value = (byteOf(p.mem) >> p.bit) & 1;
        const std::string comment = FormatText(tt::kConfigComment, memName(p.mem), p.bit);
        // With "name=" both values, the one not set commented out.
        for (int v = 0; v <= 1; ++v) {
            if (v != value && eq == std::string::npos) continue;
            text += FormatText("%s %s=%d # %s\n", v == value ? "config" : "# conf", p.name.c_str(),
                               v, comment.c_str());
        }
    }
    if (anyLock && !LockReadable()) Note(FormatText(tt::kLockNotReadable, "config"));
    m_out(text);
    return true;
}

bool CTerminalSession::Sig(const Words& w) {
    if (w.size() > 1) return Syntax("sig", "sig");
    if (!ReadSignature()) return Error(tt::kSigFailed);
    const auto& s = m_core.Device().signature;
    m_out(FormatText("Device signature = 0x%02x%02x%02x\n", s[0], s[1], s[2]));
    return true;
}

bool CTerminalSession::Part(const Words& w) {
    if (w.size() > 1) return Syntax("part", "part");
    const AVR_DEVICE& d = m_core.Device();
    std::string text = std::string(d.name) + "\n" + tt::kPartHeader;
    // In the order of the memory kinds.
    for (const Memory mem : kAllMemories) {
        const int32_t size = SizeOf(mem);
        if (size <= 0) continue;
        int32_t page = 0;
        if (mem == Memory::Flash && d.HasPagedFlash()) page = 2 * d.flashPageWords;
        if (mem == Memory::Eeprom && d.HasPagedEeprom()) page = d.eepromPageBytes;
        text += FormatText("%-11s %6d %6s\n", MemoryName(mem), size,
                           page > 0 ? std::to_string(page).c_str() : "-");
    }
    m_out(text);
    return true;
}

bool CTerminalSession::QuellCommand(const Words& w) {
    if (w.size() > 2 || (w.size() > 1 && w[1] == "-?")) return Syntax("quell", "quell [<value>]");
    if (w.size() == 1) {
        Note(FormatText(tt::kQuellLevel, m_nQuell));
        return true;
    }
    int32_t level = 0;
    std::string why;
    if (!ParseInt32(w[1], level, why))
        return Error(FormatText(tt::kBadQuell, w[1].c_str(), why.c_str()));
    if (level < 0) return Error(FormatText(tt::kNegativeQuell, level));
    m_nQuell = level;
    m_out(FormatText(tt::kNewQuellLevel, m_nQuell));
    if (onQuell) onQuell(m_nQuell);
    return true;
}

bool CTerminalSession::VerboseCommand(const Words& w) {
    if (w.size() > 2 || (w.size() > 1 && w[1] == "-?")) return Syntax("verbose", "verbose [<value>]");
    if (w.size() == 1) {
        Note(FormatText(tt::kVerboseLevel, m_nVerbose));
        return true;
    }
    int32_t level = 0;
    std::string why;
    if (!ParseInt32(w[1], level, why))
        return Error(FormatText(tt::kBadVerbose, w[1].c_str(), why.c_str()));
    if (level < 0) return Error(FormatText(tt::kNegativeVerbose, level));
    m_nVerbose = level;
    m_out(FormatText(tt::kNewVerboseLevel, m_nVerbose));
    if (onVerbose) onVerbose(m_nVerbose);
    return true;
}

// save <mem> [<addr> <len>]... <file>[:<format>]: the segments (the whole
// memory without one) as read through the cache, in one file of avrdude's
// formats, raw binary unless a format letter follows a colon; "-" is
// standard output. The file goes where any output may go (base/FileNode.h):
// never into a device node, and a file is replaced only once it is complete.
bool CTerminalSession::Save(const Words& w) {
    const size_t argc = w.size();
    if (argc < 3 || w[1] == "-?") return Syntax("save", "save <mem> [<addr> <len>]... <file>[:<format>]");
    Found f;
    if (!Locate("save", w[1], f)) return false;
    if (argc > 3 && argc % 2 == 0) return Error(tt::kSavePairs);
    std::string file = w.back();
    char format = 'r';
    if (file.size() > 2 && file[file.size() - 2] == ':') {
        format = file.back();
        file.resize(file.size() - 2);
        if (!IsOutputFormat(format)) return Error(FormatText(tt::kSaveFormat, format));
    }
    std::vector<std::pair<int32_t, int32_t>> ranges;
    if (argc == 3) ranges.emplace_back(0, f.size);
    for (size_t i = 2; i + 1 < argc; i += 2) {
        int32_t addr = 0, len = 0;
        std::string why;
        if (!ParseAddress("save", w[i], f, addr)) return false;
        if (!ParseInt32(w[i + 1], len, why))
            return Error(FormatText(tt::kBadLength, "save", w[i + 1].c_str(), why.c_str()));
        // A negative length ends that many bytes below the top of the memory.
        if (len < 0) len = f.size + len - addr + 1;
        if (len < 0 || len > f.size - addr)
            return Error(FormatText(tt::kSaveSegment, f.name, f.size > 0x10000 ? 5 : 4,
                                    static_cast<unsigned>(addr), w[i + 1].c_str()));
        ranges.emplace_back(addr, len);
    }
    // No save writes more than the memory holds, however many segments it names.
    int64_t wanted = 0;
    for (const auto& range : ranges) wanted += range.second;
    if (wanted > f.size) return Error(FormatText(tt::kSaveTooMuch, f.name, f.size));
    std::vector<Segment> segments;
    size_t total = 0;
    for (const auto& [addr, len] : ranges) {
        Segment& s = segments.emplace_back();
        s.addr = static_cast<uint32_t>(addr);
        if (!ReadBytes("save", f, addr, len, s.bytes)) return false;
        total += s.bytes.size();
    }
    if (total == 0) {
        if (file != "-") Note(tt::kSaveNothing);
        return true;
    }
    const std::string data = AvrdudeFile(format, segments, static_cast<uint32_t>(f.size));
    if (file == "-") {
        m_out(data);
        return true;
    }
    const char* fault = nullptr;
    if (WriteFileAtomically(QFile::decodeName(QByteArray::fromStdString(file)),
                            QByteArrayView(data.data(), static_cast<qsizetype>(data.size())), &fault))
        return true;
    return Error(FormatText(tt::kSaveFailed, file.c_str(), fault != nullptr ? fault : text::kFileCreateFailed));
}

// include [-e] <file>: the file's lines as if typed, -e showing each first
// ("# line", numbered from verbose 1 on). Any line that fails fails the
// include, which goes on to the end unless a line quits.
bool CTerminalSession::Include(const Words& w) {
    bool echo = false;
    bool help = false;
    std::vector<std::string> args;
    for (size_t i = 1; i < w.size(); ++i) {
        if (w[i].size() < 2 || w[i][0] != '-') {
            args.push_back(w[i]);
            continue;
        }
        for (size_t k = 1; k < w[i].size(); ++k) {
            const char c = w[i][k];
            if (c == 'e')
                echo = true;
            else if (c == '?' || c == 'h')
                help = true;
            else
                return Error(FormatText(tt::kBadOption, "include", std::string{'-', c}.c_str()));
        }
    }
    if (help || args.size() != 1) return Syntax("include", "include [-e] <file>");
    const std::string& name = args.front();
    if (m_nIncludeDepth >= kMaxIncludeDepth)
        return Error(FormatText(tt::kIncludeDepth, kMaxIncludeDepth, name.c_str()));
    QByteArray bytes;
    switch (ReadRegularFile(QFile::decodeName(QByteArray::fromStdString(name)), kMaxIncludeBytes, bytes)) {
        case ReadFile::Ok:
            break;
        case ReadFile::Missing:
            return Error(FormatText(tt::kIncludeMissing, name.c_str()));
        case ReadFile::NotRegular:
            return Error(FormatText(tt::kIncludeNotFile, name.c_str()));
        case ReadFile::TooLarge:
            return Error(FormatText(tt::kIncludeTooLarge, name.c_str(),
                                    static_cast<int>(kMaxIncludeBytes / (1024 * 1024))));
        case ReadFile::Failed:
            return Error(FormatText(tt::kIncludeUnreadable, name.c_str()));
    }
    if (m_nIncludeDepth == 0) {
        m_nIncludeLines = 0;
        m_bIncludeStopped = false;
    }
    ++m_nIncludeDepth;
    const std::string_view text(bytes.constData(), static_cast<size_t>(bytes.size()));
    bool ok = true;
    int number = 0;
    for (size_t pos = 0; pos < text.size() && !m_bQuit;) {
        if (m_bIncludeStopped) {
            ok = false;
            break;
        }
        if (++m_nIncludeLines > kMaxIncludeLines) {
            m_bIncludeStopped = true;
            ok = Error(FormatText(tt::kIncludeLines, static_cast<long long>(kMaxIncludeLines), name.c_str()));
            break;
        }
        const size_t eol = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (echo) {
            const std::string shown(line.substr(0, kMaxLine));
            m_out(m_nVerbose > 0 ? FormatText("# %d: %s\n", number, shown.c_str()) : "# " + shown + "\n");
        }
        if (!RunLine(line)) ok = false;
    }
    --m_nIncludeDepth;
    return ok;
}

bool CTerminalSession::Help(const Words& w) {
    if (w.size() > 1) return Syntax("help", "help");
    m_out(tt::kHelp);
    return true;
}

bool CTerminalSession::Quit(const Words& w) {
    if (w.size() > 1) return Syntax("quit", "quit");
    m_bQuit = true;
    return Flush();
}

bool CLineInput::Rest(QByteArray& out) {
    out = QByteArray(m_buffer.data() + m_pos, static_cast<qsizetype>(m_buffer.size() - m_pos));
    m_buffer.clear();
    m_pos = 0;
    if (m_bEnd) return m_failure.empty();
    m_bEnd = true;
    char chunk[64 * 1024];
    for (;;) {
        const qint64 n = m_in.read(chunk, sizeof chunk);
        if (n == 0) return true;
        if (n < 0) {
            m_failure = ReadFailedText(m_in);
            return false;
        }
        out.append(chunk, static_cast<qsizetype>(n));
    }
}

bool CLineInput::Next(std::string& line) {
    line.clear();
    constexpr size_t kKept = CTerminalSession::kMaxLine + 1;
    bool any = false;
    for (;;) {
        if (m_pos == m_buffer.size()) {
            if (m_bEnd) return any;
            m_buffer.resize(64 * 1024);
            m_pos = 0;
            const qint64 n = m_in.read(m_buffer.data(), static_cast<qint64>(m_buffer.size()));
            if (n <= 0) {
                m_buffer.clear();
                m_bEnd = true;
                if (n < 0) {
                    m_failure = ReadFailedText(m_in);
                    return false;
                }
                return any;
            }
            m_buffer.resize(static_cast<size_t>(n));
        }
        any = true;
        const size_t eol = m_buffer.find('\n', m_pos);
        const size_t end = eol == std::string::npos ? m_buffer.size() : eol;
        if (line.size() < kKept) line.append(m_buffer, m_pos, std::min(end - m_pos, kKept - line.size()));
        m_pos = eol == std::string::npos ? end : eol + 1;
        if (eol != std::string::npos) return true;
    }
}

}  // namespace oriole::avrdude
