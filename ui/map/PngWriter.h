// PngWriter.h --- writes a pixel buffer as an 8-bit RGB PNG file (zlib for the compressed data).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/map/PixelBuffer.h"

namespace tarvo::ui {

// The PNG bytes of the buffer (an empty buffer gives no bytes).
std::vector<uint8_t> EncodePng(const PixelBuffer& buffer);

// Writes the buffer to path through a temporary file renamed into place, so
// that a failed write leaves no half file. False with a reason in error.
bool WritePng(const PixelBuffer& buffer, const std::string& path, std::string& error);

}  // namespace tarvo::ui
