#pragma once

#include "ical/appointment_values.h"
#include "store/calendar_exchange.h"
#include "sync/sync_engine.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The store as sync sees it: each appointment with a UID is one item, known
// by that UID. An appointment whose UID is "<master>#<RECURRENCE-ID>" is an
// overridden occurrence, filed beside its master, and belongs to the
// master's item. Whatever changes an appointment's values (this program, an
// older one, another program, reg.exe) changes its fingerprint.
namespace caldav {

// A DWORD value 1 in the key of an appointment that keeps the local version
// of an event that was changed on both sides.
inline constexpr char kConflictCopyValueName[] = "CONFLICT COPY";
// What a text cut to fit its field ends with.
inline constexpr char kCutMark[] = "\xE2\x80\xA6"; // U+2026
// What the notes of a conflict copy end with, when they have room.
inline constexpr char kConflictNoteMark[] = " (conflict copy)";

class CRegistryCalendar : public ILocalCalendar {
public:
    // `state`: the sync state the engine runs with (its items tell which
    // missing appointments were purged); `horizon`: YYYYMMDD, today.
    CRegistryCalendar(const SyncState& state, int horizon);

    // Gives every appointment without a UID a fresh one, and a second
    // appointment with the UID of another a fresh one too, before the
    // engine runs. False with `message` when the store cannot be written.
    bool AssignMissingUids(std::string& message);

    std::vector<LocalItem> Items() override;
    bool Export(const std::string& localId, const std::string& keptServerText,
                std::string& icalendar, std::string& message) override;
    std::string FingerprintOf(const std::string& icalendar) override;
    LocalApply Apply(const std::string& localId, const std::string& icalendar) override;
    bool Remove(const std::string& localId) override;
    LocalApply AddConflictCopy(const std::string& localId) override;

    // The wall clocks times go by; tests set the computer's zone here.
    CZoneClock& ZoneClock() { return m_exchange.ZoneClock(); }

private:
    struct Place {
        std::string day;
        std::string key;
    };
    // What an event becomes in the store: its main appointment and its
    // overridden occurrences.
    struct Filed {
        std::string day;
        ical::AppointmentValues values;
        std::vector<ical::DayAppointment> overrides;
    };

    void Index();
    bool Plan(const std::string& icalendar, Filed& filed, std::string& message) const;
    std::string ExportOne(const std::string& day, const std::string& key,
                          const ical::AppointmentValues& values) const;
    bool Delete(const Place& place);
    bool ReplaceOverrides(const std::string& uid,
                          const std::vector<ical::DayAppointment>& overrides, std::string& message);
    std::string FingerprintAt(const Place& place);

    const SyncState& m_state;
    int m_horizon;
    CCalendarExchange m_exchange;
    std::int64_t m_stamp;
    bool m_indexed = false;
    std::map<std::string, Place> m_byUid;                  // main appointments
    std::map<std::string, std::vector<Place>> m_overrides; // by the master's UID
};

// A UID no other event has: a random UUID at this program's domain.
std::string NewEventUid();

// The fingerprint of an appointment's values, as Items() gives it for a key
// that holds only these (the UID, SEQUENCE and STAMP do not count).
std::string FingerprintOfValues(const ical::AppointmentValues& values);

} // namespace caldav
