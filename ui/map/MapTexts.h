// MapTexts.h --- the texts the cluster map view and its legend show, with their string numbers.
#pragma once

#include <array>

namespace tarvo::ui {

constexpr const char* kProcessingText = "Processing information for display ...";
constexpr const char* kTooSmallText = "Sorry. Window is too small.";
constexpr const char* kClustersPerBlockFormat = "%d clusters per block";  // string 33685
constexpr const char* kDirectoryBlockText = "directory block";           // exists, not shown

// One legend row: its text and palette index.
struct LegendRow {
    const char* text;
    int colour;
};

// The legend rows in the order they are drawn.
constexpr std::array<LegendRow, 8> kLegendRows = {{
    {"empty block", 0},
    {"compressed block", 1},
    {"used block", 5},
    {"fragmented block", 8},
    {"MFT reserved block", 11},
    {"system block", 9},
    {"temp system block", 10},
    {"working block", 12},
}};

// The Cluster Inspector's texts for clusters that no known file owns.
constexpr const char* kInspectorSystemUsed = "system used";
constexpr const char* kInspectorMftReserved = "MFT reserved space";
constexpr const char* kInspectorTempSystem = "temporarly system used";
constexpr const char* kInspectorEmpty = "empty";

}  // namespace tarvo::ui
