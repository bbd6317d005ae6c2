#include "store/reminder_index.h"

std::int32_t ReminderIndex::Pack(const CalendarDate& date) {
    return date.year * 512 + date.month * 32 + date.day;
}

void ReminderIndex::Begin(const CalendarDate& day) {
    m_day = day;
    m_count = 0;
    m_notes.clear();
    m_alerts.clear();
    m_alertNames.clear();
    m_zones.clear();
}

void ReminderIndex::AddAlert(const char* dayKey, const char* appointmentKey, const char* from,
                             const char* to, std::optional<int> minuteOfDay, int remindBefore,
                             const std::string& zone) {
    CalendarDate first, last;
    if (ParseDateText(from, first) && ParseDateText(to, last))
        AddAlert(dayKey, appointmentKey, first, last, minuteOfDay, remindBefore, zone);
}

void ReminderIndex::AddAlert(const char* dayKey, const char* appointmentKey,
                             const CalendarDate& from, const CalendarDate& to,
                             std::optional<int> minuteOfDay, int remindBefore,
                             const std::string& zone) {
    AlertRecord record{};
    if (dayKey == nullptr || appointmentKey == nullptr)
        return;
    record.from = from;
    record.to = to;
    record.remindBefore = remindBefore;
    record.minuteOfDay = static_cast<std::int16_t>(minuteOfDay.value_or(-1));
    // Few zones are ever used; the last one found is the likeliest.
    std::size_t zoneIndex = m_zones.size();
    for (std::size_t i = m_zones.size(); i-- > 0;)
        if (m_zones[i] == zone) {
            zoneIndex = i;
            break;
        }
    if (zoneIndex == m_zones.size()) {
        if (m_zones.size() > 0xFFFF)
            return;
        m_zones.push_back(zone);
    }
    record.zone = static_cast<std::uint16_t>(zoneIndex);
    record.names = static_cast<std::uint32_t>(m_alertNames.size());
    m_alertNames.append(dayKey).push_back('\0');
    m_alertNames.append(appointmentKey).push_back('\0');
    m_alerts.push_back(record);
}

std::vector<IndexedAlert> ReminderIndex::Alerts() const {
    std::vector<IndexedAlert> alerts;
    alerts.reserve(m_alerts.size());
    for (const AlertRecord& record : m_alerts) {
        IndexedAlert alert;
        alert.dayKey = m_alertNames.c_str() + record.names;
        alert.appointmentKey = m_alertNames.c_str() + record.names + alert.dayKey.size() + 1;
        alert.from = record.from;
        alert.to = record.to;
        if (record.minuteOfDay >= 0)
            alert.minuteOfDay = record.minuteOfDay;
        alert.remindBefore = record.remindBefore;
        alert.zone = m_zones[record.zone];
        alerts.push_back(std::move(alert));
    }
    return alerts;
}

void ReminderIndex::Add(const char* from, const char* to, const char* notes) {
    CalendarDate first, last;
    Entry entry{0, 0, -1};
    if (ParseDateText(from, first) && ParseDateText(to, last)) {
        entry.from = Pack(first);
        entry.to = Pack(last);
    }
    Append(entry, notes);
}

void ReminderIndex::AddCurrent(bool coversDay, const char* notes) {
    // Kept as a range of the index's day alone, or of none.
    const std::int32_t day = coversDay ? Pack(m_day) : 0;
    Append({day, day, -1}, notes);
}

void ReminderIndex::Append(const Entry& added, const char* notes) {
    Entry entry = added;
    const std::int32_t day = Pack(m_day);
    // Only a readable range can hold the day: 0 is below every real date.
    if (entry.from != 0 && entry.from <= day && day <= entry.to && notes != nullptr &&
        notes[0] != '\0') {
        entry.notes = static_cast<std::int32_t>(m_notes.size());
        m_notes.emplace_back(notes);
    }
    if (m_count == m_blocks.size() * kBlockEntries)
        m_blocks.push_back(std::make_unique<Entry[]>(kBlockEntries));
    m_blocks[m_count / kBlockEntries][m_count % kBlockEntries] = entry;
    ++m_count;
}

std::optional<std::vector<std::string>>
ReminderIndex::CurrentNotes(const CalendarDate& today) const {
    if (today != m_day)
        return std::nullopt;
    const std::int32_t day = Pack(today);
    std::vector<std::string> lines;
    lines.reserve(m_notes.size());
    for (std::size_t i = 0; i < m_count; ++i) {
        const Entry& entry = m_blocks[i / kBlockEntries][i % kBlockEntries];
        if (entry.notes >= 0 && entry.from <= day && day <= entry.to)
            lines.push_back(m_notes[static_cast<std::size_t>(entry.notes)]);
    }
    return lines;
}

std::size_t ReminderIndex::Bytes() const {
    std::size_t bytes = sizeof *this + m_blocks.capacity() * sizeof(m_blocks[0]) +
                        m_blocks.size() * kBlockEntries * sizeof(Entry) +
                        m_notes.capacity() * sizeof(std::string);
    // Texts that fit in the string object itself count twice; the bound is
    // what matters.
    for (const std::string& notes : m_notes)
        bytes += notes.capacity() + 1;
    bytes += m_alerts.capacity() * sizeof(AlertRecord) + m_alertNames.capacity() + 1;
    for (const std::string& zone : m_zones)
        bytes += sizeof zone + zone.capacity() + 1;
    return bytes;
}
