#include "views/FileSaveDlg.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>

#include "res/Dialogs.h"
#include "res/Texts.h"
#include "views/FileFilters.h"
#include "views/ResDialog.h"

namespace oriole {
namespace {

// The list's entries, in the order of the format numbers.
constexpr const char* kFormatNames[] = {text::kSaveFormatIntelHex, text::kSaveFormatSRecord,
                                       text::kSaveFormatBinary};

}  // namespace

CFileSaveDlg::CFileSaveDlg(const QString& filter, const QString& startFolder, QWidget* parent)
    : QFileDialog(parent) {
    // Only the toolkit's own dialog can take an area of ours.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    // Saving over a file replaces it without asking, as the views always did.
    setOption(QFileDialog::DontConfirmOverwrite);
    setNameFilters(NameFiltersFromPipeList(filter));
    setDirectory(startFolder);

    m_pFormatArea = new CResWidget(res::kSaveFormatTemplate, this);
    for (const char* name : kFormatNames)
        m_pFormatArea->AddListItem(kSaveFormatListId, QString::fromUtf8(name));
    // The user's picks only; setting the selection from code is no choice.
    connect(FormatList(), &QComboBox::activated, this, [this](int index) { m_nFormat = index; });
    SetFormat(0);

    PlaceFormatArea();
}

void CFileSaveDlg::PlaceFormatArea() {
    // The template's positions were drawn to line up with another dialog's
    // controls. Here its label and list go into a row of their own under the
    // file type row, in the same columns, so they line up with this dialog.
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (!grid) {
        // Not the layout this was made for: the whole area goes at the end.
        if (layout()) layout()->addWidget(m_pFormatArea);
        return;
    }
    const int row = grid->rowCount();
    for (const CControls::Entry& e : m_pFormatArea->All()) {
        if (e.def->kind == res::Kind::Static) grid->addWidget(e.widget, row, 0);
        if (e.def->id == kSaveFormatListId) grid->addWidget(e.widget, row, 1);
    }
    m_pFormatArea->hide();
}

void CFileSaveDlg::SetFormat(int format) {
    m_nFormat = format;
    QComboBox* list = FormatList();
    list->setCurrentIndex(format >= 0 && format < list->count() ? format : -1);
}

QComboBox* CFileSaveDlg::FormatList() const {
    return m_pFormatArea->ComboBox(kSaveFormatListId);
}

QString SaveStartFolder(const QString& lastSaveName) {
    if (lastSaveName.trimmed().isEmpty()) return QDir::homePath();
    return QFileInfo(lastSaveName).absolutePath();
}

bool AskSavePath(QWidget* parent, const QString& filter, const QString& lastSaveName, int& format,
                 QString& path) {
    CFileSaveDlg dialog(filter, SaveStartFolder(lastSaveName), parent);
    dialog.SetFormat(format);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    path = chosen.first();
    format = dialog.GetFormat();
    return true;
}

}  // namespace oriole
