// Texts in any script through every path the user has: New, the list, the
// Detailed Notes box, Save Notes and the reminder lines, read back through
// the wide functions and through the code-page functions as other programs
// read them; the two length rules; and values a code-page program stored.
#include "framework/utf_text.h"
#include "res/resource.h"
#include "store/notes_rule.h"
#include "store/registry_value.h"
#include "tests/support/new_dialog_answerer.h"
#include "tests/app/calendar_test_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kDay = "SOFTWARE\\Calendar\\2002-5-7";
// Cyrillic, CJK and emoji (outside the Basic Multilingual Plane).
const std::string kNotes = "Дарья, 東京 😀";
const std::string kDetail = "Łukasz: 会議 🎉\r\nПривет";
const std::string kSaved = "Новые заметки, 日本語 🚀";
const std::string kEmoji = "😀";

// A field as the store lays it out in the registry: the text's UTF-16
// units, then zeros to the field's size.
std::u16string WideField(const std::string& text, size_t size) {
    std::u16string field = fw::Utf8ToUtf16(text);
    field.resize(size, u'\0');
    return field;
}

// The same field as a program reading through the code-page functions gets
// it: the text in the system's code page, then zeros to the field's size.
std::string CodePageField(const std::string& text, size_t size) {
    const std::wstring wide = fw::Widen(text);
    std::string bytes(4 * wide.size() + 1, '\0');
    const int length =
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<size_t>(length));
    bytes.resize(size, '\0');
    return bytes;
}

class UnicodeTextTest : public CalendarWindowTest {
protected:
    HWND List() const { return Item(IDC_APPOINTMENT_LIST); }
    std::string RowText(int row, int column) const { return dlg->List().GetItemText(row, column); }
    void SelectRow(int row) {
        ListView_SetItemState(List(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(List(), row, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        PumpMessages();
    }
    std::string DetailBox() const { return fw::Wnd(Item(IDC_DETAIL_NOTES)).GetText(); }
    void TypeIntoDetailBox(const std::string& text) {
        fw::Wnd(Item(IDC_DETAIL_NOTES)).SetText(text);
    }
    // Files an appointment for today through New Appointment; whether the
    // dialog took it.
    bool FileNew(const std::string& notes) {
        NewAppointmentInput input;
        input.from = MakeDate(2002, 5, 1);
        input.to = MakeDate(2002, 5, 31);
        input.notes = notes;
        NewAppointmentAnswerer answerer(input);
        Command(ID_FILE_NEW_APPOINTMENT);
        EXPECT_EQ(1, answerer.Opened());
        return !answerer.Seen().stayedOpen;
    }
};

TEST_F(UnicodeTextTest, EveryCharacterSurvivesNewTheListSaveNotesAndTheReminder) {
    Open();
    TypeIntoDetailBox(kDetail);
    ASSERT_TRUE(FileNew(kNotes));
    ASSERT_EQ(1, RowCount());
    EXPECT_EQ(kNotes, RowText(0, 1));

    const std::vector<std::string> keys = Subkeys(kDay);
    ASSERT_EQ(1u, keys.size());
    const std::string key = kDay + "\\" + keys[0];
    EXPECT_EQ(WideField(kNotes, 500), ReadWide(key, "NOTES"));
    EXPECT_EQ(WideField(kDetail, 500), ReadWide(key, "DETAIL NOTES"));
    EXPECT_EQ(WideField("EMail", 10), ReadWide(key, "EVENT"));
    EXPECT_EQ(WideField("2002-5-1", 11), ReadWide(key, "FROM"));
    EXPECT_EQ(CodePageField(kNotes, 500), ReadRaw(key, "NOTES").bytes);
    EXPECT_EQ(CodePageField(kDetail, 500), ReadRaw(key, "DETAIL NOTES").bytes);
    EXPECT_EQ(CodePageField("2002-5-31", 11), ReadRaw(key, "TO").bytes);

    // Read again from the store: the day refilled, the row selected.
    Command(IDC_GO_TODAY);
    ASSERT_EQ(1, RowCount());
    EXPECT_EQ(kNotes, RowText(0, 1));
    SelectRow(0);
    EXPECT_EQ(kDetail, DetailBox());

    TypeIntoDetailBox(kSaved);
    Command(IDC_SAVE_NOTES);
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(WideField(kSaved, 500), ReadWide(key, "DETAIL NOTES"));
    EXPECT_EQ(CodePageField(kSaved, 500), ReadRaw(key, "DETAIL NOTES").bytes);
    SelectRow(-1);
    SelectRow(0);
    EXPECT_EQ(kSaved, DetailBox());

    EXPECT_EQ(std::vector<std::string>{kNotes}, dlg->Reminders().CurrentNotes());
}

// At most 499 characters, counted in UTF-16 units (an emoji counts two), and
// at most 499 bytes in the system's code page; either limit refuses the text
// with its message and stores nothing.
TEST_F(UnicodeTextTest, TextsOverEitherLimitAreRefusedWithTheirMessages) {
    Open();
    std::string emojis;
    for (int i = 0; i < 250; ++i)
        emojis += kEmoji;
    boxes.Answer(IDOK);
    EXPECT_FALSE(FileNew(emojis)) << "250 emoji are 500 units";
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ(kNotesTooLongMessage, boxes.Last().text);
    EXPECT_EQ(kNotesTooLongMessage, boxes.Last().shownText);
    EXPECT_EQ(0, RowCount());
    EXPECT_FALSE(KeyExists(kDay));

    const std::string fits = emojis.substr(0, 249 * kEmoji.size()) + "a";
    ASSERT_TRUE(FileNew(fits)) << "249 emoji and a letter are 499 units";
    ASSERT_EQ(1, RowCount());
    const std::string key = kDay + "\\" + Subkeys(kDay)[0];
    EXPECT_EQ(WideField(fits, 500), ReadWide(key, "NOTES"));

    // 300 CJK characters: 300 units, 300 bytes as '?' in a single-byte code
    // page, but 600 bytes in a double-byte one (here Shift-JIS, 932).
    std::string kanji;
    for (int i = 0; i < 300; ++i)
        kanji += "東";
    SelectRow(0);
    TypeIntoDetailBox(kanji);
    boxes.Answer(IDOK);
    const UINT codePage = SetStoreCodePageForTesting(932);
    Command(IDC_SAVE_NOTES);
    SetStoreCodePageForTesting(codePage);
    ASSERT_EQ(2u, boxes.Count());
    EXPECT_EQ(kDetailNotesTooLongMessage, boxes.Last().text);
    EXPECT_EQ(WideField("", 500), ReadWide(key, "DETAIL NOTES"));
    CPINFO system{};
    GetCPInfo(CP_ACP, &system);
    if (system.MaxCharSize == 1) {
        Command(IDC_SAVE_NOTES);
        EXPECT_EQ(2u, boxes.Count());
        EXPECT_EQ(WideField(kanji, 500), ReadWide(key, "DETAIL NOTES"));
    }
}

// What a program using the code-page functions stored reads as it always
// did: the list and the box show its characters, and saving other notes
// leaves its NOTES byte for byte.
TEST_F(UnicodeTextTest, ValuesStoredThroughTheCodePageReadUnchanged) {
    const std::string notes = "Caf\xE9 \x96 na\xEFve";
    const std::string detail = "\xC0 bient\xF4t";
    const std::string key = PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7",
                                           notes, "Music", 4, detail);
    const RawValue before = ReadRaw(key, "NOTES");
    ASSERT_EQ(500u, before.bytes.size());
    auto fromCodePage = [](const std::string& bytes) {
        std::wstring wide(bytes.size(), L'\0');
        wide.resize(static_cast<size_t>(
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                wide.data(), static_cast<int>(wide.size()))));
        return fw::Narrow(wide);
    };
    Open();
    ASSERT_EQ(1, RowCount());
    EXPECT_EQ("Music", RowText(0, 0));
    EXPECT_EQ(fromCodePage(notes), RowText(0, 1));
    if (GetACP() == 1252) {
        EXPECT_EQ("Café – naïve", RowText(0, 1));
    }
    SelectRow(0);
    EXPECT_EQ(fromCodePage(detail), DetailBox());
    EXPECT_EQ(std::vector<std::string>{fromCodePage(notes)}, dlg->Reminders().CurrentNotes());

    TypeIntoDetailBox("plain");
    Command(IDC_SAVE_NOTES);
    EXPECT_EQ(0u, boxes.Count()) << "the NOTES read back match the stored ones";
    EXPECT_EQ(before.bytes, ReadRaw(key, "NOTES").bytes);
    EXPECT_EQ(CodePageField("plain", 500), ReadRaw(key, "DETAIL NOTES").bytes);
}

} // namespace
} // namespace qmtest
