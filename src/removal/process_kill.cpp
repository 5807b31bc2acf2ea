// Placeholder until this module is built.
#include "removal/process_kill.h"

void KillProcessByName(const std::wstring&, Boolean) {}
void KillProcessByNameNt(const std::wstring&, Boolean) {}
std::wstring NormaliseModulePath(const std::wstring& path) { return path; }
