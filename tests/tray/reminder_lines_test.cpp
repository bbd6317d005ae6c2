#include "tray/reminder_lines.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

TEST(ReminderLinesTest, NotesLongerThanALineAreCutTo299Characters) {
    EXPECT_EQ("Dentist at 9", CutReminderLine("Dentist at 9"));
    EXPECT_EQ("", CutReminderLine(""));
    const std::string exact(299, 'a');
    EXPECT_EQ(exact, CutReminderLine(exact));
    // The longest NOTES text the store holds.
    const std::string longest = std::string(299, 'b') + std::string(200, 'c');
    EXPECT_EQ(std::string(299, 'b'), CutReminderLine(longest));
}

TEST(ReminderLinesTest, SlideGrowsOutOfTheRightEdgeAndEndsInTheCorner) {
    const RECT screen{0, 0, 1024, 768};
    const RECT end = SlideRect(screen, kSlideLastStep);
    EXPECT_EQ(817, end.left);
    EXPECT_EQ(653, end.top);
    EXPECT_EQ(205, end.right - end.left);
    EXPECT_EQ(85, end.bottom - end.top);

    const RECT first = SlideRect(screen, kSlideFirstStep);
    EXPECT_EQ(1004, first.left);
    EXPECT_EQ(18, first.right - first.left);
    EXPECT_EQ(188, kSlideLastStep - kSlideFirstStep + 1);

    for (int k = kSlideFirstStep; k <= kSlideLastStep; ++k) {
        const RECT place = SlideRect(screen, k);
        ASSERT_EQ(1022, place.right) << k;
        ASSERT_EQ(738, place.bottom) << k;
    }
    // Another screen size moves the corner with it.
    const RECT wide = SlideRect(RECT{0, 0, 1920, 1080}, kSlideLastStep);
    EXPECT_EQ(1713, wide.left);
    EXPECT_EQ(965, wide.top);
}

} // namespace
