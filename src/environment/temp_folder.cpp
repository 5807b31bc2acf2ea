// Placeholder until this module is built.
#include "environment/temp_folder.h"
void CleanTempFolder() {}
void CleanFolder(const std::wstring&) {}
