// The password in the Credential Manager of the signed-in user.
#include "sync/credential_store.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wincred.h>

using namespace caldav;

TEST(Credentials, AreSavedReadReplacedAndDeletedAsAGenericCredential) {
    const std::string account =
        "https://dav.example.com/anna/calendar-" + std::to_string(GetCurrentProcessId()) + "/";
    const std::string password = "p\xC3\xA4ss: w\xC3\xB6rd \xF0\x9F\x94\x91";
    std::string user, read;
    EXPECT_EQ(LoadPassword(account, user, read), static_cast<unsigned long>(ERROR_NOT_FOUND));
    ASSERT_EQ(SavePassword(account, "anna", password), ERROR_SUCCESS);
    ASSERT_EQ(LoadPassword(account, user, read), ERROR_SUCCESS);
    EXPECT_EQ(user, "anna");
    EXPECT_EQ(read, password);

    // Stored under its own target name, as a generic credential of this user.
    PCREDENTIALW credential = nullptr;
    ASSERT_TRUE(CredReadW(CredentialTarget(account).c_str(), CRED_TYPE_GENERIC, 0, &credential));
    EXPECT_EQ(std::wstring(credential->TargetName),
              L"Quillmere/CalDAV/https://dav.example.com/anna/calendar-" +
                  std::to_wstring(GetCurrentProcessId()) + L"/");
    EXPECT_EQ(credential->Persist, static_cast<DWORD>(CRED_PERSIST_LOCAL_MACHINE));
    CredFree(credential);

    ASSERT_EQ(SavePassword(account, "anna2", "new"), ERROR_SUCCESS);
    ASSERT_EQ(LoadPassword(account, user, read), ERROR_SUCCESS);
    EXPECT_EQ(user, "anna2");
    EXPECT_EQ(read, "new");
    EXPECT_EQ(DeletePassword(account), ERROR_SUCCESS);
    EXPECT_EQ(LoadPassword(account, user, read), static_cast<unsigned long>(ERROR_NOT_FOUND));
    EXPECT_EQ(DeletePassword(account), static_cast<unsigned long>(ERROR_NOT_FOUND));
}
