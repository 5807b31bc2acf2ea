// Placeholder until this module is built.
#include "streams/ntfs_check.h"
Boolean IsSystemNtfs() { return kFalse; }
void ScanStreams() {}
