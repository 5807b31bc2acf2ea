// Placeholder until this module is built.
#include "removal/services.h"
void StopHijackerServices() {}
void StopServiceByName(const std::wstring&) {}
void RemoveFixedKeys() {}
