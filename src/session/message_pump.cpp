// Spacing of the message pump. The long loops ask for a pump far more often
// than a person could tell apart (after every byte a probe renders, every
// protected-name comparison), and each pump is a round trip to the window
// system; one every 10 ms keeps the buttons and the close box as prompt.
#include "platform/win32.h"
#include "session/ui.h"

namespace {

constexpr DWORD kPumpSpacingMs = 10;

bool gPumped = false;
DWORD gLastPump = 0;  // GetTickCount when the last pump ran

}  // namespace

namespace ui {

void PumpMessages()
{
    const DWORD now = GetTickCount();
    // The unsigned difference stays right across the tick count's wrap.
    if (gPumped && now - gLastPump < kPumpSpacingMs) return;
    gPumped = true;
    gLastPump = now;
    ProcessPendingMessages();
}

void ResetPumpClock() { gPumped = false; }

}  // namespace ui
