#include "calendar/text_search.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool Finds(const std::u16string& text, const std::u16string& words) {
    return ContainsFolded(FoldForSearch(text), FoldForSearch(words));
}

} // namespace

// One search over the texts a user may store or type: case and accents are
// ignored both ways, letters that differ stay apart, and broken or long text
// is searched without harm.
TEST(TextSearch, IgnoresCaseAndAccentsAndSurvivesAnyText) {
    EXPECT_TRUE(Finds(u"Caf\u00E9 with Anna", u"cafe"));
    EXPECT_TRUE(Finds(u"cafe with anna", u"CAF\u00C9"));
    // A combining accent typed after its letter is the same as the composed one.
    EXPECT_TRUE(Finds(u"Cafe\u0301", u"caf\u00E9"));
    EXPECT_TRUE(Finds(u"Stra\u00DFe 5", u"strasse"));
    EXPECT_TRUE(Finds(u"STRASSE 5", u"stra\u00DF"));
    EXPECT_TRUE(Finds(u"\u0130stanbul", u"istanbul"));
    EXPECT_TRUE(Finds(u"\u0141\u00F3d\u017A", u"\u0142odz"));
    EXPECT_TRUE(Finds(u"\u0417\u0423\u0411\u041D\u041E\u0419 \u0432\u0440\u0430\u0447",
                      u"\u0437\u0443\u0431\u043D\u043E\u0438"));
    EXPECT_TRUE(Finds(u"\u0391\u0398\u0389\u039D\u0391", u"\u03B1\u03B8\u03B7\u03BD\u03B1"));
    EXPECT_FALSE(Finds(u"Dentist", u"dentisr"));
    EXPECT_FALSE(Finds(u"Dentist", u""));
    EXPECT_FALSE(Finds(u"", u"a"));
    // The dotless i is a letter of its own, not an i without its dot.
    EXPECT_FALSE(Finds(u"\u0131", u"i"));

    // A letter beyond the first plane is kept whole and found; a lone
    // surrogate becomes a replacement character, also in the middle of text.
    EXPECT_TRUE(Finds(u"Party \U0001F389 at eight", u"\U0001F389 AT"));
    EXPECT_FALSE(Finds(u"\U0001F389", u"\xD83C"));
    const std::u16string lone = FoldForSearch(u"a\xD83C"
                                              u"b\xDF89"
                                              u"c");
    EXPECT_EQ(lone, u"a\uFFFDb\uFFFDc");
    EXPECT_TRUE(Finds(u"A\xD83C"
                      u"B",
                      u"a\xDC00"
                      u"b"));

    // Ten thousand characters, found at their end; folding twice changes nothing.
    std::u16string longText(10000, u'\u00C9');
    longText += u"Zahnarzt";
    EXPECT_TRUE(Finds(longText, u"eeZAHNARZT"));
    EXPECT_EQ(FoldForSearch(longText).size(), 10008u);
    EXPECT_EQ(FoldForSearch(FoldForSearch(longText)), FoldForSearch(longText));
}

// Typed dates: ISO always, otherwise in the order of the user's picture.
TEST(TextSearch, ReadsTypedDatesInTheUsersOrder) {
    EXPECT_EQ(ParseTypedDate("2027-05-14", "dd/MM/yyyy"), (CalendarDate{2027, 5, 14}));
    EXPECT_EQ(ParseTypedDate(" 14/05/2027 ", "dd/MM/yyyy"), (CalendarDate{2027, 5, 14}));
    EXPECT_EQ(ParseTypedDate("5/14/2027", "M/d/yyyy"), (CalendarDate{2027, 5, 14}));
    EXPECT_EQ(ParseTypedDate("14.5.27", "dd.MM.yy"), (CalendarDate{2027, 5, 14}));
    EXPECT_EQ(ParseTypedDate("2028-02-29", "M/d/yyyy"), (CalendarDate{2028, 2, 29}));
    EXPECT_FALSE(ParseTypedDate("2027-02-29", "M/d/yyyy"));
    EXPECT_FALSE(ParseTypedDate("14/05/2027", "M/d/yyyy"));
    EXPECT_FALSE(ParseTypedDate("dentist 14/05/2027", "dd/MM/yyyy"));
    EXPECT_FALSE(ParseTypedDate("14/05", "dd/MM/yyyy"));
    EXPECT_FALSE(ParseTypedDate("14 May 2027", "dd MMMM yyyy"));
}
