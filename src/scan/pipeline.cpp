// Placeholder until this module is built.
#include "scan/pipeline.h"
void RunRemoval() {}
void StartScan() {}
