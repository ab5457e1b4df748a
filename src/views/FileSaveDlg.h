#pragma once
// The save dialog of the memory views: the toolkit's own file dialog with the
// controls of template 140 added below its own, whose list picks the file
// format (0 Intel HEX, 1 Motorola S-record).

#include <QFileDialog>
#include <QString>

class QComboBox;

namespace oriole {

class CResWidget;

// The id of the format list in template 140.
inline constexpr int kSaveFormatListId = 1132;

class CFileSaveDlg : public QFileDialog {
    Q_OBJECT
public:
    // `filter` in the program's "desc|patterns|desc|patterns|" form; the
    // dialog opens in `startFolder` with the first filter chosen.
    CFileSaveDlg(const QString& filter, const QString& startFolder, QWidget* parent = nullptr);

    // The format chosen when the dialog opens. A number without an entry
    // leaves the list without a selection and is kept until the user picks one.
    void SetFormat(int format);
    // The format last picked in the list (or set). Meaningful after OK only.
    [[nodiscard]] int GetFormat() const { return m_nFormat; }

    // The controls of template 140 (built there, shown in the dialog's own
    // rows) and the format list among them.
    [[nodiscard]] CResWidget& FormatArea() const { return *m_pFormatArea; }
    [[nodiscard]] QComboBox* FormatList() const;

private:
    void PlaceFormatArea();

    CResWidget* m_pFormatArea;
    int m_nFormat = 0;
};

// The folder a save dialog starts in: that of the last file saved, or the
// user's home folder when nothing was saved yet.
[[nodiscard]] QString SaveStartFolder(const QString& lastSaveName);

// The memory views' way through the dialog: shows it with `format` chosen,
// starting in SaveStartFolder(lastSaveName). On OK sets `path` and `format`
// to the user's choice and returns true; on cancel returns false and leaves
// both alone.
[[nodiscard]] bool AskSavePath(QWidget* parent, const QString& filter, const QString& lastSaveName,
                               int& format, QString& path);

}  // namespace oriole
