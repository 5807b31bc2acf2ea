#include "forms/form_controls.h"

#include "forms/control_ids.h"

namespace forms {
namespace {

constexpr COLORREF kDarkBlue = RGB(0, 0, 192);

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

DWORD StyleFor(Kind kind)
{
    switch (kind) {
    case Kind::Label:
    case Kind::Link:
        // No prefix: a path with "&" in the status line is shown as it is.
        return SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
    case Kind::ListBox:
        return LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
    case Kind::Button:
        return BS_PUSHBUTTON | WS_TABSTOP;
    case Kind::Line:
        return SS_LEFT;
    case Kind::TabStrip:
        return WS_CLIPSIBLINGS | WS_TABSTOP;
    case Kind::TextBox:
        return ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP;
    case Kind::Panel:
        return WS_CLIPCHILDREN;
    case Kind::Image:
        return SS_BITMAP | SS_CENTERIMAGE;
    }
    return 0;
}

const char* ClassFor(Kind kind)
{
    switch (kind) {
    case Kind::ListBox: return "LISTBOX";
    case Kind::Button: return "BUTTON";
    case Kind::TabStrip: return WC_TABCONTROLA;
    case Kind::TextBox: return "EDIT";
    case Kind::Panel: return GREVLIN_PANEL_CLASS;
    default: return "STATIC";
    }
}

// A picture box: forwards its controls' notifications to the form and draws
// the decorative frame around its contents.
LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return SendMessageA(GetParent(panel), message, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(panel, &paint);
        RECT frame;
        GetClientRect(panel, &frame);
        InflateRect(&frame, -2, -2);
        DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
        EndPaint(panel, &paint);
        return 0;
    }
    }
    return DefWindowProcA(panel, message, wParam, lParam);
}

}  // namespace

Scale ScreenScale()
{
    Scale scale;
    HDC screen = GetDC(nullptr);
    if (screen) {
        int x = GetDeviceCaps(screen, LOGPIXELSX);
        int y = GetDeviceCaps(screen, LOGPIXELSY);
        if (x > 0) scale.dpiX = x;
        if (y > 0) scale.dpiY = y;
        ReleaseDC(nullptr, screen);
    }
    return scale;
}

HFONT FormFont(int style, const Scale& scale)
{
    static HFONT fonts[4] = {};
    style &= kBold | kUnderline;
    if (!fonts[style]) {
        // 8.25 pt: the height in pixels is 825/100 * dpi / 72.
        int height = -MulDiv(825, scale.dpiY, 7200);
        fonts[style] = CreateFontA(height, 0, 0, 0, (style & kBold) ? FW_BOLD : FW_NORMAL, FALSE,
                                   (style & kUnderline) ? TRUE : FALSE, FALSE, ANSI_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    }
    return fonts[style];
}

RECT CentredWindowRect(int clientTwipsWidth, int clientTwipsHeight, DWORD style,
                       const Scale& scale)
{
    RECT rect = {0, 0, scale.X(clientTwipsWidth), scale.Y(clientTwipsHeight)};
    AdjustWindowRect(&rect, style, FALSE);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    return RECT{left, top, left + width, top + height};
}

bool RegisterWindowClass(HINSTANCE instance, const char* className, WNDPROC procedure,
                         HICON icon)
{
    WNDCLASSA wc = {};
    if (GetClassInfoA(instance, className, &wc)) return true;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    return RegisterClassA(&wc) != 0;
}

void RegisterPanelClass(HINSTANCE instance)
{
    RegisterWindowClass(instance, GREVLIN_PANEL_CLASS, PanelProc, nullptr);
}

void ControlSet::Create(HWND form, const ControlSpec* table, size_t count, const Scale& scale)
{
    tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form, nullptr,
                               Instance(), nullptr);
    for (size_t i = 0; i < count; ++i) {
        HWND control = CreateOne(form, table[i], scale);
        if (!control) continue;
        controls_[table[i].id] = control;
        specs_[control] = &table[i];
        if (table[i].tip) AddTip(control, table[i].tip);
    }
}

HWND ControlSet::CreateOne(HWND form, const ControlSpec& spec, const Scale& scale)
{
    HWND parent = form;
    if (spec.parentId != 0) {
        parent = Get(spec.parentId);
        if (!parent) return nullptr;
    }
    DWORD style = WS_CHILD | StyleFor(spec.kind) | (spec.visible ? WS_VISIBLE : 0);
    // A one-line label (the status line with a long path) is clipped, not
    // wrapped onto a line that its height hides.
    if ((spec.kind == Kind::Label || spec.kind == Kind::Link) && spec.position.height < 300)
        style = (style & ~SS_TYPEMASK) | SS_LEFTNOWORDWRAP;
    DWORD exStyle = 0;
    if (spec.kind == Kind::ListBox || spec.kind == Kind::TextBox) exStyle = WS_EX_CLIENTEDGE;
    if (spec.kind == Kind::Panel) exStyle = WS_EX_CONTROLPARENT;
    int width = scale.X(spec.position.width);
    // A line covers both of its end points and is one pixel high.
    int height = spec.kind == Kind::Line ? 1 : scale.Y(spec.position.height);
    if (spec.kind == Kind::Line) width += 1;
    const char* text = spec.kind == Kind::Image || spec.kind == Kind::Line ? "" : spec.text;
    HWND control = CreateWindowExA(exStyle, ClassFor(spec.kind), text, style,
                                   scale.X(spec.position.left), scale.Y(spec.position.top), width,
                                   height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)),
                                   Instance(), nullptr);
    if (!control) return nullptr;
    int font = spec.font | (spec.kind == Kind::Link ? kUnderline : 0);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont(font, scale)), FALSE);
    if (spec.kind == Kind::Image) {
        // The picture is drawn on the 3D-face grey; map it to the panel's colour.
        HANDLE picture = LoadImageA(Instance(), MAKEINTRESOURCEA(2), IMAGE_BITMAP, 0, 0,
                                    LR_LOADMAP3DCOLORS);
        if (picture) SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
    }
    return control;
}

void ControlSet::AddTip(HWND control, const char* tip)
{
    if (!tooltip_) return;
    TOOLINFOA info = {};
    // The size that version 5 of the common controls knows too (the unstyled start).
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = GetParent(control);
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<char*>(tip);
    SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

HWND ControlSet::Get(int id) const
{
    auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

HBRUSH ControlSet::StaticColour(HWND control, HDC dc) const
{
    auto found = specs_.find(control);
    if (found == specs_.end()) return nullptr;
    const ControlSpec& spec = *found->second;
    if (spec.kind == Kind::Line) {
        if (spec.lineColour == kWhite) return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        return GetSysColorBrush(spec.lineColour);
    }
    if (spec.kind == Kind::Link || (spec.kind == Kind::Label && spec.lineColour == 1)) {
        SetTextColor(dc, kDarkBlue);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return GetSysColorBrush(COLOR_BTNFACE);
    }
    return nullptr;
}

bool ControlSet::SetLinkCursor(HWND control) const
{
    auto found = specs_.find(control);
    if (found == specs_.end() || found->second->kind != Kind::Link) return false;
    HCURSOR hand = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
    if (!hand) return false;  // Windows 95 and NT 4 have no hand cursor
    SetCursor(hand);
    return true;
}

}  // namespace forms
