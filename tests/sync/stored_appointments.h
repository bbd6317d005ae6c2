#pragma once

#include <string>
#include <vector>

// The appointments in HKEY_LOCAL_MACHINE\SOFTWARE\Calendar (a test's scratch
// key or the test prefix's own), read with bare registry calls, for checks
// of what a sync filed.
struct StoredAppointment {
    std::string day;
    std::string key;
    std::string uid;
    std::string notes;
};

std::vector<StoredAppointment> StoredAppointments();
// How many appointments carry this UID.
int CountStoredUid(const std::vector<StoredAppointment>& stored, const std::string& uid);
// Sets one text value of an appointment as another program would.
bool SetStoredText(const StoredAppointment& appointment, const char* name, const std::string& text);
