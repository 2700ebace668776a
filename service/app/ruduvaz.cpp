// The service's reaction to start, stop and volume events.
#include "app/ruduvaz.h"

namespace kqm {

RUDuvAz::RUDuvAz(ServicePlatform& platform, Registry& registry, DriveTypeSource& drives,
                 TextConverter& text)
    : CNTService(kServiceName, platform, registry), ReaderDriveLabels(registry, drives, text) {}

RUDuvAz::~RUDuvAz() = default;

void RUDuvAz::Run() {
    while (running) Platform().Sleep(1000);
}

bool RUDuvAz::OnInit() {
    LockGuard guard(labelLock_);
    // Labels left by a run that never reached its stop go first.
    ReloadDriveSlots();
    ClearDriveLabels();
    scanStartLetter = 'D';
    LabelReaderDrives(true);
    return true;
}

void RUDuvAz::OnStop() {
    LockGuard guard(labelLock_);
    ReloadDriveSlots();
    ClearDriveLabels();
    Trace(this, "RUDuvAz::OnStop()");
}

void RUDuvAz::OnShutdown() {}

bool RUDuvAz::OnUserControl(std::uint32_t control) {
    return control == 128;
}

bool RUDuvAz::OnDeviceChange(std::uint32_t eventType, void* /*eventData*/) {
    LockGuard guard(labelLock_);
    if (eventType == kDbtDeviceArrival) {
        Trace(this, "DeviceArrival-Enter");
        scanStartLetter = 'D';
        LabelReaderDrives(false);
        Trace(this, "DeviceArrival-Exit");
    } else if (eventType == kDbtDeviceRemoveComplete) {
        Trace(this, "DeviceRemoveComplete-Enter");
        ReleaseDriveLabel();
        Trace(this, "DeviceRemoveComplete-Exit");
    }
    return true;
}

}  // namespace kqm
