// Any text as stored words and as typed words: the fold never fails, folding
// again changes nothing, leaves no surrogate unpaired, and whatever a text
// holds is found in it. The input's second half is also read as a typed date.

#include "calendar/text_search.h"
#include "fuzz/fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const std::u16string folded = FoldForSearch(text);
    FUZZ_CHECK(FoldForSearch(folded) == folded);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const char16_t c = folded[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            FUZZ_CHECK(i + 1 < folded.size() && folded[i + 1] >= 0xDC00 && folded[i + 1] <= 0xDFFF);
            ++i;
        } else {
            FUZZ_CHECK(c < 0xDC00 || c > 0xDFFF);
        }
    }
    if (!folded.empty())
        FUZZ_CHECK(ContainsFolded(folded, folded.substr(folded.size() / 2)));
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto date = ParseTypedDate(bytes.substr(size / 2), bytes.substr(0, size / 2)))
        FUZZ_CHECK(date->month >= 1 && date->month <= 12 && date->day >= 1 &&
                   date->day <= DaysInMonth(date->year, date->month));
    return 0;
}
