// MapPalette.h --- the cluster map's fixed colours and the colour of each block kind.
#pragma once

#include <array>
#include <cstdint>

namespace tarvo::ui {

// A colour as the platform spells it: 0x00BBGGRR.
using COLORREF = uint32_t;

constexpr uint8_t GetRValue(COLORREF c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GetGValue(COLORREF c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(COLORREF c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

// The seventeen palette entries; no setting changes them.
constexpr std::array<COLORREF, 17> kPalette = {
    0xFFFFFF,  // 0 white: empty block
    0xFF0000,  // 1 blue: compressed block
    0x0000FF,  // 2 (unused)
    0xFF0000,  // 3 (unused)
    0x0000FF,  // 4 red: compressed and fragmented file
    0x800000,  // 5 navy: used block
    0xBE0000,  // 6 dark blue: block kind 1
    0x008080,  // 7 olive: block kind 3
    0x0000FF,  // 8 red: fragmented block
    0x008000,  // 9 green: system block
    0x00FF00,  // 10 lime: temp system block
    0x00FFFF,  // 11 yellow: MFT reserved block
    0xFFFF00,  // 12 cyan: working block
    0xAA78FF,  // 13 pink: cluster kind 51
    0x808080,  // 14 grey: shadow in 3-D mode
    0xC0C0C0,  // 15 light grey: background
    0x808000,  // 16 teal: cluster kind 96
};

constexpr int kShadowColour = 14;
constexpr int kBackgroundColour = 15;
constexpr COLORREF kLightGrey = kPalette[kBackgroundColour];

// Block kinds the reduction produces (and 1, 3 which it never does).
constexpr int kBlockEmpty = 0;
constexpr int kBlockUsed = 2;
constexpr int kBlockFragmented = 4;
constexpr int kBlockCompressed = 5;
constexpr int kBlockCompressedFragmented = 6;
constexpr int kBlockWorking = 50;
constexpr int kBlockKind51 = 51;
constexpr int kBlockKind96 = 96;
constexpr int kBlockTempSystem = 97;
constexpr int kBlockMftReserved = 98;
constexpr int kBlockSystem = 99;

// The palette index of a block kind; an unknown kind is drawn as empty.
constexpr int ColourIndexOf(int blockKind) {
    switch (blockKind) {
        case 1: return 6;
        case kBlockUsed: return 5;
        case 3: return 7;
        case kBlockFragmented: return 8;
        case kBlockCompressed: return 1;
        case kBlockCompressedFragmented: return 4;
        case kBlockWorking: return 12;
        case kBlockKind51: return 13;
        case kBlockKind96: return 16;
        case kBlockTempSystem: return 10;
        case kBlockMftReserved: return 11;
        case kBlockSystem: return 9;
        default: return 0;
    }
}

}  // namespace tarvo::ui
