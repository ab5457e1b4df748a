#pragma once
// A data file opened for reading without ever blocking for good. Its name
// may come from a settings file or a shell's <(...), so it may name
// anything: a device node or socket is refused unopened (some devices act on
// being opened, /dev/zero never ends); a FIFO or pipe is opened without
// waiting for a writer, and each read waits for its data at most a bounded
// time; and no input is read beyond kMaxInputBytes, so an endless one
// (`<(yes :)`) ends with a message instead of running for ever.

#include <QIODevice>
#include <QString>
#include <chrono>
#include <cstdint>
#include <string>

#if defined(_WIN32)
#include <QFile>
#endif

namespace oriole {

// The most any input may hold, ELF files included (they are read whole into
// memory): far more than any AVR image in any of our formats needs (a 16 MB
// image as Intel HEX is some 45 MB).
inline constexpr qint64 kMaxInputBytes = qint64{64} * 1024 * 1024;

// How long a read waits for a pipe's next data.
inline constexpr std::chrono::milliseconds kInputDataWait{10000};
// A data wait of no bound: for a person at a terminal, who may take any time.
inline constexpr std::chrono::milliseconds kNoDataWait{0};

enum class InputFailure : uint8_t {
    None,
    NoData,     // a pipe brought nothing within the wait
    TooLarge,   // more than the limit
    ReadError,  // the system's read failed
};

// Sequential, read only. Reads past a failure keep failing.
class CInputFile final : public QIODevice {
public:
    explicit CInputFile(QString path, std::chrono::milliseconds dataWait = kInputDataWait,
                        qint64 limit = kMaxInputBytes);
    ~CInputFile() override;
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    // Opens the input. False, with nothing opened, for a path that is
    // missing or names a folder, a device node or a socket; what it names is
    // looked at first and opened only when it is a regular file or a FIFO.
    [[nodiscard]] bool OpenForReading();
    // Reads from a descriptor the program was given (standard input) under
    // the same bounds: a regular file as a file, anything else (a pipe, a
    // terminal, a socket) as a pipe. The descriptor is duplicated and left
    // as it was (blocking or not). The path given is only the input's name.
    [[nodiscard]] bool OpenDescriptor(int fd);

    // A FIFO or a pipe (/dev/fd/N): it can be read only once.
    bool IsPipe() const { return m_bPipe; }
    InputFailure Failure() const { return m_failure; }
    // The message for the failure of a read.
    std::string FailureText() const;

    bool isSequential() const override { return true; }
    void close() override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 ReadSystem(char* data, qint64 maxSize);
    qint64 Fail(InputFailure failure);

    QString m_path;
    std::chrono::milliseconds m_dataWait;
    qint64 m_limit;
    qint64 m_total = 0;
    bool m_bPipe = false;
    InputFailure m_failure = InputFailure::None;
#if defined(_WIN32)
    QFile m_file;
#else
    int m_fd = -1;
#endif
};

// The message for a read of `device` that failed: a CInputFile's own reason,
// else "ファイルを開くことができません。".
std::string ReadFailedText(const QIODevice& device);

}  // namespace oriole
