// Placeholder until this module is built.
#include "registry/ie_reset.h"
void ResetIeSettings() {}
