#include "views/BitDlg.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QGuiApplication>

#include "ops/MainSettings.h"
#include "res/Texts.h"
#include "views/BitColumn.h"
#include "views/FileFilters.h"
#include "views/FileSaveDlg.h"

namespace oriole {

const BitFileKind kFuseFileKind{text::kFuseFileFilter, &CMainSettings::m_strFuseExt,
                                &CMainSettings::m_strFuseFile, ".fus"};
const BitFileKind kLockFileKind{text::kLockFileFilter, &CMainSettings::m_strLockExt,
                                &CMainSettings::m_strLockFile, ".loc"};

QString WithBitFileExtension(const QString& path, bool patternFilterActive,
                             const QString& extension) {
    if (!patternFilterActive) return path;
    const QString name = QFileInfo(path).fileName();
    if (name.isEmpty() || name.contains(u'.')) return path;
    return path + extension;
}

CBitDlg::CBitDlg(const res::DialogDef& dialog, CMainWindowAdapter& window, CMainSettings& settings,
                 QWidget* parent)
    : CResDialog(dialog, parent), m_window(window), m_core(window.Core()), m_settings(settings) {
    // "戻る" hands back and closes; "キャンセル" and the close box only close.
    // Both end the dialog with 0.
    connect(Button(res::kIdOk), &QAbstractButton::clicked, this, [this] {
        HandBack(true);
        done(0);
    });
    connect(Button(res::kIdCancel), &QAbstractButton::clicked, this, [this] { done(0); });
}

void CBitDlg::Guarded(Cursor cursor, const std::function<void()>& handler) {
    static_cast<void>(
        m_busy.Run(handler, cursor == Cursor::Wait ? CBusyGuard::Cursor::Wait : CBusyGuard::Cursor::Arrow));
}

void CBitDlg::ConnectCommands(std::initializer_list<Command> commands) {
    for (const Command& c : commands) {
        connect(Button(c.id), &QAbstractButton::clicked, this,
                [this, c] { Guarded(c.cursor, c.handler); });
    }
}

void CBitDlg::ConnectBits(CBitColumn& column, const std::function<void()>& update) {
    column.OnClicked([this, update](QAbstractButton* button) {
        if (m_busy.IsBusy()) {
            button->setChecked(!button->isChecked());
            return;
        }
        update();
    });
}

bool CBitDlg::AskFile(bool save, const BitFileKind& kind) {
    const QString& patterns = m_settings.*kind.patterns;
    const QString filter = QString::fromUtf8(kind.description) + patterns + QStringLiteral(")|") +
                           patterns + QStringLiteral("|") +
                           QString::fromUtf8(text::kAllFilesFilter);
    const QStringList filters = NameFiltersFromPipeList(filter);
    // The folder of the file last chosen, else the user's home folder.
    const QString folder = SaveStartFolder(m_settings.*kind.path);
    SettingFileChoice choice;
    if (!m_askFile || !m_askFile(this, save, folder, filters, choice) || choice.path.isEmpty())
        return false;
    m_settings.*kind.path = WithBitFileExtension(choice.path, choice.filterIndex == 0,
                                                 QString::fromLatin1(kind.extension));
    return true;
}

}  // namespace oriole
