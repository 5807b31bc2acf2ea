// Placeholder until this module is built.
#include "detection/file_locations.h"
void ScanFileLocations() {}
