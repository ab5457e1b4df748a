#pragma once
// How the writer link reaches the selected device and the device list: the
// main window implements it (list selection, cleared values, enabled
// controls), tests implement it with plain fields.

#include "devices/Devices.h"

namespace oriole {

class IDeviceSelector {
public:
    virtual ~IDeviceSelector() = default;

    // The selected record (m_pDevice).
    virtual const AVR_DEVICE& SelectedDevice() const = 0;

    // The auto-detect check box.
    virtual bool IsAutoDetect() const = 0;

    // The signature read from the target matched catalogue row `row` (>= 1).
    // Selects it as the user's own choice would (values cleared when the row
    // changes, list item selected, controls adapted). Returns false when the
    // list has no item for the row; then "(auto)" is selected and
    // m_nDevice is 0.
    [[nodiscard]] virtual bool SelectDetectedDevice(int row) = 0;

    // The signature matched no row: m_nDevice = 0; the list and the selected
    // record stay as they are.
    virtual void ForgetDetectedDevice() = 0;
};

}  // namespace oriole
