// WindowShot.h --- a PNG picture of a top-level window as it is shown on the screen.
#pragma once

#include <string>

class wxTopLevelWindow;

namespace tarvo::common {

// UI thread: paints what is pending, then copies the window's area of the
// screen into path. False with a reason when the file cannot be written.
bool SaveWindowPicture(wxTopLevelWindow& window, const std::string& path, std::string& error);

}  // namespace tarvo::common
