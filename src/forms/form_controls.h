// The controls of a form as data: kind, text, font and position in twips, as
// the form designer laid them out; created at the screen's actual DPI.
#pragma once

#include <cstddef>
#include <map>

#include "platform/win32.h"

namespace forms {

enum class Kind {
    Label,    // static text
    Link,     // static text that opens a page: dark blue, underlined, hand cursor
    ListBox,  // unsorted, no auto-scroll
    Button,
    Line,     // one pixel high; colour from `lineColour`
    TabStrip,
    TextBox,  // multi-line, vertical scroll bar
    Panel,    // a picture box that holds other controls
    Image,    // a bitmap resource
};

enum FontStyle { kPlain = 0, kBold = 1, kUnderline = 2 };

// Left, top, width, height in twips; a line's height is 0.
struct Twips {
    int left, top, width, height;
};

constexpr int kWhite = -1;  // a line drawn in white rather than a system colour

struct ControlSpec {
    int id;
    Kind kind;
    const char* text;
    Twips position;      // relative to the parent's client area
    int font;            // FontStyle bits
    const char* tip;     // tool tip, or nullptr
    int parentId;        // 0: the form; else the id of a Panel created earlier
    int lineColour;      // Line: a COLOR_ index or kWhite; Label: 1 for dark blue text
    bool visible;
};

// A form as the designer left it: its window class, its client area and its
// controls, in tab order.
struct FormDesign {
    const char* className;
    DWORD exStyle;
    int clientWidth;   // twips
    int clientHeight;  // twips
    const ControlSpec* controls;
    size_t controlCount;
};

// 1440 twips to the inch, at the screen's own dots per inch.
struct Scale {
    int dpiX = 96;
    int dpiY = 96;
    int X(int twips) const { return MulDiv(twips, dpiX, 1440); }
    int Y(int twips) const { return MulDiv(twips, dpiY, 1440); }
};
Scale ScreenScale();

// "MS Sans Serif" 8.25 pt in the given style, one font per style for the whole run.
HFONT FormFont(int style, const Scale& scale);

// A form's controls, created from its table, with one tool tip window.
class ControlSet {
public:
    void Create(HWND form, const ControlSpec* table, size_t count, const Scale& scale);
    HWND Get(int id) const;
    // WM_CTLCOLORSTATIC: colours of link labels and separator lines; nullptr otherwise.
    HBRUSH StaticColour(HWND control, HDC dc) const;
    // WM_SETCURSOR: the hand over link labels.
    bool SetLinkCursor(HWND control) const;

private:
    HWND CreateOne(HWND form, const ControlSpec& spec, const Scale& scale);
    void AddTip(HWND control, const char* tip);

    std::map<int, HWND> controls_;
    std::map<HWND, const ControlSpec*> specs_;
    HWND tooltip_ = nullptr;
};

// The client area of the given twips size as a centred window rectangle.
RECT CentredWindowRect(int clientTwipsWidth, int clientTwipsHeight, DWORD style,
                       const Scale& scale);

// A class drawn on the 3D-face grey with the arrow cursor, registered once;
// true when it is there.
bool RegisterWindowClass(HINSTANCE instance, const char* className, WNDPROC procedure,
                         HICON icon);
void RegisterPanelClass(HINSTANCE instance);

}  // namespace forms
