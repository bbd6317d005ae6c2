#include "sync/credential_store.h"

#include "framework/utf_text.h"

#include <windows.h>
#include <wincred.h>

namespace caldav {

std::wstring CredentialTarget(const std::string& accountUrl) {
    return L"Quillmere/CalDAV/" + fw::Widen(accountUrl);
}

unsigned long SavePassword(const std::string& accountUrl, const std::string& user,
                           const std::string& password) {
    std::wstring target = CredentialTarget(accountUrl);
    std::wstring userName = fw::Widen(user);
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = userName.data();
    // The password as UTF-8 bytes, only for this user on this computer.
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(const_cast<char*>(password.data()));
    credential.CredentialBlobSize = static_cast<DWORD>(password.size());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    return CredWriteW(&credential, 0) ? ERROR_SUCCESS : GetLastError();
}

unsigned long LoadPassword(const std::string& accountUrl, std::string& user,
                           std::string& password) {
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(CredentialTarget(accountUrl).c_str(), CRED_TYPE_GENERIC, 0, &credential))
        return GetLastError();
    user = credential->UserName != nullptr ? fw::Narrow(credential->UserName) : std::string();
    password.assign(reinterpret_cast<const char*>(credential->CredentialBlob),
                    credential->CredentialBlobSize);
    SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    return ERROR_SUCCESS;
}

unsigned long DeletePassword(const std::string& accountUrl) {
    return CredDeleteW(CredentialTarget(accountUrl).c_str(), CRED_TYPE_GENERIC, 0) ? ERROR_SUCCESS
                                                                                   : GetLastError();
}

} // namespace caldav
