// CommandInstall.cpp --- tarvoctl install: records where the programs are, so the scheduler and the
// Schedule service find them under their Windows names, and puts the defragmenter in the desktop's menu.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/SystemIntegration.h"
#include "tools/tarvoctl/Command.h"

namespace tarvo::tools {
namespace {

constexpr const char* kUsage = "install [--bindir DIR] [--prefix DIR | --no-desktop]";

constexpr const char* kDesktopName = "tarvo-defrag";

// The menu picture: a disk with the map's blocks.
constexpr const char* kIconSvg =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" viewBox=\"0 0 48 48\">\n"
    "  <rect x=\"2\" y=\"6\" width=\"44\" height=\"36\" rx=\"3\" fill=\"#c0c0c0\" stroke=\"#808080\"/>\n"
    "  <g stroke=\"#808080\" stroke-width=\"0.5\">\n"
    "    <rect x=\"6\" y=\"10\" width=\"8\" height=\"8\" fill=\"#008000\"/>\n"
    "    <rect x=\"15\" y=\"10\" width=\"8\" height=\"8\" fill=\"#000080\"/>\n"
    "    <rect x=\"24\" y=\"10\" width=\"8\" height=\"8\" fill=\"#000080\"/>\n"
    "    <rect x=\"33\" y=\"10\" width=\"8\" height=\"8\" fill=\"#ff0000\"/>\n"
    "    <rect x=\"6\" y=\"19\" width=\"8\" height=\"8\" fill=\"#000080\"/>\n"
    "    <rect x=\"15\" y=\"19\" width=\"8\" height=\"8\" fill=\"#ff0000\"/>\n"
    "    <rect x=\"24\" y=\"19\" width=\"8\" height=\"8\" fill=\"#ffffff\"/>\n"
    "    <rect x=\"33\" y=\"19\" width=\"8\" height=\"8\" fill=\"#000080\"/>\n"
    "    <rect x=\"6\" y=\"28\" width=\"8\" height=\"8\" fill=\"#ffff00\"/>\n"
    "    <rect x=\"15\" y=\"28\" width=\"8\" height=\"8\" fill=\"#ffffff\"/>\n"
    "    <rect x=\"24\" y=\"28\" width=\"8\" height=\"8\" fill=\"#ffffff\"/>\n"
    "    <rect x=\"33\" y=\"28\" width=\"8\" height=\"8\" fill=\"#ffffff\"/>\n"
    "  </g>\n"
    "</svg>\n";

// One argument of an Exec key: quoted, with the characters the desktop entry
// format reserves inside quotes escaped, then backslashes doubled as every
// string value of the file needs.
std::string ExecArgument(const std::string& word) {
    std::string quoted = "\"";
    for (char c : word) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string escaped;
    for (char c : quoted) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// A string value of the file: backslashes doubled, control characters refused.
bool StringValue(const std::string& text, std::string& value) {
    value.clear();
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (c == '\\') value += '\\';
        value += c;
    }
    return true;
}

// Writes through a temporary file in the same folder, so a reader never sees half a file.
bool WriteWhole(const std::filesystem::path& path, const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) return false;
    const std::filesystem::path temporary = path.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::filesystem::remove(temporary, error);
            return false;
        }
    }
    std::filesystem::rename(temporary, path, error);
    if (error) std::filesystem::remove(temporary, error);
    return !error;
}

// $XDG_DATA_HOME (an absolute path), else ~/.local/share; PREFIX/share when given.
std::filesystem::path DataFolder(const std::string& prefix) {
    if (!prefix.empty()) return std::filesystem::absolute(prefix) / "share";
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr && home[0] == '/' ? home : "/") / ".local" / "share";
}

// The .desktop entry and the icon, in the freedesktop places under the data folder.
bool InstallDesktopEntry(const std::string& binFolder, const std::filesystem::path& data) {
    const std::string program = binFolder + "/TarvoDefrag";
    std::string tryExec;
    if (!StringValue(program, tryExec)) {
        std::fprintf(stderr, "tarvoctl install: the folder name holds control characters; no desktop entry\n");
        return false;
    }
    const std::string entry = std::string("[Desktop Entry]\n") +
                              "Type=Application\n"
                              "Version=1.5\n"
                              "Name=Tarvo Defrag\n"
                              "GenericName=Defragmenter\n"
                              "Comment=Defragment NTFS and FAT volumes\n"
                              "TryExec=" + tryExec + "\n" +
                              "Exec=" + ExecArgument(program) + "\n" +
                              "Icon=" + kDesktopName + "\n" +
                              "Terminal=false\n"
                              "Categories=System;Filesystem;\n"
                              "Keywords=defragment;disk;NTFS;FAT;\n"
                              "StartupNotify=true\n";
    const auto desktop = data / "applications" / (std::string(kDesktopName) + ".desktop");
    const auto icon = data / "icons" / "hicolor" / "scalable" / "apps" / (std::string(kDesktopName) + ".svg");
    if (!WriteWhole(desktop, entry) || !WriteWhole(icon, kIconSvg)) {
        std::fprintf(stderr, "tarvoctl install: cannot write the desktop entry under %s\n", data.c_str());
        return false;
    }
    std::printf("Desktop entry: %s\nIcon: %s\n", desktop.c_str(), icon.c_str());
    return true;
}

// The folder of the running tarvoctl, where the build puts every program.
std::string OwnFolder() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

int RunInstall(const Arguments& args) {
    std::string folder, prefix;
    bool desktop = true;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--bindir" && i + 1 < args.size()) {
            folder = args[++i];
        } else if (args[i] == "--prefix" && i + 1 < args.size() && !args[i + 1].empty()) {
            prefix = args[++i];
        } else if (args[i] == "--no-desktop") {
            desktop = false;
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
    if (desktop && !InstallDesktopEntry(folder, DataFolder(prefix))) return 1;
    return 0;
}

CommandRegistration g_install{{"install", kUsage,
                               "record the programs' folder under the application-path key and add the desktop entry", RunInstall}};

}  // namespace
}  // namespace tarvo::tools
