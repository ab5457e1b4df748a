#include "views/FuseDlg.h"

#include <QAbstractButton>

#include "image/BitFiles.h"
#include "ops/OrioleCore.h"
#include "res/Dialogs.h"
#include "res/Texts.h"

namespace oriole {
namespace {

using namespace fuse_dlg;

// One fuse byte: its controls (bit 0 first), its bit of the fuse mask, its
// name indices in the device record, the main window's box it goes back to.
struct FuseColumn {
    BitColumnIds ids;
    int32_t maskBit;
    std::array<int32_t, 8> AVR_DEVICE::*names;
    int mainEdit;
};

// clang-format off
constexpr FuseColumn kFuseColumns[kColumnCount] = {
    {{{1098, 1080, 1079, 1078, 1077, 1076, 1075, 1074},
      {1185, 1184, 1183, 1182, 1181, 1180, 1179, 1178}, kExtEdit},
     kFuseExt, &AVR_DEVICE::extFuseBits, ctl_id::kExtEdit},
    {{{1099, 1087, 1086, 1085, 1084, 1083, 1082, 1081},
      {1193, 1192, 1191, 1190, 1189, 1188, 1187, 1186}, kHighEdit},
     kFuseHigh, &AVR_DEVICE::highFuseBits, ctl_id::kHighEdit},
    {{{1100, 1094, 1093, 1092, 1091, 1090, 1089, 1088},
      {1201, 1200, 1199, 1198, 1197, 1196, 1195, 1194}, kLowEdit},
     kFuseLow, &AVR_DEVICE::lowFuseBits, ctl_id::kLowEdit},
};
// clang-format on

// The bits whose programming the user must agree to, and the flag that
// remembers the agreement while the bit stays programmed.
struct RiskyBit {
    int32_t index;
    const char* question;
    bool CFuseDlg::*confirmed;
};

}  // namespace

CFuseDlg::CFuseDlg(CMainWindowAdapter& window, CMainSettings& settings, QWidget* parent)
    : CBitDlg(res::kFuseDialog, window, settings, parent),
      m_pDevice(&window.Core().Device()),
      m_columns{CBitColumn(*this, kFuseColumns[kExt].ids),
                CBitColumn(*this, kFuseColumns[kHigh].ids),
                CBitColumn(*this, kFuseColumns[kLow].ids)} {
    for (CBitColumn& column : m_columns) ConnectBits(column, [this] { UpdateFromBits(); });
    ConnectCommands({
        {kRead, Cursor::Wait, [this] { OnRead(); }},
        {kWrite, Cursor::Wait, [this] { OnWrite(); }},
        {kVerify, Cursor::Wait, [this] { OnVerify(); }},
        {kLoadFile, Cursor::Arrow, [this] { OnLoadFile(); }},
        {kSaveFile, Cursor::Arrow, [this] { OnSaveFile(); }},
    });
}

void CFuseDlg::OnInitDialog() {
    m_pDevice = &m_core.Device();
    m_bRstdisblConfirmed = false;
    m_bDwenConfirmed = false;
    ShowDevice();
    std::array<QString, kColumnCount> texts;
    bool anyText = false;
    for (size_t c = 0; c < texts.size(); ++c) {
        texts[c] = QString::fromStdString(m_window.Controls().Text(kFuseColumns[c].mainEdit));
        anyText = anyText || !texts[c].isEmpty();
    }
    if (anyText) {
        for (size_t c = 0; c < texts.size(); ++c) m_columns[c].SetText(texts[c]);
        SetBitsFromValues(TextValues());
    } else {
        UpdateFromBits();
    }
    // Shows the device's own fuses whenever it answers.
    Guarded(Cursor::Wait, [this] { OnRead(); });
}

void CFuseDlg::ShowDevice() {
    for (size_t c = 0; c < m_columns.size(); ++c) {
        const FuseColumn& column = kFuseColumns[c];
        // The box of a byte of the three-byte form; the single byte of the
        // old devices is shown in the low column by its bits alone.
        Enable(column.ids.edit, (m_pDevice->fuseMask & column.maskBit) != 0);
        m_columns[c].FillNames(m_pDevice->*column.names, FuseBitName, fuse_bit::SPIEN);
    }
}

void CFuseDlg::SetBitsFromValues(const std::array<uint8_t, 3>& values) {
    for (size_t c = 0; c < m_columns.size(); ++c) m_columns[c].SetFromValue(values[c]);
}

void CFuseDlg::UpdateFromBits() {
    static constexpr RiskyBit kRiskyBits[] = {
        {fuse_bit::RSTDISBL, text::kRstdisblQuestion, &CFuseDlg::m_bRstdisblConfirmed},
        {fuse_bit::DWEN, text::kDwenQuestion, &CFuseDlg::m_bDwenConfirmed},
    };
    for (int bit = 0; bit < 8; ++bit) {
        for (CBitColumn& column : m_columns) {
            for (const RiskyBit& risky : kRiskyBits) {
                if (column.NameIndex(bit) == risky.index)
                    ConfirmRiskyBit(column.Button(bit), this->*risky.confirmed, risky.question);
            }
        }
    }
    for (CBitColumn& column : m_columns) column.ShowValue();
}

void CFuseDlg::ConfirmRiskyBit(QAbstractButton* button, bool& confirmed, const char* question) {
    if (!button->isChecked()) {
        // Released: programming it again asks again.
        confirmed = false;
        return;
    }
    if (confirmed) return;
    if (m_core.Host().ShowMessage(MsgKind::Question, question, Answer::No) == Answer::Yes) {
        confirmed = true;
    } else {
        button->setChecked(false);
    }
}

void CFuseDlg::HandBack(bool enable) {
    CMainControls& main = m_window.Controls();
    for (size_t c = 0; c < m_columns.size(); ++c)
        main.SetText(kFuseColumns[c].mainEdit, m_columns[c].Text().toStdString());
    main.Enable(ctl_id::kFuseWrite, enable);
    main.Enable(ctl_id::kFuseVerify, enable);
}

std::array<uint8_t, 3> CFuseDlg::TextValues() const {
    return {m_columns[kExt].TextValue(), m_columns[kHigh].TextValue(), m_columns[kLow].TextValue()};
}

void CFuseDlg::OnRead() {
    FuseBytes read;
    const bool ok = m_window.ReadFuseBytes(read);
    // The job's detection may have found another device on the socket (a
    // failed one keeps the device); the names follow it.
    if (&m_core.Device() != m_pDevice) {
        m_pDevice = &m_core.Device();
        ShowDevice();
    }
    if (ok) {
        std::array<uint8_t, 3> values{};
        values[kExt] = read.ext;
        values[kHigh] = read.high;
        values[kLow] = read.low;
        SetBitsFromValues(values);
    }
    UpdateFromBits();
}

void CFuseDlg::OnWrite() {
    const std::array<uint8_t, 3> v = TextValues();
    if (m_window.WriteFuseBytes({v[kExt], v[kHigh], v[kLow]})) HandBack(true);
}

void CFuseDlg::OnVerify() {
    const std::array<uint8_t, 3> v = TextValues();
    static_cast<void>(m_window.VerifyFuseBytes({v[kExt], v[kHigh], v[kLow]}));
}

void CFuseDlg::OnLoadFile() {
    if (!AskFile(false, kFuseFileKind)) return;
    FuseTexts texts;
    if (!LoadFuseFile(m_core.Host(), RememberedPath(kFuseFileKind), texts)) return;
    m_columns[kExt].SetText(texts.ext);
    m_columns[kHigh].SetText(texts.high);
    m_columns[kLow].SetText(texts.low);
    // The named bits follow the file's values, and the byte texts the bits:
    // a bit the file releases but the dialog keeps (SPIEN) or one the device
    // does not name is shown, and written, as the buttons have it.
    SetBitsFromValues(TextValues());
    UpdateFromBits();
}

void CFuseDlg::OnSaveFile() {
    if (!AskFile(true, kFuseFileKind)) return;
    const FuseTexts texts{m_columns[kExt].Text(), m_columns[kHigh].Text(), m_columns[kLow].Text()};
    static_cast<void>(SaveFuseFile(m_core.Host(), RememberedPath(kFuseFileKind), texts));
}

}  // namespace oriole
