#include "store/store_access.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/write_protect.h"

#include <gtest/gtest.h>

namespace qmtest {
namespace {

// Whether a user may save is asked of the store itself, or, before the first
// save has made it, of the key it would be made in; the asking changes
// nothing.
TEST(StoreAccessCheck, AsksTheRootOrTheKeyItWouldBeMadeInAndChangesNothing) {
    RegistrySandbox registry;
    EXPECT_TRUE(IsStoreWritable()) << "nothing there yet, and room to make it";
    EXPECT_FALSE(KeyExists("SOFTWARE"));
    {
        WriteProtectedKey readOnly("SOFTWARE");
        EXPECT_FALSE(IsStoreWritable()) << "no right to make the store";
        EXPECT_FALSE(KeyExists("SOFTWARE\\Calendar"));
    }
    SetDword("SOFTWARE\\Calendar\\OPTIONS", "SPLASH", 0);
    EXPECT_TRUE(IsStoreWritable());
    {
        WriteProtectedKey readOnly("SOFTWARE\\Calendar");
        EXPECT_FALSE(IsStoreWritable()) << "a store that may only be read";
    }
    EXPECT_EQ((std::vector<std::string>{"OPTIONS"}), Subkeys("SOFTWARE\\Calendar"));
    EXPECT_EQ((std::vector<std::string>{"SPLASH"}), ValueNames("SOFTWARE\\Calendar\\OPTIONS"));
}

} // namespace
} // namespace qmtest
