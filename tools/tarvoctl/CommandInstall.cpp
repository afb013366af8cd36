// CommandInstall.cpp --- tarvoctl install: records where the programs are, so the scheduler and the
// Schedule service find them under their Windows names.
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/SystemIntegration.h"
#include "tools/tarvoctl/Command.h"

namespace tarvo::tools {
namespace {

constexpr const char* kUsage = "install [--bindir DIR]";

// The folder of the running tarvoctl, where the build puts every program.
std::string OwnFolder() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

int RunInstall(const Arguments& args) {
    std::string folder;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--bindir" && i + 1 < args.size()) {
            folder = args[++i];
        } else {
            std::fprintf(stderr, "usage: tarvoctl %s\n", kUsage);
            return 2;
        }
    }
    if (folder.empty()) folder = OwnFolder();
    std::error_code error;
    const auto absolute = std::filesystem::absolute(folder, error);
    if (error || !std::filesystem::is_directory(absolute, error)) {
        std::fprintf(stderr, "tarvoctl install: %s is not a folder\n", folder.c_str());
        return 1;
    }
    folder = absolute.lexically_normal().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!std::filesystem::exists(absolute / "TarvoDefrag"))
        std::fprintf(stderr, "tarvoctl install: note: %s holds no TarvoDefrag program yet\n", folder.c_str());
    if (!app::RegisterApplicationPath(folder)) {
        std::fprintf(stderr, "tarvoctl install: the registry could not be written\n");
        return 1;
    }
    std::printf("Application path: %s (TarvoDefrag.exe, TarvoScDef.exe)\n", folder.c_str());
    return 0;
}

CommandRegistration g_install{{"install", kUsage,
                               "record the programs' folder under the application-path key", RunInstall}};

}  // namespace
}  // namespace tarvo::tools
