// Placeholder until this module is built.
#include "registry/filters_components.h"
void RemoveProtocolFilters() {}
void RemoveDesktopComponents() {}
