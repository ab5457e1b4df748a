#pragma once
// The application: one copy per user, the window look from the settings
// file, the writer from the command line or the settings, then the main
// window until it is closed.

#include <QLockFile>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <memory>
#include <optional>
#include <string>

namespace oriole {

class CIniFile;

// One running copy per settings folder: a lock file in the user's runtime
// folder, named after the settings folder, so that copies started in
// different folders (or from the launcher) do not stop one another, and two
// copies never share one ORIOLE.ini.
class CSingleInstance {
public:
    enum class Lock { Taken, HeldByAnother, Failed };

    // The lock of the copy that keeps its settings in `settingsFolder`
    // ("ORIOLE-<key>.lock" in `lockFolder`, by default the runtime folder;
    // the key is made from the folder's canonical path, so every spelling of
    // a folder meets one lock).
    [[nodiscard]] static QString LockPathFor(const QString& settingsFolder,
                                             const QString& lockFolder = {});

    // Taken: this copy now holds the lock at `path`. HeldByAnother: another
    // running copy does. Failed: no lock file can be made there at all. A
    // lock left behind by a copy that died is taken over.
    [[nodiscard]] Lock Acquire(const QString& path);

    // The lock in the runtime folder or, when none can be made there (a
    // read-only or broken runtime folder), in the temporary folder: one line
    // on `err` says so. Failed only when neither folder takes it.
    [[nodiscard]] Lock AcquireFor(const QString& settingsFolder, QTextStream& err);

private:
    std::unique_ptr<QLockFile> m_pLock;
};

// The folder of ORIOLE.ini: the current folder without the option, else the
// option's folder, relative to the current folder. The launcher's line
// expands no variables, so a leading "$XDG_CONFIG_HOME" (or
// "${XDG_CONFIG_HOME}") is replaced here by the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config). The result is absolute and clean.
[[nodiscard]] QString SettingsFolderFor(const std::optional<QString>& option);

// Qt's file dialog writes its history, side bar and last folder to
// QtProject.conf in the user's configuration folder when it closes, and
// cannot be told not to. This program keeps nothing outside its INI and
// setting files, so Qt's per-user settings are sent where no file can be
// made and live in memory for the run. Call before any dialog opens.
void KeepQtUserSettingsInMemory();

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

// What the command line asks of a run.
struct AppCommandLine {
    std::optional<QString> writer;       // --writer SPEC
    std::optional<QString> settingsDir;  // --settings-dir DIR
    std::optional<QString> trace;        // --trace FILE
    // --production [SETTINGFILE]: the production window instead of the main
    // window, with every --writer as one of its boxes.
    bool production = false;
    bool locked = false;  // --locked: the production window's job cannot be changed
    QString settingFile;
    QStringList writers;
    QString events;  // --events FILE: the production window's event stream
    QString dataDir;  // --data-dir DIR: where the setting file's log and counter may also be
};

// True when the arguments ask for the usage or the version only; these are
// printed before any window system is needed, so they work on a console
// without a display.
[[nodiscard]] bool AsksForHelpOrVersion(const QStringList& arguments);

// Parses the command line into `out`. Prints the usage or the version and
// ends the process when asked for; returns the exit status when the run ends
// here (2 for an unknown option), else nothing.
[[nodiscard]] std::optional<int> ParseAppCommandLine(const QStringList& arguments,
                                                     AppCommandLine& out);

class COrioleApp {
public:
    // Runs the program inside an existing QApplication: parses the command
    // line, ends silently when another copy runs (with a message and 1 when
    // no lock can be made at all), and runs the main window. Returns the
    // exit status.
    int InitInstance(const QStringList& arguments);

private:
    int RunProductionWindow(const AppCommandLine& line);

    CSingleInstance m_instance;
};

}  // namespace oriole
