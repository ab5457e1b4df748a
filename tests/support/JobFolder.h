#pragma once
// A job's folder as the production and front-end tests make it: a temporary
// folder whose files are written and read by name, holding from the start
// the program the jobs there name (16 bytes of FLASH at 0, as Intel HEX),
// and the setting file "job.set" that names it.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace oriole::test {

inline constexpr char kProgramHex[] = ":100000000C9434000C9446000C9446000C9446006A\r\n:00000001FF\r\n";

class JobFolder {
public:
    JobFolder() { Write("prog.hex", kProgramHex); }

    QString Path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    void Write(const char* name, const QByteArray& bytes) const {
        QFile f(Path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name;
        f.write(bytes);
    }
    // Writes the setting file "job.set" and returns its path: the device
    // and its steps (no AutoCheck line where empty), the FLASH file (no
    // [FLASH] where null), other sections, and the lines under [Production].
    QString WriteSettingFile(const QByteArray& autoCheck, const QByteArray& production = {},
                             const QByteArray& sections = {}, const QByteArray& device = "ATmega328P",
                             const char* flash = "prog.hex") const {
        QByteArray text = "[Device]\r\nLastAVR=" + device + "\r\n";
        if (!autoCheck.isEmpty()) text += "AutoCheck=" + autoCheck + "\r\n";
        if (flash != nullptr) text += "[FLASH]\r\nFile=" + QByteArray(flash) + "\r\n";
        Write("job.set", text + sections + "[Production]\r\n" + production);
        return Path("job.set");
    }
    QByteArray Read(const char* name) const { return ReadPath(Path(name)); }
    static QByteArray ReadPath(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

protected:
    QTemporaryDir m_dir;
};

}  // namespace oriole::test
