#pragma once

#include <windows.h>

#include <string>

namespace fw {

// What Windows says of an error code, in the user's language, without the
// trailing full stop and line break, for a message that names the cause;
// "error N" when Windows has no text for it.
std::string SystemErrorText(DWORD code);

} // namespace fw
