// The activity list: every line the stages report, in order. It is kept here,
// once, for the log file; the main window only shows each line as it comes
// (ui::AddLine adds it here and has the window show it).
#pragma once

#include <string>
#include <vector>

const std::vector<std::wstring>& ActivityLines();
// Back to the empty list the program starts with (ResetSharedState).
void ClearActivityList();
