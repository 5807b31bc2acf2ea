#pragma once

#include <string>

void CaptureListToLog();
// Appends gLogText and CR LF CR LF to "Gv LogFile.txt" beside the executable.
// Returns false when the log could not be written.
bool WriteLogFile();
// Empty when the program's folder is not known.
std::wstring LogFilePath();
