#include "editing/new_appointment_dlg.h"

#include "res/resource.h"

CNewAppointmentDlg::CNewAppointmentDlg(HWND parent) : fw::Dialog(IDD_NEW_APPOINTMENT, parent) {}

CNewAppointmentDlg::~CNewAppointmentDlg() = default;
