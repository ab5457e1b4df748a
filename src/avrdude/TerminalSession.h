#pragma once
// The programming terminal: command lines in avrdude's terminal syntax run
// one at a time against the device through the core's operations. Output
// goes to `out` (what avrdude's terminal prints on standard output: dumps,
// the signature, tables), messages to `message` one line each. The session
// reads no input itself but the files include names, and writes no file but
// those save names.
//
// As in avrdude, FLASH and EEPROM writes are cached (ByteCache.h) and go to
// the device on flush or quit; abort drops them. Fuse and lock writes go to
// the device at once. Every device access, reads included, is a Job run by
// RunJob, so the job's rules hold here as in every front end; what the
// session asks of a memory (there, readable) the memory table answers.

#include <QIODevice>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "avrdude/ByteCache.h"
#include "devices/FuseGuard.h"
#include "ops/Job.h"
#include "ops/OrioleCore.h"
#include "avrdude/TerminalData.h"

namespace oriole::avrdude {

class CTerminalSession {
public:
    using Sink = std::function<void(std::string_view text)>;

    // The longest line the session runs (avrdude has no bound); a longer one
    // is refused with one message, and the session goes on.
    static constexpr size_t kMaxLine = 64 * 1024;
    // How deep include files may include others, how large one may be, and
    // how many lines one include runs in all, the lines of the files it
    // includes at every level counted (a file of ten lines that include it
    // again would otherwise run ten to the eighth lines).
    static constexpr int kMaxIncludeDepth = 8;
    static constexpr int64_t kMaxIncludeBytes = 16 * 1024 * 1024;
    static constexpr int64_t kMaxIncludeLines = 100000;

    // `timing`: whether the operations send the device's timing (the caller
    // may have sent it already when it connected).
    CTerminalSession(COrioleCore& core, Sink out, Sink message, bool timing);
    ~CTerminalSession();
    CTerminalSession(const CTerminalSession&) = delete;
    CTerminalSession& operator=(const CTerminalSession&) = delete;

    // Runs one line (commands separated by ';'). False when a command in it
    // failed; the session goes on either way.
    bool RunLine(std::string_view line);
    // The line held quit (or q).
    bool QuitRequested() const { return m_bQuit; }
    // The job that writes the cached FLASH and EEPROM bytes (no steps when
    // nothing is cached), read what it needs to decide first; false after the
    // message when that read failed.
    [[nodiscard]] bool FlushJob(CByteCache::Flush& plan);
    // Runs FlushJob's job; false after the message. What it wrote is what
    // the cache reads from then on; what a failure left unwritten stays cached.
    [[nodiscard]] bool Flush();
    // Drops the cached writes and what was read (the device changed under it).
    void Reset();
    // Whether the operations send the device's timing from now on (the
    // step of a run that comes first, or after an erase, does).
    void SetTiming(bool timing) { m_bTiming = timing; }
    bool HasPendingWrites() const { return m_cache.HasPendingWrites(); }

    // The quell level (avrdude's -q count), and who hears of a change.
    int Quell() const { return m_nQuell; }
    void SetQuell(int level) { m_nQuell = level; }
    std::function<void(int level)> onQuell;
    // The verbosity level (avrdude's -v count): at 1 and above, a dump
    // without a length says first what it shows (">>> dump flash 0x0 0x100"),
    // and include -e numbers the lines it echoes.
    int Verbose() const { return m_nVerbose; }
    void SetVerbose(int level) { m_nVerbose = level; }
    std::function<void(int level)> onVerbose;

private:
    struct Found {
        Memory mem = Memory::Flash;
        const char* name = "";
        int32_t size = 0;
    };
    struct DumpState {
        int32_t addr = 0;
        int32_t len = 0;
    };

    bool Dispatch(const Words& words);
    bool Dump(const Words& w);
    bool Write(const Words& w);
    bool FlushCommand(const Words& w);
    bool Abort(const Words& w);
    bool Erase(const Words& w);
    bool Config(const Words& w);
    bool Sig(const Words& w);
    bool Part(const Words& w);
    bool QuellCommand(const Words& w);
    bool VerboseCommand(const Words& w);
    bool Save(const Words& w);
    bool Include(const Words& w);
    bool Help(const Words& w);
    bool Quit(const Words& w);

    bool Error(const std::string& text);
    void Note(const std::string& text);
    bool Syntax(const char* command, const char* usage);
    bool Locate(const char* command, const std::string& name, Found& found);
    int32_t SizeOf(Memory mem) const;
    bool ParseAddress(const char* command, const std::string& word, const Found& f, int32_t& addr);
    bool ReadBytes(const char* command, const Found& f, int32_t addr, int32_t len,
                   std::vector<uint8_t>& out);
    bool WriteBytes(const Found& f, int32_t addr, const std::vector<uint8_t>& bytes);
    bool ReadFuseBytes(const char* command, FuseBytes& fuses);
    bool ReadLock(const char* command, uint8_t& lock);
    bool WriteFuse(const char* command, Memory mem, uint8_t value);
    bool WriteLock(const char* command, uint8_t value);
    bool ReadSignature();
    bool LockReadable() const;
    JobResult RunSteps(Job& job, const JobEvents& events = {});
    bool ReadStep(const JobStep& step, std::vector<uint8_t>& out);

    COrioleCore& m_core;
    Sink m_out;
    Sink m_message;
    bool m_bTiming;
    bool m_bQuit = false;
    int m_nQuell = 0;
    int m_nVerbose = 0;
    int m_nIncludeDepth = 0;
    int64_t m_nIncludeLines = 0;  // run by the outermost include so far
    bool m_bIncludeStopped = false;
    CByteCache m_cache;
    std::map<Memory, DumpState> m_dump;
    bool m_bDumped = false;
    Memory m_lastDump = Memory::Flash;
};

// The lines of an input (-t's standard input), each without its line end and
// as much of it as RunLine needs to run or refuse it: at most kMaxLine + 1
// bytes are kept, the rest of a longer line is read and dropped, so that no
// line costs more memory than that. Every byte is kept as it came, a NUL
// too (RunLine refuses it). The input's own bounds (image/InputFile.h: the
// wait for data, the total size) end the lines with its message.
class CLineInput {
public:
    explicit CLineInput(QIODevice& in) : m_in(in) {}
    // False at the end of the input or when it failed (Failure() says why).
    [[nodiscard]] bool Next(std::string& line);
    // Everything not yet taken as lines, to the end of the input; false when
    // the input failed (Failure() says why).
    [[nodiscard]] bool Rest(QByteArray& out);
    // Empty after a plain end.
    const std::string& Failure() const { return m_failure; }

private:
    QIODevice& m_in;
    std::string m_buffer;
    size_t m_pos = 0;
    bool m_bEnd = false;
    std::string m_failure;
};

}  // namespace oriole::avrdude
