// SystemUsedFilesDialog.h --- dialog 138 "System Used Files": the paths whose extents the analysis could not read.
#pragma once

#include "ui/NtFirst.h"

#include <string>
#include <vector>

class wxWindow;

namespace tarvo::ui {

// The lines the list shows: the paths, or the note for a drive whose list is
// empty (two lines on NTFS, one on FAT).
std::vector<std::string> SystemUsedFilesLines(const std::vector<std::string>& paths, bool ntfs);

// Shows the dialog modally over parent (UI thread).
void ShowSystemUsedFilesDialog(wxWindow* parent, const std::vector<std::string>& paths, bool ntfs);

}  // namespace tarvo::ui
