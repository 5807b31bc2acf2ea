// The window seam with nothing behind it, for programs that run the scan
// without a window (the benchmarks, the fuzz targets): lines are kept in the
// activity list but shown nowhere, status texts are dropped, every message box takes its default button and pumping has no
// messages to process.
#include <cstdlib>

#include "session/ui.h"

namespace ui {

void ShowLine(const std::wstring&) {}
void ShowAbortButton(bool) {}
void SetStatus(const std::wstring&) {}
Answer ShowMessage(const std::wstring&, const std::wstring&, Buttons, Icon, Answer defaultAnswer)
{
    return defaultAnswer;
}
void ProcessPendingMessages() {}
void CloseMainWindow() {}
void ShowAboutWindow() {}
void EndProgram() { std::exit(0); }

}  // namespace ui
