// frmMain: the header, the activity list, the status line and the two buttons
// that start a scan and ask it to stop.
#pragma once

#include <string>

#include "forms/base_window.h"

class MainForm : public BaseWindow<MainForm> {
public:
    // Initialisation (which may restart the program), load, then show.
    bool Create(HINSTANCE instance, int show);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // One more line at the end of lstMain; the list itself is kept by the scan.
    void ShowLine(const std::wstring& text);
    // The caption changes at once; it is drawn after the next message pump
    // or message box has had DrawNewStatus ask for it.
    void SetStatus(const std::wstring& text);
    void DrawNewStatus();
    void ShowAbortButton(bool scanRunning);
    // The end of a scan: unload for good; the About window takes over.
    void CloseForGood();

private:
    void Form_Initialize();
    void Form_Load();
    void Form_Unload();
    void cmdScan_Click();
    void cmdAbort_Click();

    bool scanning_ = false;
    bool handedOver_ = false;
    bool statusChanged_ = false;
};

MainForm& frmMain();
