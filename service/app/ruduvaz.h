// RUDuvAz: the drive label service. Labels reader slots at start and on volume arrival,
// releases a label on volume removal and all of them at stop.
#pragma once

#include <cstdint>

#include "core/reader_drive_labels.h"
#include "host/lock.h"
#include "host/nt_service.h"

namespace kqm {

constexpr const char* kServiceName = "KQMIEx64";

class RUDuvAz : public CNTService, public ReaderDriveLabels {
  public:
    RUDuvAz(ServicePlatform& platform, Registry& registry, DriveTypeSource& drives,
            TextConverter& text);
    ~RUDuvAz() override;

    void Run() override;
    bool OnInit() override;
    void OnStop() override;
    void OnShutdown() override;
    bool OnUserControl(std::uint32_t control) override;
    bool OnDeviceChange(std::uint32_t eventType, void* eventData) override;

  private:
    // OnInit runs on the service thread while device events and the stop come in on the
    // dispatcher's; their work on driveSlots, scanStartLetter and the label keys takes turns.
    Lock labelLock_;
};

}  // namespace kqm
