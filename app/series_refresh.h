#pragma once

#include "framework/handler.h"

#include <windows.h>

class CDayView;

// Lists the shown day again when the store's repeating appointments are read
// anew (the first time after start-up, and after another program changed
// the store) and the occurrences on that day changed: the walk that reads
// them runs on another thread, and the day was listed without waiting for it.
class CSeriesRefresh : public fw::Handler {
public:
    explicit CSeriesRefresh(CDayView& dayView);
    ~CSeriesRefresh() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void DoDataExchange(fw::DataExchange& dx) override;
    void OnDestroy() override;

    // How many times it listed the day again.
    int Refreshes() const { return m_nRefreshes; }

private:
    void Unsubscribe();

    CDayView& m_dayView;
    int m_subscription = 0;
    int m_nRefreshes = 0;
};
