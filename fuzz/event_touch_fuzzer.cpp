// Which parts of an event an edit touched, and the server's copy patched with
// them, on any pair of texts (the server's copy comes from anywhere): a text
// compared with itself touches nothing, an untouched copy stays byte for
// byte, and a patched copy still has its event and grows by no more than
// what the local text brings.

#include "fuzz/fuzz_check.h"
#include "sync/event_touch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024)
        return 0;
    // The server's copy, a NUL, then the local export.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string kept(input.substr(0, split));
    const std::string local(split == std::string_view::npos ? std::string_view()
                                                            : input.substr(split + 1));

    FUZZ_CHECK(!caldav::FindTouched(local, local).Any());
    FUZZ_CHECK(!caldav::FindTouched(kept, kept).Any());

    std::string result, error;
    if (caldav::PatchKeptEvent(kept, local, caldav::EventTouch(), result, error))
        FUZZ_CHECK(result == kept);

    const caldav::EventTouch touch = caldav::FindTouched(local, kept);
    if (caldav::PatchKeptEvent(kept, local, touch, result, error)) {
        // The SEQUENCE line counted up is the one thing neither text holds.
        FUZZ_CHECK(result.size() <= kept.size() + local.size() + 32);
        std::string again;
        FUZZ_CHECK(caldav::PatchKeptEvent(result, local, caldav::EventTouch(), again, error));
        FUZZ_CHECK(again == result);
    }
    return 0;
}
