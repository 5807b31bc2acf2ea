#pragma once

#include "session/shared_state.h"

// True when the system drive supports named streams.
Boolean IsSystemNtfs();
// The stream stage: every dotted file directly in the Windows folder.
void ScanStreams();
