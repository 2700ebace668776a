// The program entry of KQMIEx64, on whatever platform it is handed.
#pragma once

#include "host/nt_service.h"
#include "platform/registry.h"
#include "platform/service_platform.h"
#include "platform/system.h"

namespace kqm {

// The command line, or else the service run, of one service object; the exit code is the
// status's dwWin32ExitCode.
int RunServiceProgram(CNTService& service, int argc, char** argv);

// Constructs the RUDuvAz object, runs it and destroys it; returns the process exit code.
int ProgramMain(int argc, char** argv, ServicePlatform& platform, Registry& registry,
                DriveTypeSource& drives, TextConverter& text);

}  // namespace kqm
