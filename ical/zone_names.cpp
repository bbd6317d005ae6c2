#include "ical/zone_names.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace ical {
namespace {

struct WindowsZoneEntry {
    std::string_view windowsId;
    std::string_view ianaName;
};

struct IanaZoneEntry {
    std::string_view ianaName;
    std::size_t windowsIndex;
};

#include "ical/zone_names_table.inc"

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The order of the table: ASCII case folded, byte by byte.
bool LessFolded(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

bool EqualFolded(std::string_view a, std::string_view b) {
    return a.size() == b.size() && !LessFolded(a, b) && !LessFolded(b, a);
}

template <typename Entry, std::size_t N, typename Key>
const Entry* Find(const Entry (&table)[N], std::string_view name, Key key) {
    const Entry* end = std::end(table);
    const Entry* at = std::lower_bound(std::begin(table), end, name,
                                       [key](const Entry& entry, std::string_view wanted) {
                                           return LessFolded(key(entry), wanted);
                                       });
    return at != end && EqualFolded(key(*at), name) ? at : nullptr;
}

const IanaZoneEntry* FindIana(std::string_view name) {
    return Find(kIanaZones, name, [](const IanaZoneEntry& entry) { return entry.ianaName; });
}

const WindowsZoneEntry* FindWindows(std::string_view name) {
    return Find(kWindowsZones, name, [](const WindowsZoneEntry& entry) { return entry.windowsId; });
}

} // namespace

std::string_view WindowsZoneOfIana(std::string_view ianaName) {
    const IanaZoneEntry* entry = FindIana(ianaName);
    return entry != nullptr ? kWindowsZones[entry->windowsIndex].windowsId : std::string_view();
}

std::string_view IanaZoneOfWindows(std::string_view windowsId) {
    const WindowsZoneEntry* entry = FindWindows(windowsId);
    return entry != nullptr ? entry->ianaName : std::string_view();
}

std::string_view IanaZoneOf(std::string_view name) {
    if (const IanaZoneEntry* entry = FindIana(name))
        return entry->ianaName;
    return IanaZoneOfWindows(name);
}

} // namespace ical
