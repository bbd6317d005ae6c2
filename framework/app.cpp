#include "framework/app.h"

#include "framework/message_box.h"
#include "framework/utf_text.h"

namespace fw {

namespace {
App* g_app = nullptr;
}

App::App() {
    g_app = this;
}

App::~App() {
    if (g_app == this)
        g_app = nullptr;
}

App* App::Current() {
    return g_app;
}

bool App::StartedMinimized() const {
    switch (m_nCmdShow) {
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
        return true;
    default:
        return false;
    }
}

std::string LoadResourceString(UINT id) {
    wchar_t buffer[8192];
    int length = LoadStringW(GetModuleHandleW(nullptr), id, buffer, 8192);
    return length > 0 ? Narrow(std::wstring_view(buffer, static_cast<size_t>(length)))
                      : std::string();
}

std::string AppTitle() {
    std::string title = LoadResourceString(kAppTitleId);
    return title.empty() ? std::string("Application") : title;
}

void App::OnHelp(HWND owner) {
    std::string text = LoadResourceString(kHelpTextId);
    if (text.empty())
        return;
    std::string caption = AppTitle() + " Help";
    ShowMessageBox(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

} // namespace fw
