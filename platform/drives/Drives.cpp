// Drives.cpp --- the letter links under $TARVO_HOME/dosdevices and the process-wide backend cache.
#include "platform/drives/Drives.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "platform/core/TarvoHome.h"
#include "platform/drives/BackendFactory.h"

namespace tarvo::platform {

namespace fs = std::filesystem;

namespace {
// What a letter's link resolved to at its last open: the link and its target as
// read, the identity of the file they reach, and the key of its backend.
struct ResolvedLink {
    std::string link;
    std::string target;
    dev_t device = 0;
    ino_t inode = 0;
    std::string canonical;
};

// The backend a letter is held to by its open volume handles.
struct DriveHold {
    std::shared_ptr<VolumeBackend> backend;
    int count = 0;
};

struct DriveState {
    std::mutex mutex;
    std::map<char, std::shared_ptr<VolumeBackend>> inProcess;
    DriveHold held[26];
    std::map<std::string, std::shared_ptr<VolumeBackend>> byPath;
    ResolvedLink resolved[26];
};

DriveState& State() {
    static DriveState* state = new DriveState;  // outlives handles closed during exit
    return *state;
}

std::string LinkPath(char letter) {
    return DosDevicesFolder() + "/" + static_cast<char>(letter - 'A' + 'a') + ":";
}

// The link of a letter without making its folder.
std::string LinkPathOnly(char letter) {
    return TarvoHomeLocation() + "/dosdevices/" + static_cast<char>(letter - 'A' + 'a') + ":";
}

// The link's target as stored, and the identity of the file it reaches. False
// when the link is missing or broken.
bool ReadLink(const std::string& link, std::string& target, struct stat& reached) {
    char buffer[4096];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
    target.assign(buffer, static_cast<size_t>(n));
    return ::stat(link.c_str(), &reached) == 0;
}

// Every file and directory the analysis meets opens its drive once or twice, so
// a letter whose link still reads and reaches as at its last open is answered
// from that open, in two system calls instead of resolving the whole path again.
std::shared_ptr<VolumeBackend> ReuseResolved(DriveState& state, char letter) {
    const std::string link = LinkPathOnly(letter);
    std::string target;
    struct stat reached {};
    if (!ReadLink(link, target, reached)) return nullptr;
    std::lock_guard lock(state.mutex);
    const ResolvedLink& last = state.resolved[letter - 'A'];
    if (last.link != link || last.target != target || last.device != reached.st_dev || last.inode != reached.st_ino)
        return nullptr;
    auto it = state.byPath.find(last.canonical);
    return it == state.byPath.end() ? nullptr : it->second;
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
    {
        std::lock_guard lock(state.mutex);
        if (const DriveHold& hold = state.held[letter - 'A']; hold.count > 0) {
            status = STATUS_SUCCESS;
            return hold.backend;
        }
    }
    if (auto reused = ReuseResolved(state, letter)) {
        status = STATUS_SUCCESS;
        return reused;
    }
    std::error_code ec;
    std::string link = LinkPath(letter);
    std::string target;
    struct stat reached {};
    const bool linkRead = ReadLink(link, target, reached);
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
    // Remembered only when the link read the same before and after resolving it.
    auto remember = [&] {
        std::string again;
        struct stat reachedAgain {};
        if (linkRead && ReadLink(link, again, reachedAgain) && again == target &&
            reachedAgain.st_dev == reached.st_dev && reachedAgain.st_ino == reached.st_ino)
            state.resolved[letter - 'A'] = {link, target, reached.st_dev, reached.st_ino, canonical.string()};
    };
    if (auto it = state.byPath.find(canonical.string()); it != state.byPath.end()) {
        status = STATUS_SUCCESS;
        remember();
        return it->second;
    }
    auto backend = OpenVolumeBackend(canonical.string(), status, error);
    if (backend) {
        state.byPath[canonical.string()] = backend;
        remember();
    }
    return backend;
}

bool HoldDrive(char letter, const std::shared_ptr<VolumeBackend>& backend) {
    letter = ParseDriveLetter(std::string_view(&letter, 1));
    if (letter == 0 || !backend) return false;
    auto& state = State();
    std::lock_guard lock(state.mutex);
    DriveHold& hold = state.held[letter - 'A'];
    if (hold.count > 0 && hold.backend != backend) return false;
    hold.backend = backend;
    ++hold.count;
    return true;
}

void UnholdDrive(char letter) {
    letter = ParseDriveLetter(std::string_view(&letter, 1));
    if (letter == 0) return;
    std::shared_ptr<VolumeBackend> released;  // dropped outside the lock: closing a volume may flush
    auto& state = State();
    {
        std::lock_guard lock(state.mutex);
        DriveHold& hold = state.held[letter - 'A'];
        if (hold.count > 0 && --hold.count == 0) released = std::move(hold.backend);
    }
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
