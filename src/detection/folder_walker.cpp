// Placeholder until this module is built.
#include "detection/folder_walker.h"
void ScanFolder(const std::wstring&) {}
