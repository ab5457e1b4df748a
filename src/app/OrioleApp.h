#pragma once
// The application: one copy per user, the window look from the settings
// file, the writer from the command line or the settings, then the main
// window until it is closed.

#include <QLockFile>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>

namespace oriole {

class CIniFile;

// One running copy per user: a lock file in the user's runtime folder.
class CSingleInstance {
public:
    // The lock of the user's session ("ORIOLE.lock" in the runtime folder).
    [[nodiscard]] static QString DefaultLockPath();

    // True when this copy now holds the lock at `path`; false when another
    // running copy holds it. A lock left behind by a copy that died is taken over.
    [[nodiscard]] bool Acquire(const QString& path);

private:
    std::unique_ptr<QLockFile> m_pLock;
};

// "WindowStyle" of section "Application": 0 (or missing) the classic look,
// anything else the platform's own.
[[nodiscard]] int ReadWindowStyle(const CIniFile& ini);
// The name of the style to set for a WindowStyle value; empty: leave the
// platform's.
[[nodiscard]] QString StyleNameFor(int windowStyle);

// The writer spec of the command line for this run; empty when none was
// given, and then the main window uses the settings' writer ("Writer" of
// section "Device"), which the settings binding reads with the limits that
// apply to a file.
[[nodiscard]] std::string WriterSpecFor(const std::optional<QString>& option);

class COrioleApp {
public:
    // Runs the program inside an existing QApplication: parses the command
    // line, ends silently when another copy runs, and runs the main window.
    // Returns the exit status.
    int InitInstance(const QStringList& arguments);

private:
    CSingleInstance m_instance;
};

}  // namespace oriole
