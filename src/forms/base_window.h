// Routes every message of a window to its form's HandleMessage, in the manner
// of LearnWin32's BaseWindow: the form object travels in CREATESTRUCT and is
// kept in the window's user data. Both forms share their frame, the way they
// are created and shown, and the colours and cursor of their controls.
#pragma once

#include "forms/form_controls.h"
#include "platform/win32.h"
#include "scan/version.h"

template <class Form>
class BaseWindow {
public:
    HWND Window() const { return window_; }

protected:
    // A caption with the system menu and the minimise box; no sizing border.
    static constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        Form* form = nullptr;
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            form = static_cast<Form*>(create->lpCreateParams);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
            form->window_ = window;
        } else {
            form = reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        }
        if (!form) return DefWindowProcA(window, message, wParam, lParam);
        // The controls are there before the form's own WM_CREATE, its Form_Load.
        if (message == WM_CREATE && form->design_)
            form->controls_.Create(window, form->design_->controls, form->design_->controlCount,
                                   form->scale_);
        LRESULT result = form->HandleMessage(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            form->window_ = nullptr;
        }
        return result;
    }

    // Registers the form's class with the program's icon, creates the window
    // centred on the screen with its controls at the screen's scale, and
    // shows it.
    bool CreateCentred(HINSTANCE instance, const forms::FormDesign& design, int show)
    {
        if (!forms::RegisterWindowClass(instance, design.className, WindowProc,
                                        LoadIconA(instance, MAKEINTRESOURCEA(1))))
            return false;
        design_ = &design;
        scale_ = forms::ScreenScale();
        RECT frame =
            forms::CentredWindowRect(design.clientWidth, design.clientHeight, kFormStyle, scale_);
        CreateWindowExA(design.exStyle, design.className, GREVLIN_TITLE, kFormStyle, frame.left,
                        frame.top, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                        nullptr, instance, static_cast<Form*>(this));
        if (!window_) return false;
        ShowWindow(window_, show);
        UpdateWindow(window_);
        return true;
    }

    // What the form leaves to others: the colours of link labels and
    // separator lines and the hand over links, else the system's handling.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_CTLCOLORSTATIC) {
            HBRUSH brush = controls_.StaticColour(reinterpret_cast<HWND>(lParam),
                                                  reinterpret_cast<HDC>(wParam));
            if (brush) return reinterpret_cast<LRESULT>(brush);
        } else if (message == WM_SETCURSOR) {
            if (controls_.SetLinkCursor(reinterpret_cast<HWND>(wParam))) return TRUE;
        }
        return DefWindowProcA(window_, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    const forms::FormDesign* design_ = nullptr;
    forms::ControlSet controls_;
    forms::Scale scale_;
};
