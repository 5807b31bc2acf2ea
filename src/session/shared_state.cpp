#include "session/shared_state.h"

#include "session/activity.h"

Boolean gAbort = kFalse;
int32_t gFilesFound = 0;
int32_t gStreamsFound = 0;
Boolean gExplorerKilled = kFalse;
Boolean gExplorerEnded = kFalse;
Boolean gRebootNeeded = kFalse;
std::wstring gLogText;
std::vector<std::wstring> gProtectedNames;

void ResetSharedState()
{
    gAbort = kFalse;
    gFilesFound = 0;
    gStreamsFound = 0;
    gExplorerKilled = kFalse;
    gExplorerEnded = kFalse;
    gRebootNeeded = kFalse;
    gLogText.clear();
    ClearActivityList();
    gProtectedNames.clear();
}
