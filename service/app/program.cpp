// The program entry: command line first, the service dispatcher otherwise.
#include "app/program.h"

#include "app/ruduvaz.h"

namespace kqm {

int RunServiceProgram(CNTService& service, int argc, char** argv) {
    if (!service.HandleCommandLine(argc, argv)) service.StartDispatcher();
    return static_cast<int>(service.CurrentStatus().dwWin32ExitCode);
}

int ProgramMain(int argc, char** argv, ServicePlatform& platform, Registry& registry,
                DriveTypeSource& drives, TextConverter& text) {
    RUDuvAz service(platform, registry, drives, text);
    return RunServiceProgram(service, argc, argv);
}

}  // namespace kqm
