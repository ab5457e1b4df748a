#pragma once
// avrdude's command line as one Job, as the device commands build theirs: the
// -U requests in order, each turned into job steps; -T lines and -t between
// them as steps of the terminal's; and as avrdude does, a FLASH write erases
// the chip first unless -D, every write is verified unless -V, and any
// failure fails the run. The caller reads the options (oriole-cli's avrdude
// form) and opens the box; this builds and runs the job on it.

#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "avrdude/Requests.h"
#include "image/InputFile.h"
#include "ops/Job.h"
#include "ops/OrioleCore.h"

namespace oriole::avrdude {

class CTerminalSession;
class CLineInput;

// What avrdude's options ask of the run.
struct RunSettings {
    int deviceRow = 0;  // -p: 0 whatever the signature says
    QString part;       // -p as given, for messages
    bool erase = false;        // -e
    bool noAutoErase = false;  // -D
    bool noVerify = false;     // -V
    bool dryRun = false;       // -n
    bool force = false;        // -F
    bool keepTrailingFF = false;  // -A: FLASH reads keep their trailing 0xFF bytes
    int verbosity = 0;  // -q lowers it, -v raises it
    std::vector<Request> requests;
};

// Where the run's text goes and comes from. Standard output carries only the
// data of reads to "-" (and what the terminal prints); every note goes to
// `err`, as avrdude's do.
struct RunStreams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // Standard input: "-" inputs and -t's lines, read under the bounds of
    // files (image/InputFile.h); from a terminal, a person types, and no
    // wait for data is bounded.
    int in = 0;
    // The fuse bytes a fuse write read before it wrote.
    std::function<void(const AVR_DEVICE&, const FuseBytes&)> onCurrentFuses = {};
    // The terminal's quell level changed.
    std::function<void(int level)> onQuell = {};
};

class CAvrdudeRun {
public:
    CAvrdudeRun(COrioleCore& core, RunSettings settings, RunStreams streams = {});
    ~CAvrdudeRun();
    CAvrdudeRun(const CAvrdudeRun&) = delete;
    CAvrdudeRun& operator=(const CAvrdudeRun&) = delete;

    // All three in turn; false after the message.
    bool Run() { return Connect() && Build() && Execute(); }
    // Reads the signature as avrdude does first, and refuses another part than
    // -p names unless -F.
    bool Connect();
    // Turns the requests into the job, every input read and checked against
    // the device now (one written earlier in the run: at its turn).
    bool Build();
    // Runs the job, then writes what the terminal still holds.
    bool Execute();

    // The job Build made: its steps and, for each, the request it comes from.
    const Job& GetJob() const { return m_job; }
    size_t RequestOf(size_t step) const { return m_opOf[step]; }
    // The requests with their memory names resolved on the part; a request
    // skipped (a memory the part lacks) has op 's'.
    const std::vector<Request>& Requests() const { return m_ops; }
    // The cause of the first failure: a refusal of the form's own, the
    // job's, or the core's (a file the loader could not read, no chip).
    // Cause::None after a run that did everything.
    Cause Failure() const;

private:
    struct Input;
    bool Refuse(Cause cause, const QString& message);
    bool OpenStandardInput();
    bool Refuse(const Refusal& refusal);
    bool Fail(Cause cause, MsgKind kind, const std::string& text);
    bool DataItems(const Request& op, std::vector<uint8_t>& out);
    bool RunTerminal(const Request& op, const OpOptions& options);
    bool Interactive();
    void Resolve(Request& op);
    bool NeedsErase() const;
    void SetLock(JobStep& step, const Request& op, uint8_t value) const;
    bool AddSteps(size_t index);
    JobStep& Add(size_t index, StepKind kind);
    void AddCustom(size_t index, std::function<bool(const OpOptions&)> work);
    bool OnRead(const JobStep& step, std::span<const uint8_t> bytes);
    bool DryRunWrite(const Request& op, const ImageBuffer& image);
    bool CheckReadOnly(const Request& op, const Input& in, const std::vector<uint8_t>& values, const char* what);
    bool LoadInput(const Request& op, Input& in);
    bool LoadAtTurn(size_t index);
    bool WrittenBefore(size_t index) const;
    bool InputFile(const Request& op, QString& path);
    bool InputBytes(const Request& op, std::vector<uint8_t>& out);
    bool TempFile(const QByteArray& content, QString& path);
    bool Output(const Request& op, std::vector<uint8_t> data, Memory mem);
    uint32_t MemoryBytes(Memory mem, size_t dataBytes) const;
    size_t CalibrationCount() const;
    void Note(const QString& text) const;
    bool Skipped(const Request& op, uint8_t value);
    bool DryRunOutput(std::vector<uint8_t> data, Memory mem);
    void TrimAsRead(std::vector<uint8_t>& data, Memory mem) const;

    COrioleCore& m_core;
    const RunSettings m_o;
    RunStreams m_io;
    Cause m_failure = Cause::None;
    // The -U, -T and -t requests, memory names resolved on the part.
    std::vector<Request> m_ops;
    // The run: its steps, and for each the -U, -T or -t it comes from.
    Job m_job;
    std::vector<size_t> m_opOf;
    std::vector<Input> m_inputs;
    // Per request: the file is one an earlier -U writes, so it is read when
    // its turn comes (m_turn), into the step or image m_target names.
    std::vector<bool> m_late, m_turn;
    std::vector<size_t> m_target;
    std::vector<std::vector<uint8_t>> m_calibration;  // the bytes read so far, per request
    // The terminal of -T and -t, shared by them all: its writes are cached
    // until a -U step or the end.
    std::unique_ptr<CTerminalSession> m_terminal;
    // Standard input, opened once and shared by -t's lines and "-" inputs.
    std::unique_ptr<CInputFile> m_stdin;
    std::unique_ptr<CLineInput> m_lines;
    QTemporaryDir m_temp;
    int m_nTemp = 0;
};

}  // namespace oriole::avrdude
