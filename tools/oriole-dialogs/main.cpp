// oriole-dialogs: builds dialogs from their resource tables and saves each as
// a PNG, to look at layouts without running the program. Run it with
// QT_QPA_PLATFORM=offscreen where there is no display.
//
//   oriole-dialogs [--out DIR] [--style NAME] [--sample] [RESOURCE...]
//
// Without resource numbers every dialog is drawn. --sample puts typical
// contents into empty controls (device and clock lists, byte texts, bit-name
// labels, the slider's range) so that their room can be judged. Texts that do not fit their
// control are listed on standard error.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSlider>
#include <QStyleFactory>
#include <QTextStream>

#include "res/Dialogs.h"
#include "views/DialogBuilder.h"
#include "views/ResDialog.h"
#include "views/TextFit.h"

namespace {

using namespace oriole;

// Longest texts of their kind that the program puts into empty controls.
void FillSample(CResDialog& dialog) {
    for (const res::ControlDef& def : dialog.Resource().controls) {
        if (def.id == res::kNoId || def.text[0] != '\0') continue;
        const int widthDu = def.rect.w;
        switch (def.kind) {
            case res::Kind::DropDownList:
                dialog.AddListItem(def.id, QStringLiteral("ATmega328P"));
                break;
            case res::Kind::Edit:
                if (dialog.LineEdit(def.id))
                    dialog.SetText(def.id, widthDu <= 20 ? QStringLiteral("FF")
                                           : widthDu <= 40
                                               ? QStringLiteral("8.0MHz")
                                               : QStringLiteral("/home/user/avr/blink.hex"));
                break;
            case res::Kind::Slider:
                if (QSlider* slider = dialog.Slider(def.id)) slider->setRange(0, 5);
                break;
            case res::Kind::Static:
                dialog.SetText(def.id, widthDu <= 60 ? QStringLiteral("7: SELFPRGEN")
                                                     : QStringLiteral(" 000000 - 007FFF"));
                break;
            default:
                break;
        }
    }
}

int Grab(int resourceId, const QString& outDir, bool sample, QTextStream& err) {
    const res::DialogDef* def = res::FindDialog(resourceId);
    if (!def) {
        err << "oriole-dialogs: no dialog resource " << resourceId << "\n";
        return 1;
    }
    CResDialog dialog(*def);
    if (sample) FillSample(dialog);
    dialog.show();
    QApplication::processEvents();

    for (const CControls::Entry& e : dialog.All()) {
        if (const int over = TextOverflow(e.widget); over > 0)
            err << resourceId << ": control " << e.def->id << " \"" << WidgetText(e.widget)
                << "\" is " << over << " px too wide\n";
    }

    const QString path = QDir(outDir).filePath(QStringLiteral("dialog-%1.png").arg(resourceId));
    if (!dialog.grab().save(path)) {
        err << "oriole-dialogs: cannot write " << path << "\n";
        return 1;
    }
    const CDialogBuilder builder(*def);
    err << path << ": " << dialog.width() << "x" << dialog.height() << " px, font "
        << QFontInfo(builder.Font()).family() << " " << def->fontPoints << " pt, base units "
        << builder.BaseUnits().cx << "x" << builder.BaseUnits().cy << ", "
        << QString::number(4.0 * dialog.Scale().xNum / dialog.Scale().xDen, 'f', 2)
        << " px per 4 horizontal and "
        << QString::number(8.0 * dialog.Scale().yNum / dialog.Scale().yDen, 'f', 2)
        << " per 8 vertical units (the one scale of every dialog)\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTextStream err(stderr);
    QString outDir = QStringLiteral(".");
    bool sample = false;
    QList<int> ids;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--out") && i + 1 < args.size()) {
            outDir = args[++i];
        } else if (a == QStringLiteral("--style") && i + 1 < args.size()) {
            QApplication::setStyle(QStyleFactory::create(args[++i]));
        } else if (a == QStringLiteral("--sample")) {
            sample = true;
        } else {
            bool ok = false;
            const int id = a.toInt(&ok);
            if (!ok) {
                err << "usage: oriole-dialogs [--out DIR] [--style NAME] [--sample] "
                       "[RESOURCE...]\n";
                return 2;
            }
            ids << id;
        }
    }
    if (ids.isEmpty())
        for (const res::DialogDef* d : res::AllDialogs()) ids << d->resourceId;
    if (!QDir().mkpath(outDir)) {
        err << "oriole-dialogs: cannot create " << outDir << "\n";
        return 1;
    }
    int failures = 0;
    for (const int id : ids) failures += Grab(id, outDir, sample, err);
    return failures == 0 ? 0 : 1;
}
