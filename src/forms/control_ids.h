// Control identifiers of the two windows (GetDlgCtrlID), so that automation
// can find each control without relying on its text.
#pragma once

// frmMain
#define IDC_LSTMAIN 100
#define IDC_LBLHEADER0 101
#define IDC_LBLHEADER1 102
#define IDC_CMDSCAN 103
#define IDC_LBLSCANNING 104
#define IDC_CMDABORT 105
#define IDC_LN1 106
#define IDC_LN2 107

// frmAbout
#define IDC_TABABOUT 200
#define IDC_TXTVERSIONHISTORY 201
#define IDC_PICMAIN 202
#define IDC_PICABOUT 203
#define IDC_PICPROTECTION 204
#define IDC_CMDDONATE 205
#define IDC_CMDEXIT 206
#define IDC_LBLEMAIL 207
#define IDC_CMDINEEDHELP 210
#define IDC_CMDPROTECTTAB 211
#define IDC_LBLPROTECT 212
#define IDC_CMDJAVACOOL 213
#define IDC_CMDINSTALLFIREFOX 214
#define IDC_LBLVERSION 215
#define IDC_LBLCOPYRIGHT 216
#define IDC_IMGABOUT 217
#define IDC_LBLBUGREPORT 218
#define IDC_LBLWEBSITE 219
#define IDC_LBLDESCRIPTION 230  // the label array: 230, 231, ...
#define IDC_LBLTITLE 250        // panel titles: 250, 251, ...

// Window classes of the two forms and the panels of frmAbout.
#define GREVLIN_MAIN_CLASS "GrevlinMainForm"
#define GREVLIN_ABOUT_CLASS "GrevlinAboutForm"
#define GREVLIN_PANEL_CLASS "GrevlinPanel"
