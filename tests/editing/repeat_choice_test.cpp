// The Repeat part's choices and the stored rules they stand for, both ways.
// Window-free: also built natively (fuzz/CMakeLists.txt).
#include "editing/repeat_choice.h"

#include "ical/series.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every choice the dialog can make, with its details varied, for `from`.
std::vector<RepeatChoice> AllChoices(const CalendarDate& from) {
    const RepeatChoice base = DefaultRepeatChoice(from);
    std::vector<RepeatChoice> shapes;
    auto add = [&](auto change) {
        RepeatChoice choice = base;
        change(choice);
        shapes.push_back(choice);
    };
    add([](RepeatChoice& c) { c.preset = RepeatPreset::Daily; });
    add([](RepeatChoice& c) { c.preset = RepeatPreset::Weekly; });
    add([](RepeatChoice& c) {
        c.preset = RepeatPreset::Weekly;
        c.weekdays = 0b1010101; // Monday, Wednesday, Friday, Sunday
    });
    add([](RepeatChoice& c) { c.preset = RepeatPreset::MonthlyOnDay; });
    add([](RepeatChoice& c) {
        c.preset = RepeatPreset::MonthlyOnDay;
        c.monthDay = 31;
    });
    for (int ordinal : {1, 2, 3, 4, -1})
        add([ordinal](RepeatChoice& c) {
            c.preset = RepeatPreset::MonthlyOnWeekday;
            c.ordinal = ordinal;
            c.weekday = 4;
        });
    add([](RepeatChoice& c) { c.preset = RepeatPreset::Yearly; });
    for (RepeatUnit unit :
         {RepeatUnit::Days, RepeatUnit::Weeks, RepeatUnit::Months, RepeatUnit::Years})
        add([unit](RepeatChoice& c) {
            c.preset = RepeatPreset::Custom;
            c.unit = unit;
            c.interval = 3;
            if (unit == RepeatUnit::Weeks)
                c.weekdays = 0b0000110; // Tuesday, Wednesday
        });
    // Each with each end.
    std::vector<RepeatChoice> all;
    for (const RepeatChoice& shape : shapes) {
        all.push_back(shape);
        RepeatChoice onDate = shape;
        onDate.end = RepeatEnd::OnDate;
        onDate.until = {from.year + 2, 3, 1};
        all.push_back(onDate);
        RepeatChoice afterCount = shape;
        afterCount.end = RepeatEnd::AfterCount;
        afterCount.count = 7;
        all.push_back(afterCount);
    }
    return all;
}

TEST(RepeatChoice, EveryChoiceGivesAFollowedRuleThatOpensAsTheSameChoice) {
    for (const CalendarDate from :
         {CalendarDate{2027, 3, 9}, CalendarDate{2028, 2, 29}, CalendarDate{2027, 1, 31}}) {
        EXPECT_EQ(RuleOfChoice(DefaultRepeatChoice(from), from), "");
        for (const RepeatChoice& choice : AllChoices(from)) {
            const std::string rule = RuleOfChoice(choice, from);
            SCOPED_TRACE(FormatDateText(from) + " " + rule);
            ical::SeriesRule read;
            ASSERT_TRUE(ical::ReadSeriesRule(rule, read));
            EXPECT_EQ(ChoiceOfRule(rule, from), choice);
            // An end on a date is written as a date.
            if (choice.end == RepeatEnd::OnDate) {
                EXPECT_NE(rule.find(";UNTIL=" + std::to_string(from.year + 2) + "0301"),
                          std::string::npos);
            }
        }
    }
}

TEST(RepeatChoice, EveryYearOnTheTwentyNinthOfFebruaryKeepsToTheEndOfFebruary) {
    const CalendarDate leapDay{2028, 2, 29};
    RepeatChoice yearly = DefaultRepeatChoice(leapDay);
    yearly.preset = RepeatPreset::Yearly;
    EXPECT_EQ(RuleOfChoice(yearly, leapDay), ical::YearlyRuleOn(leapDay));
    // So it is on 28 February 2029.
    ical::Series series(leapDay, leapDay,
                        {RepeatKind::Rule, RuleOfChoice(yearly, leapDay), {}, ""});
    ical::WorkBudget budget(ical::kSeriesWork);
    EXPECT_EQ(series.OccurrenceCovering({2029, 2, 28}, budget), (CalendarDate{2029, 2, 28}));
    // A plain yearly rule from another program would skip the common years:
    // no choice says that, so it is kept as it is.
    EXPECT_EQ(ChoiceOfRule("FREQ=YEARLY", leapDay).preset, RepeatPreset::AsStored);
}

TEST(RepeatChoice, StoredRulesOpenAsTheChoiceThatSaysTheSameOrAreKeptAsTheyAre) {
    const CalendarDate from{2027, 3, 9}; // the second Tuesday of March
    struct Case {
        const char* rule;
        RepeatPreset preset;
    };
    const Case cases[] = {
        // Written otherwise than the dialog writes them, meaning the same.
        {"FREQ=WEEKLY", RepeatPreset::Weekly},
        {"FREQ=MONTHLY", RepeatPreset::MonthlyOnDay},
        {"FREQ=YEARLY;BYMONTH=3;BYMONTHDAY=9", RepeatPreset::Yearly},
        {"FREQ=WEEKLY;WKST=SU;BYDAY=TU", RepeatPreset::Weekly},
        {"FREQ=MONTHLY;INTERVAL=6;BYMONTHDAY=9", RepeatPreset::Custom},
        {"FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH", RepeatPreset::Custom},
        // In the set the program follows, but no choice says it.
        {"FREQ=MONTHLY;BYMONTHDAY=1,15", RepeatPreset::AsStored},
        {"FREQ=MONTHLY;BYDAY=-2MO", RepeatPreset::AsStored},
        {"FREQ=YEARLY;BYMONTH=11;BYDAY=4TH", RepeatPreset::AsStored},
        {"FREQ=WEEKLY;INTERVAL=2;WKST=SU;BYDAY=TU", RepeatPreset::AsStored},
        {"FREQ=DAILY;UNTIL=20270401T120000Z", RepeatPreset::AsStored},
        {"FREQ=DAILY;INTERVAL=100000", RepeatPreset::AsStored},
        // Outside it, or not a rule at all.
        {"FREQ=HOURLY", RepeatPreset::AsStored},
        {"FREQ=MONTHLY;BYSETPOS=-1;BYDAY=MO,TU,WE,TH,FR", RepeatPreset::AsStored},
        {"not a rule", RepeatPreset::AsStored},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const RepeatChoice choice = ChoiceOfRule(c.rule, from);
        EXPECT_EQ(choice.preset, c.preset);
        if (c.preset == RepeatPreset::AsStored) {
            // Kept word for word while the user does not change the repeat.
            EXPECT_EQ(RuleOfChoice(choice, from), c.rule);
            continue;
        }
        // What it is saved as says the same: the same days for two years.
        const std::string saved = RuleOfChoice(choice, from);
        auto days = [&](const std::string& rule) {
            std::vector<std::string> list;
            ical::Series series(from, from, {RepeatKind::Rule, rule, {}, ""});
            ical::WorkBudget budget(ical::kSeriesWork);
            series.OccurrencesOverlapping(from, {2029, 3, 9}, budget, [&](const CalendarDate& d) {
                list.push_back(FormatDateText(d));
            });
            return list;
        };
        EXPECT_EQ(days(saved), days(c.rule)) << saved;
    }
}

} // namespace
