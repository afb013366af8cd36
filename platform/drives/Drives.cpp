// Drives.cpp --- the letter links under $TARVO_HOME/dosdevices and the process-wide backend cache.
#include "platform/drives/Drives.h"

#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "platform/core/TarvoHome.h"
#include "platform/drives/BackendFactory.h"

namespace tarvo::platform {

namespace fs = std::filesystem;

namespace {
struct DriveState {
    std::mutex mutex;
    std::map<char, std::shared_ptr<VolumeBackend>> inProcess;
    std::map<std::string, std::shared_ptr<VolumeBackend>> byPath;
};

DriveState& State() {
    static DriveState* state = new DriveState;  // outlives handles closed during exit
    return *state;
}

std::string LinkPath(char letter) {
    return DosDevicesFolder() + "/" + static_cast<char>(letter - 'A' + 'a') + ":";
}
}  // namespace

char ParseDriveLetter(std::string_view text) {
    if (text.empty() || text.size() > 3) {
        return 0;
    }
    char c = text[0];
    if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
    }
    if (c < 'A' || c > 'Z') {
        return 0;
    }
    if (text.size() >= 2 && text[1] != ':') {
        return 0;
    }
    if (text.size() == 3 && text[2] != '\\' && text[2] != '/') {
        return 0;
    }
    return c;
}

std::string DosDevicesFolder() {
    std::string folder = TarvoHomePath("dosdevices");
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    return folder;
}

bool MapDrive(char letter, const std::string& target, std::string& error) {
    if (letter < 'A' || letter > 'Z') {
        error = "a drive letter is one of A: to Z:";
        return false;
    }
    std::error_code ec;
    fs::path absolute = fs::absolute(target, ec);
    if (ec || !fs::exists(absolute, ec)) {
        error = "no such file or device: " + target;
        return false;
    }
    std::string link = LinkPath(letter);
    std::string temporary = link + ".new-" + std::to_string(::getpid());
    fs::remove(temporary, ec);
    fs::create_symlink(absolute, temporary, ec);
    if (ec) {
        error = "cannot create " + temporary + ": " + ec.message();
        return false;
    }
    fs::rename(temporary, link, ec);  // replaces an earlier mapping in one step
    if (ec) {
        error = "cannot create " + link + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

bool UnmapDrive(char letter, std::string& error) {
    if (letter < 'A' || letter > 'Z') {
        error = "a drive letter is one of A: to Z:";
        return false;
    }
    std::error_code ec;
    std::string link = LinkPath(letter);
    if (!fs::is_symlink(link, ec)) {
        error = std::string("drive ") + letter + ": is not mapped";
        return false;
    }
    fs::remove(link, ec);
    if (ec) {
        error = "cannot remove " + link + ": " + ec.message();
        return false;
    }
    return true;
}

std::vector<DriveMapping> ListDriveMappings() {
    std::map<char, DriveMapping> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(DosDevicesFolder(), ec)) {
        std::string name = entry.path().filename().string();
        char letter = ParseDriveLetter(name);
        if (letter == 0 || name.size() != 2 || !entry.is_symlink(ec)) {
            continue;
        }
        found[letter] = {letter, fs::read_symlink(entry.path(), ec).string(), false};
    }
    auto& state = State();
    std::lock_guard lock(state.mutex);
    for (const auto& [letter, backend] : state.inProcess) {
        found[letter] = {letter, "", true};
    }
    std::vector<DriveMapping> list;
    for (auto& [letter, mapping] : found) {
        list.push_back(std::move(mapping));
    }
    return list;
}

std::shared_ptr<VolumeBackend> OpenDriveBackend(char letter, NTSTATUS& status, std::string& error) {
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    auto& state = State();
    {
        std::lock_guard lock(state.mutex);
        if (auto it = state.inProcess.find(letter); it != state.inProcess.end()) {
            status = STATUS_SUCCESS;
            return it->second;
        }
    }
    if (letter < 'A' || letter > 'Z') {
        status = STATUS_OBJECT_NAME_INVALID;
        error = "not a drive letter";
        return nullptr;
    }
    std::error_code ec;
    std::string link = LinkPath(letter);
    if (!fs::is_symlink(link, ec)) {
        status = STATUS_OBJECT_NAME_NOT_FOUND;
        error = std::string("drive ") + letter + ": is not mapped";
        return nullptr;
    }
    fs::path canonical = fs::canonical(link, ec);
    if (ec) {
        status = STATUS_OBJECT_NAME_NOT_FOUND;
        error = std::string("drive ") + letter + ": points at " + fs::read_symlink(link, ec).string() +
                ", which does not exist";
        return nullptr;
    }
    // Opening holds the lock so that two threads never open one volume twice.
    std::lock_guard lock(state.mutex);
    if (auto it = state.byPath.find(canonical.string()); it != state.byPath.end()) {
        status = STATUS_SUCCESS;
        return it->second;
    }
    auto backend = OpenVolumeBackend(canonical.string(), status, error);
    if (backend) {
        state.byPath[canonical.string()] = backend;
    }
    return backend;
}

void MapDriveToBackend(char letter, std::shared_ptr<VolumeBackend> backend) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.inProcess[ParseDriveLetter(std::string_view(&letter, 1))] = std::move(backend);
}

void UnmapTestDrive(char letter) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.inProcess.erase(ParseDriveLetter(std::string_view(&letter, 1)));
}

void ReleaseCachedBackends() {
    std::map<std::string, std::shared_ptr<VolumeBackend>> released;
    auto& state = State();
    {
        std::lock_guard lock(state.mutex);
        released.swap(state.byPath);
    }
}

}  // namespace tarvo::platform
