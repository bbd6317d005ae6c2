#include "about/about_dlg.h"

#include "res/resource.h"

CAboutDlg::CAboutDlg(HWND parent) : fw::Dialog(IDD_ABOUTBOX, parent) {}

CAboutDlg::~CAboutDlg() = default;
