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

// A setting file's sections: the device and its steps (no AutoCheck line
// where empty), the FLASH file (no [FLASH] where null), other sections, and
// the lines under [Production].
struct SettingLines {
    QByteArray device = "ATmega328P";
    QByteArray autoCheck;
    const char* flash = "prog.hex";
    QByteArray sections;
    QByteArray production;
};

class JobFolder {
public:
    JobFolder() { Write("prog.hex", kProgramHex); }

    QString Path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    void Write(const char* name, const QByteArray& bytes) const {
        QFile f(Path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name;
        f.write(bytes);
    }
    // Writes "job.set" and returns its path.
    QString WriteSettingFile(const SettingLines& lines) const {
        QByteArray text = "[Device]\r\nLastAVR=" + lines.device + "\r\n";
        if (!lines.autoCheck.isEmpty()) text += "AutoCheck=" + lines.autoCheck + "\r\n";
        if (lines.flash != nullptr) text += "[FLASH]\r\nFile=" + QByteArray(lines.flash) + "\r\n";
        Write("job.set", text + lines.sections + "[Production]\r\n" + lines.production);
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
