#include "base/QtTranslation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace oriole {
namespace {

constexpr char kQtJapanese[] = "qtbase_ja";

}  // namespace

QString QtJapaneseTranslationPath() {
    return QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        .filePath(QString::fromLatin1(kQtJapanese) + QStringLiteral(".qm"));
}

bool InstallQtJapanese(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QtJapaneseTranslationPath()) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

}  // namespace oriole
