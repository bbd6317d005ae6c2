#include "app/alert_timing.h"

#include "app/calendar_host.h"
#include "framework/clock.h"
#include "framework/utf_text.h"
#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/calendar_scanner.h"
#include "store/instant_clock.h"
#include "store/registry_value.h"
#include "store/system_time.h"
#include "store/user_values.h"
#include "tray/notification_state.h"
#include "tray/reminder_schedule.h"
#include "tray/tray_icon.h"

#include <algorithm>

namespace {

// The walker hands a new list of alerts to the window's thread; the pop-up's
// thread hands over the user's answer (wp: 0 dismiss, else the snooze
// choice + 1; lp: the version answered).
constexpr UINT kAlertsReadMessage = WM_APP + 0x150;
constexpr UINT kAlertAnswerMessage = WM_APP + 0x151;

// The timer wakes this late, so that the clock it reads has reached the
// alert's second.
constexpr std::int64_t kLateMs = 100;
// The longest the timer is set for: a window timer counts time the clock
// may not (a clock slewed by time synchronisation sends no WM_TIMECHANGE),
// so it is set again at least this often. Nothing is read then.
constexpr std::int64_t kLongestWaitMs = 60LL * 60 * 1000;
std::int64_t Seconds(std::int64_t ms) {
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

// The minute of the computer's wall clock at `instant`, on its own date:
// the last minute whose start is not after it (the clock only runs forward
// within a day, a skipped hour aside).
int WallMinute(const IWallClock& clock, std::int64_t instant) {
    const CalendarDate date = clock.LocalDate(instant);
    int low = 0;
    int high = 1439;
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (clock.ToUtc(date, middle, "") <= instant)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

} // namespace

CAlertTiming::CAlertTiming(CCalendarScanner& scanner, CTrayIcon& trayIcon)
    : fw::Handler(kAlertTimerIds), m_scanner(scanner), m_trayIcon(trayIcon), m_walker(scanner) {
    // Whatever fell due before this moment was missed.
    m_awakeSince = Seconds(NowMs(m_clock));
    std::vector<unsigned char> bytes;
    if (ReadUserBinary(kAlertsHandledValueName, 8, bytes))
        m_state.handledUpTo = DecodeHandledUpTo(bytes.data(), bytes.size()).value_or(0);
    if (ReadUserBinary(kSnoozedAlertsValueName, kMaxSnoozedAlertsBytes, bytes))
        m_state.snoozed =
            DecodeSnoozedAlerts(bytes.data(), bytes.size()).value_or(std::vector<SnoozedAlert>{});
}

CAlertTiming::~CAlertTiming() {
    OnDestroy();
}

bool CAlertTiming::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CAlertTiming;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnTimer<Self>(&Self::OnTimer),
        fw::OnMessage<Self>(kDayChangeNotice, &Self::OnDayChange),
        fw::OnMessage<Self>(WM_TIMECHANGE, &Self::OnTimeChange),
        fw::OnMessage<Self>(WM_POWERBROADCAST, &Self::OnPowerBroadcast),
        fw::OnMessage<Self>(kAlertsReadMessage, &Self::OnAlertsRead),
        fw::OnMessage<Self>(kAlertAnswerMessage, &Self::OnAnswer),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

void CAlertTiming::OnDestroy() {
    m_walker.Stop();
    m_popup.Close();
}

void CAlertTiming::StartWalker() {
    if (m_walker.Running() || m_walker.Stopped() || Hwnd() == nullptr)
        return;
    m_hWindow = Hwnd();
    m_walker.Start(m_hWindow, kAlertsReadMessage);
}

std::optional<LRESULT> CAlertTiming::OnAlertsRead(WPARAM, LPARAM) {
    std::optional<std::vector<IndexedAlert>> alerts = m_walker.Take();
    if (!alerts)
        return 0;
    m_alerts = std::move(*alerts);
    m_byId.clear();
    m_byId.reserve(m_alerts.size());
    for (std::size_t i = 0; i < m_alerts.size(); ++i)
        m_byId.emplace_back(AlertId(m_alerts[i].dayKey, m_alerts[i].appointmentKey), i);
    std::sort(m_byId.begin(), m_byId.end());
    m_bHaveAlerts = true;
    ++m_nListsTaken;
    Rebuild(Seconds(NowMs(m_clock)));
    Update();
    return 0;
}

void CAlertTiming::Rebuild(std::int64_t now) {
    std::vector<AlertEntry> entries;
    entries.reserve(m_alerts.size());
    for (const auto& [id, index] : m_byId) {
        const IndexedAlert& alert = m_alerts[index];
        entries.push_back(
            {id, alert.from, alert.to, alert.minuteOfDay, alert.remindBefore, alert.zone});
    }
    m_schedule.Rebuild(std::move(entries), now);
}

void CAlertTiming::AskForNewDay() {
    // The index holds the alerts near the day it was made for: the walker
    // asks for the new day's (a walk only when the day is another).
    m_walker.Wake();
}

std::optional<LRESULT> CAlertTiming::OnDayChange(WPARAM, LPARAM) {
    // The start-up's clock starts here: the walk for the alerts begins.
    const bool started = m_walker.Running();
    StartWalker();
    if (started)
        AskForNewDay();
    if (m_bHaveAlerts) {
        m_schedule.Recentre(Seconds(NowMs(m_clock)));
        Update();
    }
    // Every controller hears it.
    return std::nullopt;
}

std::optional<LRESULT> CAlertTiming::OnTimeChange(WPARAM, LPARAM) {
    // The zone, its rules or the clock may have changed: every instant is
    // worked out again.
    m_clock.Forget();
    // A clock set back must not make what is still to come missed.
    m_awakeSince = std::min(m_awakeSince, Seconds(NowMs(m_clock)));
    AskForNewDay();
    if (m_bHaveAlerts) {
        Rebuild(Seconds(NowMs(m_clock)));
        Update();
    }
    return std::nullopt;
}

std::optional<LRESULT> CAlertTiming::OnPowerBroadcast(WPARAM wp, LPARAM) {
    if (wp == PBT_APMRESUMEAUTOMATIC || wp == PBT_APMRESUMESUSPEND) {
        // What fell due during the sleep was missed; the timer stood still.
        m_awakeSince = Seconds(NowMs(m_clock));
        AskForNewDay();
        if (m_bHaveAlerts) {
            m_schedule.Recentre(m_awakeSince);
            Update();
        }
    }
    return std::nullopt;
}

void CAlertTiming::OnTimer(UINT_PTR id) {
    if (id == kAlertTimerId)
        KillTimer(kAlertTimerId);
    Update();
}

void CAlertTiming::Update() {
    if (!m_bHaveAlerts || m_walker.Stopped())
        return;
    const std::int64_t nowMs = NowMs(m_clock);
    const std::int64_t now = Seconds(nowMs);
    const DueAlerts pending = m_schedule.Pending(m_state, now, m_awakeSince);
    // An answer on its way applies to what the user saw; what is due then
    // is worked out when it arrives.
    if (!m_bAnswerPending.load()) {
        AlertContent content = ContentOf(pending, now);
        const bool open = m_popup.IsOpen();
        if (content.lines.empty()) {
            // What was shown went away: the appointment was deleted or moved.
            if (open)
                m_popup.Withdraw();
            KillTimer(kQuietTimerId);
            KillTimer(kRefreshTimerId);
        } else if (!open && NotificationStateHoldsReminders(QueryUserNotificationState())) {
            // Held back, never dropped: asked again until the user is free.
            if (!IsTimerRunning(kQuietTimerId))
                SetTimer(kQuietTimerId, kQuietPollMs);
        } else {
            KillTimer(kQuietTimerId);
            content.version = ++m_nVersion;
            m_shown[content.version] = pending;
            // The answers to versions long replaced will not come.
            while (m_shown.size() > 8)
                m_shown.erase(m_shown.begin());
            m_popup.Show(content);
            // The lines say "in 14 minutes": new words at each minute.
            SetTimer(kRefreshTimerId,
                     static_cast<UINT>(60000 - ((nowMs % 60000) + 60000) % 60000 + kLateMs));
        }
    }
    ArmTimer(nowMs);
    UpdateTip(now, pending);
}

void CAlertTiming::ArmTimer(std::int64_t nowMs) {
    const std::optional<std::int64_t> wake = m_schedule.NextWake(m_state, Seconds(nowMs));
    if (!wake) {
        KillTimer(kAlertTimerId);
        return;
    }
    const std::int64_t wait =
        std::clamp(*wake * 1000 - nowMs + kLateMs, std::int64_t{1}, kLongestWaitMs);
    SetTimer(kAlertTimerId, static_cast<UINT>(wait));
}

AlertContent CAlertTiming::ContentOf(const DueAlerts& due, std::int64_t now) {
    AlertContent content;
    content.untilStartOffered = false;
    for (const DueAlert& alert : due.alerts) {
        const std::optional<std::string> notes = NotesOf(alert.id);
        if (!notes)
            continue;
        content.lines.push_back(AlertText(alert, *notes, now, m_clock));
        content.untilStartOffered = content.untilStartOffered || alert.startsAt > now;
    }
    return content;
}

std::optional<std::string> CAlertTiming::NotesOf(std::uint64_t id) const {
    auto it = std::lower_bound(m_byId.begin(), m_byId.end(), std::make_pair(id, std::size_t{0}));
    if (it == m_byId.end() || it->first != id)
        return std::nullopt;
    const IndexedAlert& alert = m_alerts[it->second];
    fw::unique_hkey root, day, appointment;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS ||
        OpenSubkey(root.get(), alert.dayKey, KEY_READ, day) != ERROR_SUCCESS ||
        OpenSubkey(day.get(), alert.appointmentKey, KEY_READ, appointment) != ERROR_SUCCESS)
        return std::nullopt;
    std::string notes;
    ReadTextValue(appointment.get(), kValueNotes, notes, kNotesFieldBytes);
    return notes;
}

void CAlertTiming::UpdateTip(std::int64_t now, const DueAlerts& pending) {
    std::string detail;
    const std::optional<std::int64_t> wake = m_schedule.NextWake(m_state, now);
    if (wake && m_clock.LocalDate(*wake) == m_clock.LocalDate(now)) {
        // What comes at the next wake that is not due already.
        const DueAlerts then = m_schedule.Pending(m_state, *wake, m_awakeSince);
        for (const DueAlert& alert : then.alerts) {
            const bool dueNow =
                std::any_of(pending.alerts.begin(), pending.alerts.end(), [&](const DueAlert& a) {
                    return a.id == alert.id && a.day == alert.day;
                });
            if (dueNow)
                continue;
            if (const std::optional<std::string> notes = NotesOf(alert.id)) {
                const std::string head =
                    alert.minuteOfDay ? FormatTimeOfDay(*alert.minuteOfDay) + " " + *notes : *notes;
                detail = "Next alert " + FormatTimeOfDay(WallMinute(m_clock, *wake)) + ": " + head;
                break;
            }
        }
    }
    if (detail != m_tipDetail) {
        m_tipDetail = detail;
        m_trayIcon.SetTipDetail(detail);
    }
}

void CAlertTiming::AlertAnswered(std::optional<SnoozeChoice> snooze, unsigned version) {
    m_bAnswerPending = true;
    const WPARAM answer = snooze ? static_cast<WPARAM>(*snooze) + 1 : 0;
    if (!PostMessageW(m_hWindow, kAlertAnswerMessage, answer, static_cast<LPARAM>(version)))
        m_bAnswerPending = false;
}

std::optional<LRESULT> CAlertTiming::OnAnswer(WPARAM wp, LPARAM lp) {
    m_bAnswerPending = false;
    auto shown = m_shown.find(static_cast<unsigned>(lp));
    if (shown != m_shown.end()) {
        const std::int64_t now = Seconds(NowMs(m_clock));
        m_state = wp == 0
                      ? AfterDismiss(m_state, shown->second, now)
                      : AfterSnooze(m_state, shown->second, static_cast<SnoozeChoice>(wp - 1), now);
        SaveState();
        m_shown.clear();
    }
    KillTimer(kRefreshTimerId);
    Update();
    return 0;
}

void CAlertTiming::SaveState() const {
    WriteUserBinary(kAlertsHandledValueName, EncodeHandledUpTo(m_state.handledUpTo));
    if (m_state.snoozed.empty())
        DeleteUserValue(kSnoozedAlertsValueName);
    else
        WriteUserBinary(kSnoozedAlertsValueName, EncodeSnoozedAlerts(m_state.snoozed));
}
