// Placeholder until this module is built.
#include "registry/bho.h"
void RemoveBhoForFile(const std::wstring&) {}
