// Inputs that are not plain files: FIFOs with and without a writer, pipes
// (/dev/fd/N, as a shell's <(...) gives them) with data or without end.
// Nothing blocks for good, every input ends at the bound, and each failure
// has its message.
#include "image/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/FormatText.h"
#include "image/ImageReader.h"
#include "res/Texts.h"
#include "support/RecordingHost.h"

namespace oriole {
namespace {

using std::chrono::milliseconds;

const std::string kHex = ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n";
constexpr qint64 kLimit = qint64{1} << 20;

// The ends of pipes and FIFOs a case holds open, and the threads that feed
// them; all closed and joined at the end of the case.
class Plumbing {
public:
    explicit Plumbing(const QTemporaryDir& dir) : m_dir(dir) {}
    ~Plumbing() {
        m_stop = true;
        for (int fd : m_fds) close(fd);
        for (auto& t : m_threads) t.join();
    }

    QString Fifo() {
        const QString path = m_dir.filePath(QString::number(++m_count));
        EXPECT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        return path;
    }
    // A FIFO with a writer that never writes (O_RDWR opens it without a reader).
    QString SilentFifo() {
        const QString path = Fifo();
        m_fds.push_back(open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC));
        return path;
    }
    // A pipe that holds `data` (less than its buffer) and has no writer any
    // more, named as the shell names it.
    QString Pipe(const std::string& data) {
        int ends[2];
        EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
        m_fds.push_back(ends[0]);
        EXPECT_EQ(write(ends[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
        close(ends[1]);
        return QStringLiteral("/dev/fd/%1").arg(ends[0]);
    }
    // A pipe that sends `line` until its reader goes away.
    QString EndlessPipe(const std::string& line) {
        int ends[2];
        EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
        m_fds.push_back(ends[0]);
        m_threads.emplace_back([this, line, fd = ends[1]] {
            std::string chunk;
            while (chunk.size() < 4096) chunk += line;
            while (!m_stop && write(fd, chunk.data(), chunk.size()) > 0) {}
            close(fd);
        });
        return QStringLiteral("/dev/fd/%1").arg(ends[0]);
    }
    // A FIFO whose writer comes a little later with `data`.
    QString LateFifo(const std::string& data) {
        const QString path = Fifo();
        m_threads.emplace_back([this, path, data] {
            std::this_thread::sleep_for(milliseconds(50));
            // Without a reader a non-blocking open fails; no wait for one
            // that may never come.
            int fd = -1;
            for (int i = 0; i < 500 && fd < 0 && !m_stop; ++i) {
                fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd < 0) std::this_thread::sleep_for(milliseconds(10));
            }
            if (fd < 0) return;
            EXPECT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
            close(fd);
        });
        return path;
    }
    QString File(const std::string& data) {
        const QString path = m_dir.filePath(QString::number(++m_count));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data.data(), static_cast<qint64>(data.size()));
        return path;
    }

private:
    const QTemporaryDir& m_dir;
    std::vector<int> m_fds;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop = false;
    static inline int m_count = 0;  // names stay unique across cases
};

TEST(InputFile, PipesNeverBlockForGoodAndEveryInputEndsAtTheBound) {
    // An endless writer must see EPIPE, not die of SIGPIPE.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const std::string tooLarge = FormatText(text::kInputTooLarge, 1);
    const struct {
        const char* name;
        std::function<QString(Plumbing&)> make;
        ImageFormat format;
        milliseconds wait;
        uint32_t count;        // used length on success
        std::string message;   // the one message of a failure
        bool descriptor = false;  // read as standard input is: from a descriptor given
    } cases[] = {
        {"FIFO without a writer", [](Plumbing& p) { return p.Fifo(); }, ImageFormat::Auto,
         milliseconds(100), 0, text::kInputNoData},
        {"FIFO with a silent writer", [](Plumbing& p) { return p.SilentFifo(); }, ImageFormat::Auto,
         milliseconds(100), 0, text::kInputNoData},
        {"pipe with a HEX file", [](Plumbing& p) { return p.Pipe(kHex); }, ImageFormat::Auto,
         milliseconds(10000), 16, ""},
        {"FIFO whose writer comes late", [](Plumbing& p) { return p.LateFifo(kHex); },
         ImageFormat::Auto, milliseconds(10000), 16, ""},
        {"endless HEX records", [](Plumbing& p) { return p.EndlessPipe(":\n"); }, ImageFormat::Auto,
         milliseconds(10000), 0, tooLarge},
        {"endless binary", [](Plumbing& p) { return p.EndlessPipe("y\n"); }, ImageFormat::Binary,
         milliseconds(10000), 0, tooLarge},
        {"endless ELF", [](Plumbing& p) { return p.EndlessPipe("\177ELF"); }, ImageFormat::Auto,
         milliseconds(10000), 0, text::kElfTooLarge},
        {"file as large as the bound", [](Plumbing& p) { return p.File(std::string(kLimit, 'b')); },
         ImageFormat::Binary, milliseconds(10000), static_cast<uint32_t>(kLimit), ""},
        {"file a byte larger", [](Plumbing& p) { return p.File(std::string(kLimit + 1, 'b')); },
         ImageFormat::Binary, milliseconds(10000), 0, tooLarge},
        {"given a FIFO with a silent writer", [](Plumbing& p) { return p.SilentFifo(); }, ImageFormat::Auto,
         milliseconds(100), 0, text::kInputNoData, true},
        {"given a pipe with a HEX file", [](Plumbing& p) { return p.Pipe(kHex); }, ImageFormat::Auto,
         milliseconds(10000), 16, "", true},
        {"given endless binary", [](Plumbing& p) { return p.EndlessPipe("y\n"); }, ImageFormat::Binary,
         milliseconds(10000), 0, tooLarge, true},
        {"given a file a byte larger", [](Plumbing& p) { return p.File(std::string(kLimit + 1, 'b')); },
         ImageFormat::Binary, milliseconds(10000), 0, tooLarge, true},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Plumbing plumbing(dir);
        const QString path = c.make(plumbing);
        CInputFile input(c.descriptor ? QStringLiteral("<stdin>") : path, c.wait, kLimit);
        if (c.descriptor) {
            const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            ASSERT_TRUE(input.OpenDescriptor(fd));
            close(fd);  // the input holds its own
        } else {
            ASSERT_TRUE(input.OpenForReading());
        }
        test::RecordingHost host;
        uint32_t count = 0xA5A5A5A5u, lowest = 0, highest = 0;
        const bool ok = LoadImageData(host, input, nullptr, count, lowest, highest,
                                      {.format = c.format}, QStringLiteral("in"));
        if (c.message.empty()) {
            EXPECT_TRUE(ok);
            EXPECT_TRUE(host.messages.empty()) << host.Texts().front();
            EXPECT_EQ(count, c.count);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(host.Texts(), std::vector<std::string>{c.message});
            EXPECT_EQ(count, 0xA5A5A5A5u);
        }
    }
    std::signal(SIGPIPE, previous);
}

// A pipe can be read once: looking at its format leaves every byte to the
// load. (Device nodes: ImageReaderTest.)
TEST(InputFile, APipeIsLeftWholeForTheLoad) {
    QTemporaryDir dir;
    Plumbing plumbing(dir);
    const QString pipe = plumbing.Pipe(kHex);
    EXPECT_EQ(DetectImageFormat(pipe), ImageFormat::Auto);
    test::RecordingHost host;
    uint32_t count = 0, lowest = 0, highest = 0;
    EXPECT_TRUE(LoadImageFile(host, pipe, nullptr, count, lowest, highest));
    EXPECT_EQ(count, 16u);
}

}  // namespace
}  // namespace oriole
