// MapExport.cpp --- analysis of one drive on the calling thread, then a whole-map drawing into a PNG.
#include "ui/map/MapExport.h"

#include <cctype>
#include <charconv>

#include "engine/Analysis.h"
#include "ui/map/MapRenderer.h"
#include "ui/map/PngWriter.h"
#include "volume/DefragJob.h"
#include "volume/RecordingViewSink.h"
#include "volume/VolumeOps.h"

namespace tarvo::ui {

namespace {

constexpr int kMaxSide = 16384;

bool ParseSide(std::string_view text, int& value) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 1 && value <= kMaxSide;
}

// "D", "D:" or "D:\" (either case) gives 'D'; anything else 0.
char DriveLetterOf(const std::string& drive) {
    if (drive.empty() || drive.size() > 3 || !std::isalpha(static_cast<unsigned char>(drive[0]))) return 0;
    if (drive.size() >= 2 && drive[1] != ':') return 0;
    if (drive.size() == 3 && drive[2] != '\\' && drive[2] != '/') return 0;
    return static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
}

}  // namespace

bool ParseMapSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    int w = 0, h = 0;
    if (!ParseSide(std::string_view(text).substr(0, x), w) || !ParseSide(std::string_view(text).substr(x + 1), h))
        return false;
    width = w;
    height = h;
    return true;
}

int ExportDriveMap(const MapExportRequest& request, std::string& error) {
    const char letter = DriveLetterOf(request.drive);
    if (letter == 0) {
        error = "'" + request.drive + "' is not a drive; name one as D:";
        return 1;
    }
    if (request.width < 1 || request.height < 1 || request.width > kMaxSide || request.height > kMaxSide) {
        error = "the picture size must lie between 1x1 and 16384x16384";
        return 1;
    }
    volume::RecordingViewSink sink;
    volume::CDefragJob job;
    if (!volume::OpenDrive(job, &sink, std::string(1, letter), request.blockSize)) {
        error = std::string("drive ") + letter + ": does not open (map it with tarvoctl drive map)";
        return 1;
    }
    job.m_gate.Start();
    if (!engine::RunAnalysis(job) || !job.m_clusterBitmap) {
        error = std::string("the analysis of drive ") + letter + ": failed";
        return 1;
    }
    PixelBuffer buffer(request.width, request.height);
    MapGeometry geometry;
    const int result = DrawWholeMap(job, buffer, request.blockSize, request.shadow, {}, geometry);
    if (!WritePng(buffer, request.path, error)) return 1;
    if (result != kMapDrawn) error = "the picture is too small for the volume; it shows the message only";
    return 0;
}

}  // namespace tarvo::ui
