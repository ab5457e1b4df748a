#pragma once
// Widget tests need one QApplication for the whole run; the test environment
// sets QT_QPA_PLATFORM=offscreen. It is made on first use, so that listing
// the tests needs no display, and never destroyed: Qt's own globals are gone
// by the time a static one would be.

#include <QApplication>
#include <QSettings>

namespace oriole::test {

inline void EnsureQtApp() {
    static int argc = 1;
    static char name[] = "views_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
    // File dialogs store their history in Qt's per-user settings; a test run
    // leaves the user's configuration folder alone.
    static const bool settingsAway = [] {
        for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
        return true;
    }();
    (void)settingsAway;
}

}  // namespace oriole::test
