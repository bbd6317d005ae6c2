#pragma once

#include "app/calendar_host.h"
#include "framework/controls.h"
#include "framework/handler.h"
#include "framework/unique_handle.h"
#include "store/appointment_view.h"

#include <optional>
#include <string>
#include <vector>

// The main window's day view: the month calendar, the list of the shown day's
// appointments and the Detailed Notes box. It moves between days, shows the
// selected appointment's detailed notes, saves them, and deletes the selected
// appointment once the user confirms.
class CDayView : public fw::Handler, public IAppointmentView, public IShownDay {
public:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void DoDataExchange(fw::DataExchange& dx) override;
    // The list's pictures and columns, made again at the new DPI.
    void OnDpiChanged(UINT dpi) override;

    // Start-up: the list's styles, columns, pictures and colours.
    void InitAppointmentList();
    // Start-up: the calendar's today and selection on the clock's today, and
    // that day listed.
    void ShowToday();

    // LIST_FILL: empties the list and lists `day`; LIST_SHOW_DETAIL: shows the
    // selected row's detailed notes. Only the date of `day` is read.
    void ShowDay(int mode, SYSTEMTIME day);
    // MODIFY_SAVE_DETAIL saves the box's text into the selected row's
    // appointment; MODIFY_DELETE deletes it once the user confirms.
    void ModifySelectedAppointment(int mode);
    // A timed row shows its time before its notes ("14:30 Dentist").
    void AddAppointmentRow(const std::string& eventText, const std::string& notes, int eventIndex,
                           const std::string& keyName = {},
                           std::optional<int> minuteOfDay = std::nullopt,
                           const std::string& seriesDay = {});
    // The Detailed Notes box's text, read anew; TakeDetailNotes is false, with
    // the user told why, when it is too long to be stored whole.
    bool TakeDetailNotes();
    const std::string& DetailNotes();
    // The list's first selected row, or -1.
    int SelectedRow() const { return m_listAppointments.GetFirstSelected(); }
    HWND ListWindow() const { return m_listAppointments.GetSafeHwnd(); }
    // The appointment key name of a row ("" for none, or a row added without
    // one), and whether any row has a time of day.
    std::string RowKeyName(int row) const;
    // For an occurrence of a series filed on another day, that day's key
    // name; "" for the day's own appointments.
    std::string RowSeriesDay(int row) const;
    bool HasTimedRows() const;
    // Whether occurrences of other days' series are listed, after the day's
    // own rows.
    bool HasOccurrenceRows() const;
    // Selects the row of the appointment `keyName`, if it is listed.
    void SelectRowOf(const std::string& keyName);
    // Selects the row of the appointment `keyName` filed under `dayKey`: the
    // day's own, or an occurrence of a series filed there.
    void SelectRowOf(const std::string& keyName, const std::string& dayKey);
    // Selects `day` in the calendar and lists it.
    void GoToDay(const SYSTEMTIME& day);

    // IShownDay.
    bool GetShownDay(SYSTEMTIME& day) const override;
    void RefreshShownDay() override;

    // IAppointmentView: what the store fills when it lists a day.
    void AppendAppointmentRow(const char* eventText, const char* notes, int eventIndex) override;
    void AppendAppointment(const Row& row) override;
    void ShowDetailNotes(const char* detailNotes) override;

    // The list's column widths in pixels at 96 DPI.
    static constexpr int kEventColumnWidth = 80;
    static constexpr int kNotesColumnWidth = 175;

private:
    LRESULT OnCalendarSelChange(NMHDR* header);
    LRESULT OnCalendarSelect(NMHDR* header);
    LRESULT OnListItemChanged(NMHDR* header);
    void OnGoToday();
    void OnNextDay();
    void OnPrevDay();
    void OnSaveNotes();
    std::optional<LRESULT> OnDayChange(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnSystemColorsChanged(WPARAM wp, LPARAM lp);

    // Steps the shown day by one, carrying into the neighbouring month.
    void StepDay(int direction);
    // The list's pictures at the window's DPI.
    void MakeListImages();
    // The list's colours: the program's own, or the system's under high
    // contrast.
    void ApplyListColours();

    fw::MonthCal m_monthCal;
    fw::ListView m_listAppointments;
    std::string m_strDetailNotes;
    fw::unique_himagelist m_pImageList;
    bool m_bFilling = false;
    // What each row of the list stands for, by row: its key name, its stored
    // notes (which the row shows after its time) and its time.
    struct RowData {
        std::string keyName;
        std::string notes;
        std::optional<int> minuteOfDay;
        std::string seriesDay;
    };
    // The index of the occurrences' picture in the list's images.
    int m_nRepeatImage = I_IMAGENONE;
    std::vector<RowData> m_rows;
    // The stored notes of a row, "" for none.
    std::string RowNotes(int row) const;
};
