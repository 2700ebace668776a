// KQMIEx64.exe: the drive label service, and its -v, -i and -u command line.
#include "app/program.h"
#include "win32/win32_registry.h"
#include "win32/win32_service_platform.h"
#include "win32/win32_system.h"

int main(int argc, char** argv) {
    kqm::Win32ServicePlatform platform;
    kqm::Win32Registry registry;
    kqm::Win32DriveTypes drives;
    kqm::Win32TextConverter text;
    return kqm::ProgramMain(argc, argv, platform, registry, drives, text);
}
