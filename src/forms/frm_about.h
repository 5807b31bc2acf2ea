// frmAbout: the tabbed window shown after the scan (help, protection, about,
// version history); leaving it writes the log and ends the program.
#pragma once

#include <string>

#include "forms/base_window.h"

class AboutForm : public BaseWindow<AboutForm> {
public:
    // Modeless and without an owner; the call returns at once.
    void Show();
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // "Main", "Protection", "About" or "History"; any other name changes nothing.
    void ShowTabPanel(const std::wstring& panel);

private:
    void Form_Load();
    void Form_Unload();
    void tabAbout_Click();
    void cmdExit_Click();
    void cmdProtectTab_Click();
    void cmdDonate_Click();
    void cmdINeedHelp_Click();
    void cmdInstallFirefox_Click();
    void cmdJavaCool_Click();
    void lblEmail_Click();
    void lblWebsite_Click();
    void OpenLink(const std::wstring& target);
    // Appends the log, tells the user where it is, ends the process.
    [[noreturn]] void LeaveWindow();
};

AboutForm& frmAbout();
// The version history shown on the History tab (CR LF between lines).
std::string VersionHistoryText();
