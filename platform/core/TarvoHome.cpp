// TarvoHome.cpp --- locating and creating the data folder.
#include "platform/core/TarvoHome.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tarvo::platform {

std::string TarvoHomeLocation() {
    std::string home;
    if (const char* env = std::getenv("TARVO_HOME"); env != nullptr && *env != '\0') {
        home = env;
    } else if (const char* user = std::getenv("HOME"); user != nullptr && *user != '\0') {
        home = std::string(user) + "/.local/share/tarvo";
    } else {
        home = "/tmp/tarvo";
    }
    return home;
}

std::string TarvoHome() {
    std::string home = TarvoHomeLocation();
    std::error_code ignored;
    std::filesystem::create_directories(home, ignored);
    return home;
}

std::string TarvoHomePath(const std::string& name) { return TarvoHome() + "/" + name; }

}  // namespace tarvo::platform
