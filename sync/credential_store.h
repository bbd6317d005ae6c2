#pragma once

#include <string>

// The account's password in the Windows Credential Manager of the signed-in
// user, as a generic credential: never in the registry, a file or a log.
namespace caldav {

// "Quillmere/CalDAV/<account url>".
std::wstring CredentialTarget(const std::string& accountUrl);

// Saves (or replaces) the password of `user` for the account. Returns a
// Win32 error code (ERROR_SUCCESS when done).
unsigned long SavePassword(const std::string& accountUrl, const std::string& user,
                           const std::string& password);
// Reads it back; ERROR_NOT_FOUND when none is saved.
unsigned long LoadPassword(const std::string& accountUrl, std::string& user, std::string& password);
unsigned long DeletePassword(const std::string& accountUrl);

} // namespace caldav
