// Module-level flags and counters shared by the stages of one scan.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The program's Boolean: True has all bits set; flags are tested for exactly True.
using Boolean = int32_t;
constexpr Boolean kTrue = -1;
constexpr Boolean kFalse = 0;

extern Boolean gAbort;           // set by "Abort Removal" and by closing the main window
extern int32_t gFilesFound;      // infected files handled by the file stage
extern int32_t gStreamsFound;    // infected streams handled, never reset in a run
extern Boolean gExplorerKilled;  // a removal had to end explorer.exe
extern Boolean gExplorerEnded;   // a process walk ended explorer.exe, for whatever reason
extern Boolean gRebootNeeded;    // a deletion waits for the next restart
extern std::wstring gLogText;    // the activity list as text, filled at the end of the scan
extern std::vector<std::wstring> gProtectedNames;  // positions 0 to 20, 0 unused

// Back to the values the program starts with (for tests).
void ResetSharedState();
