#include "store/word_catalog.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace qmtest {
namespace {

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i) {
        if (done())
            return true;
        Sleep(10);
    }
    return done();
}

std::vector<std::string> FoundDays(const std::vector<CWordCatalog::Found>& found) {
    std::vector<std::string> days;
    for (const auto& hit : found)
        days.push_back(FormatDateText(hit.date) + (hit.past ? " past" : ""));
    return days;
}

// The worker reads every appointment's words, past and to come, repeating
// ones on their next date or, once ended, their last; it hears a change made
// after its walk; and any typed text is searched without harm.
TEST(WordCatalogTest, FindsEveryAppointmentAndHearsAChangeAndTakesAnyText) {
    RegistrySandbox registry;
    const CalendarDate today{2002, 5, 7};
    PutAppointment("2001-3-2", "Appointment 1", "2001-3-2", "2001-3-2", "Dentist", "Others", 1,
                   "Root canal, upper left");
    // Mondays from 7 January, one with no end and one that ended in March.
    PutAppointment("2002-1-7", "Appointment 1", "2002-1-7", "2002-1-7", "Yoga class");
    SetText("SOFTWARE\\Calendar\\2002-1-7\\Appointment 1", "REPEAT", "FREQ=WEEKLY", REG_SZ);
    PutAppointment("2002-1-7", "Appointment 2", "2002-1-7", "2002-1-7", "Yoga, old group");
    SetText("SOFTWARE\\Calendar\\2002-1-7\\Appointment 2", "REPEAT", "FREQ=WEEKLY;UNTIL=20020301",
            REG_SZ);
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7",
                   "Stra\xDF"
                   "e fair");

    CWordCatalog words;
    EXPECT_FALSE(words.IsReady());
    EXPECT_TRUE(words.Find("yoga", today, 10).empty());
    words.Start();
    ASSERT_TRUE(WaitFor([&] { return words.IsReady(); }));

    EXPECT_EQ((std::vector<std::string>{"2001-3-2 past"}),
              FoundDays(words.Find("CANAL", today, 10)));
    EXPECT_EQ((std::vector<std::string>{"2002-5-13", "2002-2-25 past"}),
              FoundDays(words.Find("yoga", today, 10)));
    EXPECT_EQ((std::vector<std::string>{"2002-5-7"}), FoundDays(words.Find("STRASSE", today, 10)));
    EXPECT_EQ(1u, words.Find("yoga", today, 1).size());

    PutAppointment("2002-5-8", "Appointment 1", "2002-5-8", "2002-5-8", "Yoga in the park");
    EXPECT_TRUE(WaitFor([&] { return words.Find("yoga", today, 10).size() == 3; }));
    EXPECT_EQ("2002-5-8", FormatDateText(words.Find("yoga", today, 10).front().date));

    const std::string longWords(10000, 'e');
    EXPECT_TRUE(words.Find(longWords, today, 10).empty());
    EXPECT_TRUE(words.Find("yoga \xED\xA0\x80", today, 10).empty()); // a lone surrogate
    EXPECT_TRUE(words.Find("\xFF\xFE", today, 10).empty());
    EXPECT_TRUE(words.Find("", today, 10).empty());
    words.Stop();
}

} // namespace
} // namespace qmtest
