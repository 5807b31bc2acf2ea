#include "session/activity.h"

#include "session/ui.h"

namespace {

std::vector<std::wstring>& List()
{
    static std::vector<std::wstring> lines;
    return lines;
}

}  // namespace

const std::vector<std::wstring>& ActivityLines() { return List(); }

void ClearActivityList() { List().clear(); }

namespace ui {

void AddLine(const std::wstring& text)
{
    List().push_back(text);
    ShowLine(text);
}

}  // namespace ui
