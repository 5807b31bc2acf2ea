// Placeholder until this module is built.
#include "environment/reboot_delete.h"
void DeleteOnReboot(const std::wstring&) {}
