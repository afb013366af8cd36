// ScheduleProtocol.h --- the local socket between the Schedule service and its clients.
//
// One request per connection: the client sends a frame of text fields, the
// service answers with one frame. A frame is a field count and each field's
// length (32-bit, little-endian) followed by the bytes. Frames above 4 MiB or
// with more than 100,000 fields are refused as damaged.
#pragma once

#include <string>
#include <vector>

namespace tarvo::platform {

using Frame = std::vector<std::string>;

// $TARVO_HOME/run/Schedule.sock.
std::string ScheduleSocketPath();

// Writes or reads one whole frame on a connected socket; false on any failure.
bool SendFrame(int fd, const Frame& frame);
bool ReceiveFrame(int fd, Frame& frame);

// Sends a request to the running service and reads its answer; false when the
// service cannot be reached (not started, or stopped meanwhile).
bool CallScheduleService(const Frame& request, Frame& reply);

}  // namespace tarvo::platform
