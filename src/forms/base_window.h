// Routes every message of a window to its form's HandleMessage, in the manner
// of LearnWin32's BaseWindow: the form object travels in CREATESTRUCT and is
// kept in the window's user data.
#pragma once

#include "platform/win32.h"

template <class Form>
class BaseWindow {
public:
    HWND Window() const { return window_; }

protected:
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
        LRESULT result = form->HandleMessage(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            form->window_ = nullptr;
        }
        return result;
    }

    bool Register(HINSTANCE instance, const char* className, HICON icon)
    {
        WNDCLASSA wc = {};
        if (GetClassInfoA(instance, className, &wc)) return true;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hIcon = icon;
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = className;
        return RegisterClassA(&wc) != 0;
    }

    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return DefWindowProcA(window_, message, wParam, lParam);
    }

    HWND window_ = nullptr;
};
