// oriole-cli devices: the catalogue as a table.

#include <cstdio>

#include "CliCommon.h"
#include "devices/Devices.h"

namespace oriole::cli {

int RunDevices(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription("対応デバイスの一覧: 行番号, 名前, ID, シグネチャ, "
                                     "FLASH / EEPROM の構成, ヒューズマスク");
    if (const int status = ParseCommand(parser, args, 0, 0); status >= 0) return status;

    std::printf("%-4s %-18s %-4s %-9s %-26s %-24s %s\n", "行", "デバイス", "ID", "シグネチャ",
                "FLASH (ワード: ページ×サイズ)", "EEPROM (バイト: ページ×サイズ)", "ヒューズ");
    for (int row = 1; DeviceAt(row).id != -1; ++row) {
        const AVR_DEVICE& d = DeviceAt(row);
        char flash[48];
        char eeprom[48];
        std::snprintf(flash, sizeof flash, "%6d: %3d x %4d", static_cast<int>(d.flashWords),
                      static_cast<int>(d.flashPages), static_cast<int>(d.flashPageWords));
        std::snprintf(eeprom, sizeof eeprom, "%5d: %3d x %4d", static_cast<int>(d.eepromBytes),
                      static_cast<int>(d.eepromPages), static_cast<int>(d.eepromPageBytes));
        std::printf("%-4d %-18s %-4d %02X %02X %02X  %-26s %-24s %d\n", row, d.name,
                    static_cast<int>(d.id), d.signature[0], d.signature[1], d.signature[2], flash,
                    eeprom, static_cast<int>(d.fuseMask));
    }
    return kExitOk;
}

}  // namespace oriole::cli
