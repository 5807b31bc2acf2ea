#include "forms/frm_main.h"

#include <iterator>

#include "detection/crc32.h"
#include "environment/protected_names.h"
#include "forms/control_ids.h"
#include "scan/pipeline.h"
#include "session/shared_state.h"
#include "theming/xp_look.h"

using forms::ControlSpec;
using forms::Kind;

namespace {

// In tab order; positions in twips.
const ControlSpec kMainControls[] = {
    {IDC_LSTMAIN, Kind::ListBox, "", {120, 1320, 5535, 3570}, forms::kPlain, nullptr, 0, 0, true},
    {IDC_LBLHEADER0, Kind::Label, "Removal tool for CWS.HomeSearch, CWS.MfPlay, CWS.SeDll",
     {120, 120, 5250, 195}, forms::kBold | forms::kUnderline, nullptr, 0, 1, true},
    {IDC_LBLHEADER1, Kind::Label,
     "Running Grevlin is suggested in Safe Mode. Please make sure to run the scan twice so that "
     "all files are removed.",
     {120, 360, 5535, 435}, forms::kPlain, nullptr, 0, 0, true},
    {IDC_CMDSCAN, Kind::Button, "Begin Removal", {4080, 5160, 1575, 375}, forms::kBold,
     "Click here to begin removal", 0, 0, true},
    {IDC_LBLSCANNING, Kind::Label,
     "Please click \"Begin Removal\" to initalize this application!", {120, 960, 4005, 195},
     forms::kPlain, nullptr, 0, 0, true},
    {IDC_CMDABORT, Kind::Button, "Abort Removal", {4080, 5160, 1575, 375}, forms::kPlain,
     nullptr, 0, 0, false},
    // The etched separator: a shadow line with a white one a pixel below.
    {IDC_LN1, Kind::Line, "", {120, 5040, 5520, 0}, forms::kPlain, nullptr, 0, COLOR_BTNSHADOW,
     true},
    {IDC_LN2, Kind::Line, "", {120, 5055, 5520, 0}, forms::kPlain, nullptr, 0, forms::kWhite,
     true},
};

const forms::FormDesign kMainDesign = {GREVLIN_MAIN_CLASS, 0, 5760, 5640, kMainControls,
                                       std::size(kMainControls)};

}  // namespace

MainForm& frmMain()
{
    static MainForm form;
    return form;
}

bool MainForm::Create(HINSTANCE instance, int show)
{
    Form_Initialize();
    if (!CreateCentred(instance, kMainDesign, show))
        return false;
    SetFocus(controls_.Get(IDC_LSTMAIN));
    return true;
}

LRESULT MainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        Form_Load();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == IDC_CMDSCAN) cmdScan_Click();
            else if (LOWORD(wParam) == IDC_CMDABORT) cmdAbort_Click();
        }
        return 0;
    case WM_CLOSE:
        Form_Unload();
        return 0;
    case WM_DESTROY:
        // Closed while idle: the program ends here, with nothing written.
        if (!handedOver_) PostQuitMessage(0);
        return 0;
    }
    return Default(message, wParam, lParam);
}

void MainForm::Form_Initialize() { EnsureStyleManifest(true, true, false); }

void MainForm::Form_Load()
{
    BuildCrcTable();
    LoadProtectedNames();
}

void MainForm::Form_Unload()
{
    gAbort = kTrue;
    // During a scan the pipeline still adds lines and shows its boxes: the
    // window only disappears and is destroyed when the scan hands over.
    if (scanning_) {
        ShowWindow(window_, SW_HIDE);
        return;
    }
    DestroyWindow(window_);
}

void MainForm::cmdScan_Click()
{
    if (scanning_) return;
    scanning_ = true;
    StartScan();
    scanning_ = false;
}

void MainForm::cmdAbort_Click() { gAbort = kTrue; }

void MainForm::ShowLine(const std::wstring& text)
{
    HWND list = controls_.Get(IDC_LSTMAIN);
    if (window_ && list) {
        std::string ansi = platform::ToAnsi(text);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ansi.c_str()));
    }
}

void MainForm::SetStatus(const std::wstring& text)
{
    HWND status = controls_.Get(IDC_LBLSCANNING);
    if (!window_ || !status) return;
    // A label draws itself at once when its text is set, and the file stage
    // sets it for every file: only the caption changes here.
    DefWindowProcA(status, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(platform::ToAnsi(text).c_str()));
    statusChanged_ = true;
}

void MainForm::DrawNewStatus()
{
    HWND status = controls_.Get(IDC_LBLSCANNING);
    if (statusChanged_ && window_ && status) InvalidateRect(status, nullptr, TRUE);
    statusChanged_ = false;
}

void MainForm::ShowAbortButton(bool scanRunning)
{
    if (!window_) return;  // after the hand-over the buttons are gone with the window
    ShowWindow(controls_.Get(IDC_CMDABORT), scanRunning ? SW_SHOW : SW_HIDE);
    ShowWindow(controls_.Get(IDC_CMDSCAN), scanRunning ? SW_HIDE : SW_SHOW);
}

void MainForm::CloseForGood()
{
    gAbort = kTrue;
    handedOver_ = true;
    if (window_) DestroyWindow(window_);
}
