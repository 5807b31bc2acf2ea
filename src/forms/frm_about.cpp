#include "forms/frm_about.h"

#include <iterator>

#include "forms/control_ids.h"
#include "scan/activity_log.h"
#include "scan/version.h"
#include "session/ui.h"

using forms::ControlSpec;
using forms::Kind;

namespace {

const char kForumsLink[] = "http://www.grevlin.example/forums";
const char kDonateLink[] = "http://www.grevlin.example/donate.php";
const char kMailLink[] = "mailto:support@grevlin.example";
const char kSpywareBlasterLink[] = "http://www.javacoolsoftware.com/spywareblaster.html";
const char kFirefoxLink[] = "http://www.mozilla.com/";

// The tabs in their order on the strip, each with the view its caption selects.
struct TabPanel {
    const char* caption;
    const wchar_t* panel;
};
const TabPanel kTabPanels[] = {
    {" Main ", L"Main"},
    {" Protection ", L"Protection"},
    {" About ", L"About"},
    {" Grevlin History ", L"History"},
};

const ControlSpec kAboutControls[] = {
    {IDC_TABABOUT, Kind::TabStrip, "", {120, 120, 4520, 2895}, forms::kPlain, nullptr, 0, 0, true},
    {IDC_TXTVERSIONHISTORY, Kind::TextBox, "", {200, 480, 4335, 2415}, forms::kPlain, nullptr, 0,
     0, false},
    {IDC_PICMAIN, Kind::Panel, "", {200, 480, 4335, 2415}, forms::kPlain, nullptr, 0, 0, false},
    {IDC_PICABOUT, Kind::Panel, "", {200, 480, 4335, 2415}, forms::kPlain, nullptr, 0, 0, false},
    {IDC_PICPROTECTION, Kind::Panel, "", {200, 480, 4335, 2415}, forms::kPlain, nullptr, 0, 0,
     false},
    {IDC_CMDDONATE, Kind::Button, "Donate", {2040, 3120, 1215, 375}, forms::kBold,
     "Please donate to help the support of Grevlin", 0, 0, true},
    {IDC_CMDEXIT, Kind::Button, "Exit", {3360, 3120, 1215, 375}, forms::kPlain,
     "Click here to exit Grevlin", 0, 0, true},
    {IDC_LBLEMAIL, Kind::Link, "Email me!", {120, 3240, 675, 195}, forms::kPlain,
     "support@grevlin.example", 0, 0, true},

    // picMain
    {IDC_LBLDESCRIPTION + 0, Kind::Label,
     "Our support forums are online 24 hours a day and 7 days a week. Downtime is usually rare. "
     "Thanks for supporting Grevlin!",
     {180, 180, 3975, 615}, forms::kPlain, nullptr, IDC_PICMAIN, 0, true},
    {IDC_LBLDESCRIPTION + 1, Kind::Label,
     "If you need ANY more help please visit our support forums.", {180, 960, 2535, 435},
     forms::kPlain, nullptr, IDC_PICMAIN, 0, true},
    {IDC_CMDINEEDHELP, Kind::Button, "I need help...", {2820, 975, 1335, 375}, forms::kPlain,
     nullptr, IDC_PICMAIN, 0, true},
    {IDC_LBLPROTECT, Kind::Label,
     "Be sure to install protection so that you are not infected again.", {180, 1620, 2535, 435},
     forms::kPlain, nullptr, IDC_PICMAIN, 0, true},
    {IDC_CMDPROTECTTAB, Kind::Button, "Protection...", {2820, 1635, 1335, 375}, forms::kPlain,
     nullptr, IDC_PICMAIN, 0, true},

    // picProtection
    {IDC_LBLDESCRIPTION + 2, Kind::Label,
     "The following two (2) links will help protect your system from getting a spyware or virus.",
     {180, 180, 3975, 435}, forms::kPlain, nullptr, IDC_PICPROTECTION, 0, true},
    {IDC_LBLTITLE + 0, Kind::Label, "SpywareBlaster", {180, 720, 2160, 195},
     forms::kBold | forms::kUnderline, nullptr, IDC_PICPROTECTION, 0, true},
    {IDC_LBLDESCRIPTION + 3, Kind::Label, "Blocks spyware from ever installing onto your computer.",
     {180, 945, 2160, 435}, forms::kPlain, nullptr, IDC_PICPROTECTION, 0, true},
    {IDC_CMDJAVACOOL, Kind::Button, "Install SpywareBlaster", {2400, 840, 1755, 375},
     forms::kPlain, nullptr, IDC_PICPROTECTION, 0, true},
    {IDC_LBLTITLE + 1, Kind::Label, "Mozilla Firefox", {180, 1545, 2160, 195},
     forms::kBold | forms::kUnderline, nullptr, IDC_PICPROTECTION, 0, true},
    {IDC_LBLDESCRIPTION + 4, Kind::Label, "Great browser. Very Secure. Free!",
     {180, 1770, 2160, 435}, forms::kPlain, nullptr, IDC_PICPROTECTION, 0, true},
    {IDC_CMDINSTALLFIREFOX, Kind::Button, "Install FireFox", {2400, 1665, 1755, 375},
     forms::kPlain, nullptr, IDC_PICPROTECTION, 0, true},

    // picAbout
    {IDC_IMGABOUT, Kind::Image, "", {180, 180, 960, 960}, forms::kPlain, nullptr, IDC_PICABOUT, 0,
     true},
    {IDC_LBLTITLE + 2, Kind::Label, "Grevlin", {1320, 180, 2835, 195}, forms::kBold, nullptr,
     IDC_PICABOUT, 0, true},
    {IDC_LBLVERSION, Kind::Label, "v " GREVLIN_VERSION_TEXT, {1320, 420, 2835, 195},
     forms::kPlain, nullptr, IDC_PICABOUT, 0, true},
    {IDC_LBLCOPYRIGHT, Kind::Label, GREVLIN_COPYRIGHT, {1320, 660, 2835, 195}, forms::kPlain,
     nullptr, IDC_PICABOUT, 0, true},
    {IDC_LBLWEBSITE, Kind::Link, "www.grevlin.example", {1320, 900, 2835, 195}, forms::kPlain,
     "Visit the Grevlin web site and its support forums", IDC_PICABOUT, 0, true},
    {IDC_LBLBUGREPORT, Kind::Label,
     "Please report all bugs and requests to the email listed below. It took many months to make "
     "this project complete. A small donation would be greatly appreciated.",
     {180, 1320, 3975, 855}, forms::kPlain, nullptr, IDC_PICABOUT, 0, true},
};

const forms::FormDesign kAboutDesign = {GREVLIN_ABOUT_CLASS, WS_EX_CONTROLPARENT, 4695, 3600,
                                        kAboutControls, std::size(kAboutControls)};

const char* const kVersionHistory[] = {
    "v6.05 ( 7/30/06 )",
    "   - Changed CRC32 hash to ReadFile()",
    "",
    "v6.04 ( 7/15/06 )",
    "   - Integrated whitelist",
    "",
    "v6.03 ( 7/01/06 )",
    "   - Rewrote registry key removal to fix bugs",
    "   - Added some registry keys to detection list",
    "   - Add MfPlay BHO to detection list",
    "   - Rewrote help file",
    "   - Rewrote protocol filter removal",
    "",
    "v6.02 ( 5/20/06 )",
    "   - Fixed minor false positives",
    "",
    "v6.01 ( 3/06/06 )",
    "   - Fixed overflow error",
    "",
    "v6.0 ( 12/23/05 )",
    "   - Major Update",
    "   - CWS.MfPlay added to database",
    "   - CWS.SeDLL added to database",
    "   - Now fixes hijacked desktop image",
    "   - Remove on reboot added to Se.DLL BHO",
    "   - Reference file removed",
    "   - Update function completely removed",
    "   - Added *.log, *.txt and *.tmp extension support",
    "   - Changed entire detection method",
    "   - CRC32 engine built",
    "   - Kill RunDll32.exe during Se.DLL removal",
    "   - New help file built (Please read)",
    "   - Fixed service removal function (Now works)",
    "   - Added registry removal keys (45 of them)",
    "   - Fixed RunServices and RunServicesOnce removal",
    "   - Fixed donation link along with minor UI tweaks",
    "   - Reimplemented homepage reset",
    "   - Changed firefox link to .com",
    "   - Reimplemented temporary folder clean",
    "",
    "v5.1  ( 8/28/05 )",
    "   - Fixed major bugs with scanner",
    "         [Now thoroughly scans Windows 9x]",
    "         [Now scans even if users main drive is not C:\\]",
    "   - New reference file released (33)",
    "",
    "v5.0  ( 4/16/05 )",
    "   - New interface and scanning method",
    "   - New reference file released (29)",
    "   - Protection methods added",
    "   - Major bugs fixed (File & Stream scan)",
    "",
    "History record was started in v5.0",
    "Records of v4.0 and lower were not recorded.",
};
static_assert(sizeof kVersionHistory / sizeof kVersionHistory[0] == 54, "54 history lines");

const wchar_t kLogTitle[] = L"Logfile created";
const wchar_t kLogPrompt[] =
    L"A log with information from this program's use has been created in the same folder as "
    L"Grevlin.exe! If one already existed, the information has been added to the end of the "
    L"file.";

}  // namespace

std::string VersionHistoryText()
{
    std::string text;
    const size_t count = sizeof kVersionHistory / sizeof kVersionHistory[0];
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) text += "\r\n";
        text += kVersionHistory[i];
    }
    return text;
}

AboutForm& frmAbout()
{
    static AboutForm form;
    return form;
}

void AboutForm::Show()
{
    if (window_) {
        ShowWindow(window_, SW_SHOWNORMAL);
        return;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    forms::RegisterPanelClass(instance);
    if (!CreateCentred(instance, kAboutDesign, SW_SHOWNORMAL)) return;
    SetForegroundWindow(window_);
}

LRESULT AboutForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        Form_Load();
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == IDC_TABABOUT && header->code == TCN_SELCHANGE) tabAbout_Click();
        return 0;
    }
    case WM_COMMAND: {
        WORD code = HIWORD(wParam);
        if (code != BN_CLICKED && code != STN_CLICKED) break;  // both are 0
        switch (LOWORD(wParam)) {
        case IDC_CMDEXIT: cmdExit_Click(); break;
        case IDC_CMDPROTECTTAB: cmdProtectTab_Click(); break;
        case IDC_CMDDONATE: cmdDonate_Click(); break;
        case IDC_CMDINEEDHELP: cmdINeedHelp_Click(); break;
        case IDC_CMDINSTALLFIREFOX: cmdInstallFirefox_Click(); break;
        case IDC_CMDJAVACOOL: cmdJavaCool_Click(); break;
        case IDC_LBLEMAIL: lblEmail_Click(); break;
        case IDC_LBLWEBSITE: lblWebsite_Click(); break;
        }
        return 0;
    }
    case WM_CLOSE:
        Form_Unload();
        return 0;
    }
    return Default(message, wParam, lParam);
}

void AboutForm::Form_Load()
{
    HWND tab = controls_.Get(IDC_TABABOUT);
    int index = 0;
    for (const TabPanel& mapping : kTabPanels) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(mapping.caption);
        SendMessageA(tab, TCM_INSERTITEMA, index++, reinterpret_cast<LPARAM>(&item));
    }
    // The tab strip lies under its views and does not paint over them.
    SetWindowPos(tab, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageA(tab, TCM_SETCURSEL, 0, 0);
    ShowTabPanel(L"Main");
    SetWindowTextA(controls_.Get(IDC_TXTVERSIONHISTORY), VersionHistoryText().c_str());
}

void AboutForm::ShowTabPanel(const std::wstring& panel)
{
    struct View {
        int id;
        const wchar_t* name;
    };
    static const View kViews[] = {{IDC_TXTVERSIONHISTORY, L"History"},
                                  {IDC_PICMAIN, L"Main"},
                                  {IDC_PICABOUT, L"About"},
                                  {IDC_PICPROTECTION, L"Protection"}};
    bool known = false;
    for (const View& view : kViews) known = known || panel == view.name;
    if (!known) return;
    for (const View& view : kViews)
        ShowWindow(controls_.Get(view.id), panel == view.name ? SW_SHOW : SW_HIDE);
}

void AboutForm::tabAbout_Click()
{
    HWND tab = controls_.Get(IDC_TABABOUT);
    int selected = static_cast<int>(SendMessageA(tab, TCM_GETCURSEL, 0, 0));
    if (selected < 0) return;
    char caption[64] = {};
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = caption;
    item.cchTextMax = sizeof caption;
    if (!SendMessageA(tab, TCM_GETITEMA, selected, reinterpret_cast<LPARAM>(&item))) return;
    for (const TabPanel& mapping : kTabPanels) {
        if (std::string(item.pszText) == mapping.caption) {
            ShowTabPanel(mapping.panel);
            return;
        }
    }
}

void AboutForm::cmdProtectTab_Click()
{
    ShowTabPanel(L"Protection");
    SendMessageA(controls_.Get(IDC_TABABOUT), TCM_SETCURSEL, 1, 0);
}

void AboutForm::cmdExit_Click() { LeaveWindow(); }
void AboutForm::Form_Unload() { LeaveWindow(); }
void AboutForm::cmdDonate_Click() { OpenLink(platform::FromAnsi(kDonateLink)); }
void AboutForm::cmdINeedHelp_Click() { OpenLink(platform::FromAnsi(kForumsLink)); }
void AboutForm::lblWebsite_Click() { OpenLink(platform::FromAnsi(kForumsLink)); }
void AboutForm::cmdInstallFirefox_Click() { OpenLink(platform::FromAnsi(kFirefoxLink)); }
void AboutForm::cmdJavaCool_Click() { OpenLink(platform::FromAnsi(kSpywareBlasterLink)); }
void AboutForm::lblEmail_Click() { OpenLink(platform::FromAnsi(kMailLink)); }

void AboutForm::OpenLink(const std::wstring& target)
{
    // No browser or mail program registered: nothing happens, nothing is said.
    ShellExecuteA(window_, nullptr, platform::ToAnsi(target).c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

void AboutForm::LeaveWindow()
{
    if (WriteLogFile()) {
        ui::ShowMessage(kLogTitle, kLogPrompt, ui::Buttons::Ok, ui::Icon::Information,
                        ui::Answer::Ok);
    } else {
        // No path: the program's own path was too long to be known.
        const std::wstring path = LogFilePath();
        ui::ShowMessage(L"Logfile not written",
                        path.empty()
                            ? std::wstring(L"The log could not be written: the folder of "
                                           L"Grevlin.exe could not be found.")
                            : L"The log could not be written to \"" + path +
                                  L"\". The folder may be read-only, or another program may "
                                  L"be using the file.",
                        ui::Buttons::Ok, ui::Icon::Error, ui::Answer::Ok);
    }
    ui::EndProgram();
}
