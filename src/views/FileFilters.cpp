#include "views/FileFilters.h"

#include "res/Texts.h"

namespace oriole {
namespace {

// "FLASH ファイル (*.hex;*.mot)" -> "FLASH ファイル"
QString WithoutTrailingPatternList(const QString& description) {
    const QString trimmed = description.trimmed();
    if (!trimmed.endsWith(u')')) return trimmed;
    const qsizetype open = trimmed.lastIndexOf(u'(');
    if (open < 0) return trimmed;
    return trimmed.left(open).trimmed();
}

QStringList QtPatterns(const QString& patterns) {
    QStringList out;
    for (const QString& part : patterns.split(u';', Qt::SkipEmptyParts)) {
        const QString p = part.trimmed();
        if (p.isEmpty()) continue;
        out << (p == QStringLiteral("*.*") ? QStringLiteral("*") : p);
    }
    if (out.isEmpty()) out << QStringLiteral("*");
    return out;
}

}  // namespace

QStringList NameFiltersFromPipeList(const QString& pipeList) {
    QStringList parts = pipeList.split(u'|');
    // The list ends with '|': what follows it is no description.
    if (pipeList.endsWith(u'|')) parts.removeLast();
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& patterns = parts[i + 1];
        QString name = WithoutTrailingPatternList(description);
        if (!name.isEmpty()) name += u' ';
        filters << name + u'(' + QtPatterns(patterns).join(u' ') + u')';
    }
    return filters;
}

QString DataFileFilter(const char* description, const QString& patterns, bool forSave) {
    QString filter = QString::fromUtf8(description) + patterns + QStringLiteral(")|") + patterns +
                     QStringLiteral("|");
    if (!forSave) filter += QString::fromUtf8(text::kElfFilesFilter);
    return filter + QString::fromUtf8(text::kBinaryFilesFilter) +
           QString::fromUtf8(text::kAllFilesFilter);
}

int NameFilterIndex(const QStringList& filters, const QString& selected) {
    return static_cast<int>(filters.indexOf(selected));
}

}  // namespace oriole
