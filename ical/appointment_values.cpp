#include "ical/appointment_values.h"

#include "ical/ical_text.h"

namespace ical {

int EventIndexOf(std::string_view name) {
    for (int i = 0; i < 6; ++i)
        if (EqualsNoCase(name, kEventNames[i]))
            return i;
    return -1;
}

bool FitsTextField(std::string_view utf8) {
    return Utf16Length(utf8) <= kTextFieldUnits;
}

} // namespace ical
