#pragma once

#include "framework/controls.h"

#include <string>

namespace fw {

// One pass of data exchange between a dialog's controls and its members, in
// one direction. A failed field stops the rest of the pass.
class DataExchange {
public:
    DataExchange(HWND dialog, bool saveAndValidate) : m_hDialog(dialog), m_bSave(saveAndValidate) {}

    HWND Dialog() const { return m_hDialog; }
    bool Saving() const { return m_bSave; }
    bool Failed() const { return m_bFailed; }
    void Fail() { m_bFailed = true; }

private:
    HWND m_hDialog;
    bool m_bSave;
    bool m_bFailed = false;
};

// Attaches a control wrapper to the dialog's control with this id.
void BindControl(DataExchange& dx, int id, Wnd& control);
// The control's whole text, any length.
void ExchangeText(DataExchange& dx, int id, std::string& value);
// A signed decimal integer. When saving and the text is not one, the user is
// told with `failMessage`, the focus goes back to the control, the value is
// left as it was and the exchange fails.
void ExchangeInt(DataExchange& dx, int id, int& value, const char* failMessage);

// Parses an optionally signed decimal integer with optional surrounding blanks;
// false for anything else, including a number outside the int range.
bool ParseInt(const std::string& text, int& value);

} // namespace fw
