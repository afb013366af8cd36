// PngDecode.h --- reads back the 8-bit RGB PNG files the map writer makes, for pixel checks.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tarvo::ui::testing {

struct DecodedPng {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows of R, G, B
    bool ok = false;
    // The pixel as 0x00BBGGRR, the map's own colour form.
    uint32_t At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        return rgb[i] | rgb[i + 1] << 8 | rgb[i + 2] << 16;
    }
};

inline uint32_t BigEndian(const uint8_t* p) { return uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// Unfiltered rows only (filter byte 0), as the writer makes them; checks every CRC.
inline DecodedPng DecodePng(const std::string& path) {
    DecodedPng png;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 8 || bytes[1] != 'P' || bytes[2] != 'N' || bytes[3] != 'G') return png;
    std::vector<uint8_t> packed;
    for (size_t at = 8; at + 12 <= bytes.size();) {
        const uint32_t length = BigEndian(&bytes[at]);
        if (at + 12 + length > bytes.size()) return png;
        const std::string type(bytes.begin() + static_cast<long>(at) + 4, bytes.begin() + static_cast<long>(at) + 8);
        const uint8_t* data = &bytes[at + 8];
        if (crc32(0, &bytes[at + 4], length + 4) != BigEndian(data + length)) return png;
        if (type == "IHDR") {
            png.width = static_cast<int>(BigEndian(data));
            png.height = static_cast<int>(BigEndian(data + 4));
            if (data[8] != 8 || data[9] != 2) return png;
        } else if (type == "IDAT") {
            packed.insert(packed.end(), data, data + length);
        }
        at += 12 + length;
    }
    const size_t stride = static_cast<size_t>(png.width) * 3 + 1;
    std::vector<uint8_t> raw(stride * static_cast<size_t>(png.height));
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, packed.data(), packed.size()) != Z_OK || rawSize != raw.size()) return png;
    for (int y = 0; y < png.height; ++y) {
        if (raw[static_cast<size_t>(y) * stride] != 0) return png;
        png.rgb.insert(png.rgb.end(), raw.begin() + static_cast<long>(y * stride + 1),
                       raw.begin() + static_cast<long>((y + 1) * stride));
    }
    png.ok = true;
    return png;
}

}  // namespace tarvo::ui::testing
