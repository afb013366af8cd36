// VolumeTypes.h --- cluster numbers and the markers the volume layer answers with.
#pragma once

#include <cstdint>

#include "platform/core/VolumeBackend.h"

namespace tarvo::volume {

using Lcn = platform::Lcn;
using Vcn = platform::Vcn;

// The LCN of a virtual run (sparse range or unallocated compression-unit tail).
constexpr Lcn kVirtualLcn = platform::kVirtualLcn;

// Answer of a pair lookup that found no pair ending at the VCN asked for (-1).
constexpr uint64_t kNoPair = ~uint64_t{0};
// Answer of a pair lookup whose pair is the map's terminator: the end of the file (-2).
constexpr uint64_t kPairMapEnd = ~uint64_t{1};

// Answer of NextBreakAfter when no break lies after the VCN asked for (-1).
constexpr uint64_t kNoBreak = ~uint64_t{0};

}  // namespace tarvo::volume
