// The account and the sync state as this user's registry keeps them, read
// back the way the next run (or a run after a kill) reads them.
#include "store/user_values.h"
#include "sync/sync_account.h"
#include "sync/sync_state_registry.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

using namespace caldav;

namespace {

ItemState Item(const std::string& name, const std::string& etag) {
    return {"/anna/cal/" + name + ".ics",
            etag,
            "uid-" + name,
            "fp-" + name,
            "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:uid-" + name +
                "\r\nSUMMARY:\xC3\x9C"
                "ber " +
                name + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
            "uid-" + name};
}

const ItemState* Find(const SyncState& state, const std::string& href) {
    const auto it = std::find_if(state.items.begin(), state.items.end(),
                                 [&](const ItemState& item) { return item.href == href; });
    return it == state.items.end() ? nullptr : &*it;
}

bool SameItem(const ItemState& a, const ItemState& b) {
    return a.href == b.href && a.etag == b.etag && a.localId == b.localId &&
           a.fingerprint == b.fingerprint && a.serverText == b.serverText && a.uid == b.uid;
}

std::string StatePath() {
    return UserValuesPath() + "\\Sync\\State";
}

} // namespace

TEST(SyncState, ResumesFromEachItemSavedAndStartsAfreshForAnotherCalendar) {
    qmtest::RegistrySandbox sandbox;
    SyncState loaded;
    ASSERT_TRUE(LoadSyncState(loaded));
    EXPECT_TRUE(loaded.items.empty());
    EXPECT_FALSE(loaded.listed);

    SyncAccount account;
    account.address = "http://127.0.0.1:5232/";
    account.calendarUrl = "http://127.0.0.1:5232/anna/cal/";
    account.calendarName = "Home";
    account.user = "anna";
    account.intervalMinutes = 30;
    ASSERT_TRUE(SaveAccount(account));

    // A first sync killed after two items: no token yet, the items are there.
    RegistryStateStore store;
    ASSERT_TRUE(store.SaveItem(Item("a", "\"1\"")));
    ASSERT_TRUE(store.SaveItem(Item("b", "\"2\"")));
    ASSERT_TRUE(store.SaveItem(Item("a", "\"3\""))); // a later write of the same resource
    ASSERT_TRUE(LoadSyncState(loaded));
    EXPECT_FALSE(loaded.listed);
    ASSERT_EQ(loaded.items.size(), 2u);
    ASSERT_NE(Find(loaded, "/anna/cal/a.ics"), nullptr);
    EXPECT_TRUE(SameItem(*Find(loaded, "/anna/cal/a.ics"), Item("a", "\"3\"")));
    EXPECT_TRUE(SameItem(*Find(loaded, "/anna/cal/b.ics"), Item("b", "\"2\"")));

    // A write cut short before its path: not read back, and taken over by
    // the next write of that resource.
    {
        fw::unique_hkey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                                  (StatePath() + "\\" + StateKeyName("/anna/cal/c.ics")).c_str(), 0,
                                  nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const wchar_t etag[] = L"\"half\"";
        RegSetValueExW(key.get(), L"ETAG", 0, REG_SZ, reinterpret_cast<const BYTE*>(etag),
                       sizeof etag);
    }
    ASSERT_TRUE(LoadSyncState(loaded));
    EXPECT_EQ(loaded.items.size(), 2u);
    ASSERT_TRUE(store.SaveItem(Item("c", "\"4\"")));
    ASSERT_TRUE(store.RemoveItem("/anna/cal/b.ics"));
    ASSERT_TRUE(store.RemoveItem("/anna/cal/never.ics"));
    ASSERT_TRUE(store.SaveCollection("http://radicale.org/ns/sync/7", "ctag-7", true));
    ASSERT_TRUE(LoadSyncState(loaded));
    EXPECT_TRUE(loaded.listed);
    EXPECT_EQ(loaded.syncToken, "http://radicale.org/ns/sync/7");
    EXPECT_EQ(loaded.ctag, "ctag-7");
    ASSERT_EQ(loaded.items.size(), 2u);
    EXPECT_TRUE(SameItem(*Find(loaded, "/anna/cal/c.ics"), Item("c", "\"4\"")));
    EXPECT_EQ(Find(loaded, "/anna/cal/b.ics"), nullptr);
    EXPECT_TRUE(store.Failure().empty()) << store.Failure();

    // The same calendar saved again keeps the state; another starts afresh.
    SyncAccount read;
    ASSERT_TRUE(LoadAccount(read));
    EXPECT_EQ(read.calendarUrl, account.calendarUrl);
    EXPECT_EQ(read.intervalMinutes, 30);
    read.assumeBasic = true;
    ASSERT_TRUE(SaveAccount(read));
    ASSERT_TRUE(LoadSyncState(loaded));
    EXPECT_EQ(loaded.items.size(), 2u);
    read.calendarUrl = "http://127.0.0.1:5232/anna/work/";
    ASSERT_TRUE(SaveAccount(read));
    ASSERT_TRUE(LoadSyncState(loaded));
    EXPECT_TRUE(loaded.items.empty());
    EXPECT_TRUE(loaded.syncToken.empty());
    ASSERT_TRUE(LoadAccount(read));
    EXPECT_TRUE(read.assumeBasic);

    SaveLastSync({1790000000, true, "Sent 1, received 2."});
    const LastSyncResult last = LoadLastSync();
    EXPECT_EQ(last.utc, 1790000000);
    EXPECT_TRUE(last.ok);
    EXPECT_EQ(last.words, "Sent 1, received 2.");

    RemoveAccount();
    EXPECT_FALSE(LoadAccount(read));
    EXPECT_EQ(LoadLastSync().utc, 0);
}
