#include "app/file_transfer.h"

#include "app/calendar_host.h"
#include "app/transfer_progress_dlg.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/utf_text.h"
#include "ical/transfer_report.h"
#include "res/resource.h"
#include "store/calendar_exchange.h"

#include <functional>
#include <utility>

namespace {

// Issues listed in the summary box; a longer list goes to a file.
constexpr std::size_t kShownIssueLines = 12;

// Asks for the file to export to (`save`) or import from; false when the
// user cancels.
bool AskForCalendarFile(HWND owner, bool save, std::string& path) {
    wchar_t file[32768] = L"";
    if (save)
        lstrcpyW(file, L"Calendar.ics");
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"iCalendar files (*.ics)\0*.ics\0All files\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = static_cast<DWORD>(sizeof file / sizeof file[0]);
    dialog.lpstrTitle = save ? L"Export Calendar" : L"Import Calendar";
    dialog.lpstrDefExt = L"ics";
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!fw::ShowFileDialog(dialog, save))
        return false;
    path = fw::Narrow(file);
    return true;
}

// Where the whole list goes when the box shows only its start.
std::string FullListPath(const char* name) {
    wchar_t folder[MAX_PATH + 1] = L"";
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return std::string();
    return fw::Narrow(folder) + name;
}

// Shows a summary whose list may be long: the box shows its start, and the
// whole list goes to a text file in the temporary folder.
void ShowSummary(HWND owner, std::size_t issueLines, const char* listName,
                 const std::function<std::string(std::size_t, const std::string&)>& report) {
    std::string listPath;
    if (issueLines > kShownIssueLines) {
        listPath = FullListPath(listName);
        const std::string whole =
            "\xEF\xBB\xBF" + ical::WithCrlfLines(report(ical::kAllLines, std::string()));
        if (listPath.empty() || !CCalendarExchange::WriteWholeFile(listPath, whole).empty())
            listPath.clear();
    }
    fw::ShowNotice(owner, report(kShownIssueLines, listPath).c_str());
}

} // namespace

CFileTransfer::CFileTransfer(IShownDay& shownDay) : m_shownDay(shownDay) {}

CFileTransfer::~CFileTransfer() = default;

bool CFileTransfer::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    // Unload from the tray menu while the work runs would destroy the window
    // under it: the work stops first, and Unload is asked after.
    if (m_running != nullptr && msg == WM_COMMAND &&
        (LOWORD(wp) == ID_TRAY_UNLOAD || LOWORD(wp) == ID_FILE_UNLOAD)) {
        m_unloadAfter = LOWORD(wp);
        m_running->RequestStop();
        result = 0;
        return true;
    }
    using Self = CFileTransfer;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCommand<Self>(ID_FILE_EXPORT, &Self::OnExportCalendar),
        fw::OnCommand<Self>(ID_FILE_IMPORT, &Self::OnImportCalendar),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

void CFileTransfer::RunTransfer(CTransferProgressDlg& progress) {
    m_running = &progress;
    progress.DoModal();
    m_running = nullptr;
}

void CFileTransfer::OnExportCalendar() {
    std::string path;
    if (!AskForCalendarFile(Hwnd(), true, path))
        return;
    ical::ExportOutcome outcome;
    outcome.path = path;
    CTransferProgressDlg progress(Hwnd(), CTransferProgressDlg::Kind::Export,
                                  [&](ITransferProgress& counts) {
                                      outcome = CCalendarExchange().Export(path, &counts);
                                      return std::string();
                                  });
    RunTransfer(progress);
    if (!progress.Failure().empty() && outcome.error.empty() && !outcome.written)
        outcome.error = progress.Failure();
    ShowSummary(Hwnd(), ical::ExportIssueLines(outcome), "Quillmere export report.txt",
                [&](std::size_t lines, const std::string& listPath) {
                    return ical::ExportReport(outcome, lines, listPath);
                });
    if (const UINT unload = std::exchange(m_unloadAfter, 0u))
        PostMessageW(Hwnd(), WM_COMMAND, MAKEWPARAM(unload, 0), 0);
}

void CFileTransfer::OnImportCalendar() {
    std::string path;
    if (!AskForCalendarFile(Hwnd(), false, path))
        return;
    ical::ImportOutcome outcome;
    outcome.path = path;
    CTransferProgressDlg progress(Hwnd(), CTransferProgressDlg::Kind::Import,
                                  [&](ITransferProgress& counts) {
                                      outcome = CCalendarExchange().Import(path, &counts);
                                      return std::string();
                                  });
    RunTransfer(progress);
    if (!progress.Failure().empty() && outcome.error.empty() && outcome.filed == 0)
        outcome.error = progress.Failure();
    // The shown day may have new rows.
    if (outcome.filed > 0)
        m_shownDay.RefreshShownDay();
    ShowSummary(Hwnd(), ical::ImportIssueLines(outcome), "Quillmere import report.txt",
                [&](std::size_t lines, const std::string& listPath) {
                    return ical::ImportReport(outcome, lines, listPath);
                });
    if (const UINT unload = std::exchange(m_unloadAfter, 0u))
        PostMessageW(Hwnd(), WM_COMMAND, MAKEWPARAM(unload, 0), 0);
}
