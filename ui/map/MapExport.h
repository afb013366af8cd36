// MapExport.h --- the map picture of a drive without a display: analyse the drive, render, write a PNG.
//
// TarvoDefrag's --map-png FILE --size WxH D: calls ExportDriveMap after its
// start-up (settings loaded). Nothing on the volume changes.
#pragma once

#include <string>

#include "ui/map/MapGeometry.h"

namespace tarvo::ui {

struct MapExportRequest {
    std::string drive;  // "D", "D:" or "D:\"
    std::string path;   // the PNG file to write
    int width = 640;
    int height = 480;
    int blockSize = 9;  // the BlockSize setting
    Shadow shadow = Shadow::Flat;
};

// Parses "WxH" (each 1..16384). False for anything else.
bool ParseMapSize(const std::string& text, int& width, int& height);

// Answers 0 when the picture was written; otherwise 1 with the reason in
// error (bad drive, volume that does not open, failed analysis, failed write).
// A window too small for the volume still writes the grey picture with its
// message, and says so in error with answer 0.
int ExportDriveMap(const MapExportRequest& request, std::string& error);

}  // namespace tarvo::ui
