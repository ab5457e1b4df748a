// oriole-cli -p PART [-c oriole] [-P SPEC] [-e] [-D] [-V] [-n] [-F] [-q] [-v]
//            -U memory:op:file[:format] ...
// The avrdude form's arguments: the options read as avrdude's getopt reads
// them (CliAvrdudeOptions), the log file of -l, the box opened; the run
// itself is the avrdude library's.

#include "CliAvrdude.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "CliAvrdudeOptions.h"
#include "CliCommon.h"
#include "CliFuses.h"
#include "CliOperationHost.h"
#include "avrdude/AvrdudeRun.h"
#include "base/FileNode.h"
#include "ops/OrioleCore.h"

namespace oriole::cli {
namespace {

// -l: the messages go to the log file from now on. Only a regular file (made
// if missing) or /dev/null is taken: never a terminal, a FIFO or a device.
bool OpenLog(const QString& path) {
    if (path.isEmpty()) return true;
    const NodeKind kind = NodeKindOf(path);
    if (path != "/dev/null" && kind != NodeKind::Regular && kind != NodeKind::Missing)
        return Refuse("-l のログファイルは通常のファイルにしてください: " + path);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || (path != "/dev/null" && !S_ISREG(st.st_mode))) {
        if (fd >= 0) ::close(fd);
        return Refuse("-l のログファイルを開けません: " + path);
    }
    if (S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
        ::close(fd);
        return Refuse("-l のログファイルに書けません: " + path);
    }
    std::fflush(stderr);
    const bool moved = ::dup2(fd, STDERR_FILENO) >= 0;
    ::close(fd);
    return moved || Refuse("-l のログファイルに切り替えられません: " + path);
}

}  // namespace

bool IsAvrdudeOption(const QString& word) {
    return word.size() >= 2 && word[0] == '-' && word[1] != '-' && word != "-h";
}

int RunAvrdude(const QStringList& args) {
    AvrdudeOptions o;
    if (!ParseAvrdudeOptions(args, o) || !OpenLog(o.logFile)) return kExitFailed;
    CliOperationHost host(false);
    host.SetInformationShown(o.run.verbosity > -2);
    host.SetInformationStream(stderr);
    COrioleCore core(host);
    if (!SetUpCore(core, host, {.writer = o.writer, .trace = o.trace})) return Failed(host);
    // avrdude takes a HEX or S-record file that lacks its end record.
    core.SetLoadRules(true, true);
    avrdude::RunStreams streams;
    streams.onCurrentFuses = [](const AVR_DEVICE& device, const FuseBytes& f) {
        PrintCurrentFuses(device, f, stderr);
    };
    streams.onQuell = [&host](int level) { host.SetInformationShown(level < 2); };
    avrdude::CAvrdudeRun run(core, std::move(o.run), std::move(streams));
    return run.Run() ? Finished(host) : Failed(host);
}

}  // namespace oriole::cli
