#include "framework/data_exchange.h"

#include "framework/app.h"
#include "framework/message_box.h"

#include <climits>

namespace fw {

void BindControl(DataExchange& dx, int id, Wnd& control) {
    if (dx.Failed())
        return;
    control.Attach(GetDlgItem(dx.Dialog(), id));
}

void ExchangeText(DataExchange& dx, int id, std::string& value) {
    if (dx.Failed())
        return;
    Wnd control(GetDlgItem(dx.Dialog(), id));
    if (dx.Saving())
        value = control.GetText();
    else
        control.SetText(value);
}

bool ParseInt(const std::string& text, int& value) {
    size_t i = 0;
    const size_t n = text.size();
    auto blank = [&](size_t k) { return text[k] == ' ' || text[k] == '\t'; };
    while (i < n && blank(i))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == n || text[i] < '0' || text[i] > '9')
        return false;
    long long number = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        number = number * 10 + (text[i] - '0');
        if (number > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    while (i < n && blank(i))
        ++i;
    if (i != n)
        return false;
    if (negative)
        number = -number;
    if (number < INT_MIN || number > INT_MAX)
        return false;
    value = static_cast<int>(number);
    return true;
}

void ExchangeInt(DataExchange& dx, int id, int& value, const char* failMessage) {
    if (dx.Failed())
        return;
    Wnd control(GetDlgItem(dx.Dialog(), id));
    if (!dx.Saving()) {
        control.SetText(std::to_string(value));
        return;
    }
    int parsed = 0;
    if (ParseInt(control.GetText(), parsed)) {
        value = parsed;
        return;
    }
    ShowMessageBox(dx.Dialog(), failMessage, AppTitle().c_str(), MB_OK | MB_ICONEXCLAMATION);
    SetFocus(control.GetSafeHwnd());
    SendMessageA(control.GetSafeHwnd(), EM_SETSEL, 0, -1);
    dx.Fail();
}

} // namespace fw
