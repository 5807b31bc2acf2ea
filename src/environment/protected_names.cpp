// Placeholder until this module is built.
#include "environment/protected_names.h"
void LoadProtectedNames() {}
