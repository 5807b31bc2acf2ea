// Placeholder until this module is built.
#include "scan/activity_log.h"
void CaptureListToLog() {}
bool WriteLogFile() { return false; }
std::wstring LogFilePath() { return {}; }
