#pragma once

#include "framework/app.h"

// The application object: runs the main window modally, then ends.
class CCalendarApp : public fw::App {
public:
    BOOL InitInstance() override;
};
