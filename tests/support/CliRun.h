#pragma once
// oriole-cli as a child process: its exit status and both output streams;
// the files it is given.
// The test target defines ORIOLE_CLI_PATH.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace oriole::test {

struct CliRun {
    int status = -1;  // -1: still running at the deadline, -2: crashed
    QString out;
    QString err;
    QByteArray outBytes;  // standard output as it came, for binary data
};

// Waits for a started oriole-cli to end and collects what it printed.
inline CliRun Finish(QProcess& p) {
    CliRun r;
    if (!p.waitForFinished(120000)) return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.outBytes = p.readAllStandardOutput();
    r.out = QString::fromUtf8(r.outBytes);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline CliRun RunCli(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(ORIOLE_CLI_PATH), args);
    return Finish(p);
}

// Writes `content` to `name` in `dir`; the path.
inline QString WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& content) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(content);
    return path;
}

}  // namespace oriole::test
