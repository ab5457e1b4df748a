#pragma once
// The main window's device list as data: "(auto)" and every catalogue
// device, in the order the sorted list shows them, each standing for its
// catalogue row. The window fills its list from the same rule, so a name
// looked up here is the entry the user sees first.

#include <QString>
#include <span>

namespace oriole {

// Catalogue rows in list order: row 0 first, then the devices by name
// without regard to case (equal names in table order).
std::span<const int> DeviceListRows();

// The text of a row's entry: "(auto)" (text::kAutoDetectList) for row 0,
// else the device's name.
QString DeviceListText(int row);

// The row of the first entry in list order whose text begins with `prefix`,
// compared without regard to case; -1 when none does. An empty prefix
// matches the first entry.
int FindDeviceListEntry(const QString& prefix);

}  // namespace oriole
