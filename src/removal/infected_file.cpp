// Placeholder until this module is built.
#include "removal/infected_file.h"

void RemoveInfectedFile(const std::wstring&, const std::wstring&) {}
void RemoveRegistryValue(HKEY, const std::wstring&, const std::wstring&) {}
