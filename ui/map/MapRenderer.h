// MapRenderer.h --- drawing a drive's cluster map, whole or a file's blocks, into a pixel buffer.
//
// Runs on the drawing thread or on a worker that redraws a file; the caller
// holds the drawing lock. Nothing here touches a window.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/map/BlockKind.h"
#include "ui/map/MapGeometry.h"
#include "ui/map/PixelBuffer.h"

namespace tarvo::volume {
class CDefragJob;
class FileRecord;
}  // namespace tarvo::volume

namespace tarvo::ui {

// Results of a whole-map drawing.
constexpr int kMapNotDrawn = 0;
constexpr int kMapDrawn = 1;
constexpr int kMapStopped = 10;

// Answers whether the job may still be drawn (false once it is released).
using JobValidTest = std::function<bool()>;

// Paints block index of kind into the buffer, with its shadow in 3-D mode.
void DrawBlock(PixelBuffer& buffer, const MapGeometry& geometry, uint64_t index, int kind, Shadow shadow);

// Draws every block of the job's volume into a buffer of the client area's
// size. The geometry used is stored in `geometry`. Too small a window fills the
// buffer light grey, logs 0x80021009 and writes "Sorry. Window is too small.".
// 10 when valid() turned false, 0 when nothing could be drawn, else 1.
int DrawWholeMap(volume::CDefragJob& job, PixelBuffer& buffer, int blockSize, Shadow shadow,
                 const JobValidTest& valid, MapGeometry& geometry);

// Blocks first..last (inclusive block indexes) of a range redraw.
struct BlockRange {
    uint64_t first = 0;
    uint64_t last = 0;
    bool operator==(const BlockRange&) const = default;
};

// The block ranges a file's redraw covers: one from its first to its last
// cluster when it is contiguous, else one per on-disk extent in VCN order,
// joined with the previous range when it starts in the block that one ended in.
std::vector<BlockRange> FileBlockRanges(const volume::FileRecord& file, const MapGeometry& geometry);

// Redraws the blocks of ranges with the range reduction, stopping at the end
// of the volume. checkpoint(n) is called before every 200th extent range and
// stops the drawing when it answers false.
void DrawBlockRanges(volume::CDefragJob& job, PixelBuffer& buffer, const MapGeometry& geometry, Shadow shadow,
                     const std::vector<BlockRange>& ranges, const std::function<bool(size_t)>& checkpoint);

}  // namespace tarvo::ui
