// SplashWindow.h --- the borderless start-up picture (bitmap 199) over the main window for four seconds.
#pragma once

#include "ui/NtFirst.h"

class wxWindow;

namespace tarvo::ui {

constexpr int kSplashMilliseconds = 4000;

// Shows the splash centred on the screen; it closes itself after
// kSplashMilliseconds or at a click. The start goes on meanwhile.
void ShowSplash(wxWindow* parent);

}  // namespace tarvo::ui
