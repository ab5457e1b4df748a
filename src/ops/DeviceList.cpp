#include "ops/DeviceList.h"

#include <algorithm>
#include <vector>

#include "devices/Devices.h"
#include "res/Texts.h"

namespace oriole {

namespace {

std::vector<int> MakeListRows() {
    std::vector<int> rows;
    for (int row = 1; DeviceAt(row).id != -1; ++row) rows.push_back(row);
    // The same comparison the window's sorted lists use; "(auto)" sorts
    // before every name anyway, but it is item 0 by definition.
    std::stable_sort(rows.begin(), rows.end(), [](int a, int b) {
        return DeviceListText(a).compare(DeviceListText(b), Qt::CaseInsensitive) < 0;
    });
    rows.insert(rows.begin(), 0);
    return rows;
}

}  // namespace

std::span<const int> DeviceListRows() {
    static const std::vector<int> kRows = MakeListRows();
    return kRows;
}

QString DeviceListText(int row) {
    if (row == 0) return QString::fromUtf8(text::kAutoDetectList);
    return QString::fromUtf8(DeviceAt(row).name);
}

int FindDeviceListEntry(const QString& prefix) {
    for (int row : DeviceListRows()) {
        if (DeviceListText(row).startsWith(prefix, Qt::CaseInsensitive)) return row;
    }
    return -1;
}

}  // namespace oriole
