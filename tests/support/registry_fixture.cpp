#include "tests/support/registry_fixture.h"

#include "calendar/date_text.h"
#include "framework/unique_handle.h"
#include "framework/utf_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace qmtest {

namespace {

constexpr const char* kMachinePrefix = "HKEY_LOCAL_MACHINE\\";
constexpr const char* kRoot = "SOFTWARE\\Calendar";

struct Importer {
    FixtureInfo info;
    std::string keyPath; // current section, below HKEY_LOCAL_MACHINE
    int lineNumber = 0;
    int generated = 0; // names generated appointments uniquely

    void Fail(const std::string& why) {
        info.ok = false;
        ADD_FAILURE() << info.name << ":" << lineNumber << ": " << why;
    }

    bool Write(const std::string& path, const std::string& valueName, bool isDefault, DWORD type,
               const std::string& bytes) {
        fw::unique_hkey key;
        LONG rc = OpenMachineKey(path, KEY_ALL_ACCESS, key, true);
        if (rc == ERROR_SUCCESS)
            rc = RegSetValueExA(key.get(), isDefault ? nullptr : valueName.c_str(), 0, type,
                                reinterpret_cast<const BYTE*>(bytes.data()),
                                static_cast<DWORD>(bytes.size()));
        if (rc != ERROR_SUCCESS)
            Fail("cannot write \"" + valueName + "\": " + std::to_string(rc));
        return rc == ERROR_SUCCESS;
    }

    void Section(const std::string& line) {
        std::string path = line.substr(1, line.size() - 2);
        bool remove = !path.empty() && path[0] == '-';
        if (remove)
            path.erase(0, 1);
        if (path.rfind(kMachinePrefix, 0) != 0) {
            Fail("only HKEY_LOCAL_MACHINE keys are imported");
            keyPath.clear();
            return;
        }
        keyPath = path.substr(std::strlen(kMachinePrefix));
        if (remove) {
            DeleteKey(keyPath);
            keyPath.clear();
            return;
        }
        fw::unique_hkey key;
        LONG rc = OpenMachineKey(keyPath, KEY_ALL_ACCESS, key, true);
        if (rc != ERROR_SUCCESS)
            Fail("cannot create the key: " + std::to_string(rc));
        // A key two levels below the root is an appointment; its parent a day.
        const std::string below = std::string(kRoot) + "\\";
        if (keyPath.rfind(below, 0) == 0) {
            const std::string rest = keyPath.substr(below.size());
            const std::string day = rest.substr(0, rest.find('\\'));
            if (rest.find('\\') != std::string::npos && !day.empty())
                NoteDay(day);
        }
    }

    void NoteDay(const std::string& day) {
        for (const std::string& known : info.days)
            if (known == day)
                return;
        info.days.push_back(day);
    }

    // "name" with \\ and \" escapes; advances `pos` past the closing quote.
    bool QuotedText(const std::string& line, size_t& pos, std::string& out) {
        if (pos >= line.size() || line[pos] != '"')
            return false;
        out.clear();
        for (++pos; pos < line.size(); ++pos) {
            char c = line[pos];
            if (c == '"') {
                ++pos;
                return true;
            }
            if (c == '\\' && pos + 1 < line.size())
                c = line[++pos];
            out.push_back(c);
        }
        return false;
    }

    bool HexBytes(const std::string& list, std::string& bytes) {
        bytes.clear();
        std::string digits;
        for (char c : list) {
            if (c == ',' || c == ' ' || c == '\t') {
                if (!digits.empty() && !PushByte(digits, bytes))
                    return false;
                digits.clear();
            } else {
                digits.push_back(c);
            }
        }
        return digits.empty() || PushByte(digits, bytes);
    }
    static bool PushByte(const std::string& digits, std::string& bytes) {
        char* end = nullptr;
        unsigned long value = std::strtoul(digits.c_str(), &end, 16);
        if (digits.size() > 2 || *end != '\0' || value > 0xFF)
            return false;
        bytes.push_back(static_cast<char>(value));
        return true;
    }

    void Value(const std::string& line) {
        if (keyPath.empty())
            return Fail("a value outside a key");
        size_t pos = 0;
        std::string name;
        bool isDefault = false;
        if (line[0] == '@') {
            isDefault = true;
            pos = 1;
        } else if (!QuotedText(line, pos, name)) {
            return Fail("a value name must be quoted");
        }
        if (pos >= line.size() || line[pos] != '=')
            return Fail("'=' expected after the value name");
        const std::string data = line.substr(pos + 1);
        std::string bytes;
        if (data == "-") {
            fw::unique_hkey key;
            if (OpenMachineKey(keyPath, KEY_SET_VALUE, key, false) == ERROR_SUCCESS)
                RegDeleteValueA(key.get(), isDefault ? nullptr : name.c_str());
            return;
        }
        if (!data.empty() && data[0] == '"') {
            size_t at = 0;
            if (!QuotedText(data, at, bytes) || at != data.size())
                return Fail("a text value must be one quoted string");
            bytes.push_back('\0');
            Write(keyPath, name, isDefault, REG_SZ, bytes);
        } else if (data.rfind("dword:", 0) == 0) {
            const std::string digits = data.substr(6);
            char* end = nullptr;
            unsigned long value = std::strtoul(digits.c_str(), &end, 16);
            if (digits.empty() || digits.size() > 8 || *end != '\0')
                return Fail("dword: takes 1 to 8 hex digits");
            const DWORD dword = static_cast<DWORD>(value);
            Write(keyPath, name, isDefault, REG_DWORD,
                  std::string(reinterpret_cast<const char*>(&dword), sizeof dword));
        } else if (data.rfind("hex", 0) == 0) {
            DWORD type = REG_BINARY;
            size_t colon = data.find(':');
            if (colon == std::string::npos)
                return Fail("hex data needs a ':'");
            if (data[3] == '(') {
                char* end = nullptr;
                type = static_cast<DWORD>(std::strtoul(data.c_str() + 4, &end, 16));
                if (end != data.c_str() + colon - 1 || *end != ')')
                    return Fail("hex(N): expected");
            } else if (colon != 3) {
                return Fail("hex: or hex(N): expected");
            }
            if (!HexBytes(data.substr(colon + 1), bytes))
                return Fail("bad hex bytes");
            Write(keyPath, name, isDefault, type, bytes);
        } else {
            Fail("unknown value data: " + data);
        }
    }

    // Adds one well-formed appointment and records what the scan does with it.
    void Generate(const std::string& dayPath, const std::string& from, const std::string& to) {
        ++generated;
        char name[40];
        std::snprintf(name, sizeof name, "Appointment g%d", generated);
        const std::string path = dayPath + "\\" + name;
        const auto text = [](const std::string& s, size_t size) {
            std::string field = s;
            field.resize(size, '\0');
            return field;
        };
        const DWORD index = static_cast<DWORD>(generated % 6);
        bool ok = Write(path, "FROM", false, REG_EXPAND_SZ, text(from, 11)) &&
                  Write(path, "TO", false, REG_EXPAND_SZ, text(to, 11)) &&
                  Write(path, "NOTES", false, REG_EXPAND_SZ,
                        text("Note " + std::to_string(generated), 500)) &&
                  Write(path, "EVENT", false, REG_EXPAND_SZ, text("EMail", 10)) &&
                  Write(path, "EVENT INDEX", false, REG_DWORD,
                        std::string(reinterpret_cast<const char*>(&index), sizeof index)) &&
                  Write(path, "DETAIL NOTES", false, REG_EXPAND_SZ, text("detail", 500));
        if (!ok)
            return;
        CalendarDate first{}, last{};
        if (!ParseDateText(from.c_str(), first) || !ParseDateText(to.c_str(), last))
            return Fail("generated dates must be well formed");
        const CalendarDate today{kFixtureYear, kFixtureMonth, kFixtureDay};
        if (CompareDates(last, today) < 0)
            info.purged.insert(path);
        else if (CompareDates(first, today) <= 0)
            ++info.reminded;
    }

    void Directive(const std::string& line) {
        std::istringstream words(line.substr(2));
        std::string word;
        words >> word;
        if (word == "purged" || word == "reminded") {
            if (keyPath.empty())
                return Fail("!" + word + " outside a key");
            if (word == "purged")
                info.purged.insert(keyPath);
            else
                ++info.reminded;
        } else if (word == "options") {
            std::string setting;
            while (words >> setting) {
                const size_t eq = setting.find('=');
                const int value = std::atoi(setting.c_str() + eq + 1);
                const std::string key = setting.substr(0, eq);
                if (eq == std::string::npos)
                    return Fail("!options takes name=value");
                if (key == "minutes")
                    info.minutes = value;
                else if (key == "splash")
                    info.splash = value;
                else if (key == "purge")
                    info.purgeAtStartUp = value;
                else
                    return Fail("unknown option " + key);
            }
        } else if (word == "fill") {
            std::string rest;
            std::getline(words, rest);
            size_t pos = rest.find('"');
            std::string name;
            if (keyPath.empty() || pos == std::string::npos || !QuotedText(rest, pos, name))
                return Fail("!fill \"NAME\" TYPE BYTES CHAR [nul] inside a key");
            std::istringstream args(rest.substr(pos));
            unsigned long type = 0;
            size_t size = 0;
            char fill = 0;
            std::string nul;
            if (!(args >> type >> size >> fill))
                return Fail("!fill \"NAME\" TYPE BYTES CHAR [nul]");
            args >> nul;
            std::string bytes(size, fill);
            if (nul == "nul" && size > 0)
                bytes.back() = '\0';
            Write(keyPath, name, false, static_cast<DWORD>(type), bytes);
        } else if (word == "appointments") {
            int count = 0;
            std::string from, to;
            if (keyPath.empty() || !(words >> count >> from >> to))
                return Fail("!appointments COUNT FROM TO inside a day key");
            for (int i = 0; i < count && info.ok; ++i)
                Generate(keyPath, from, to);
            const std::string below = std::string(kRoot) + "\\";
            if (keyPath.rfind(below, 0) == 0)
                NoteDay(keyPath.substr(below.size()));
        } else if (word == "days") {
            int count = 0;
            std::string firstText;
            CalendarDate day{};
            if (!(words >> count >> firstText) || !ParseDateText(firstText.c_str(), day))
                return Fail("!days COUNT FIRST");
            const CalendarDate today{kFixtureYear, kFixtureMonth, kFixtureDay};
            for (int i = 0; i < count && info.ok; ++i, day = NextDay(day)) {
                const std::string text = FormatDateText(day);
                Generate(std::string(kRoot) + "\\" + text, text, text);
                // The first, the last and today stand for the rest in the
                // day view.
                if (i == 0 || i == count - 1 || CompareDates(day, today) == 0)
                    NoteDay(text);
            }
        } else {
            Fail("unknown directive " + word);
        }
    }

    void Line(const std::string& line) {
        if (line.empty())
            return;
        if (line.rfind(";!", 0) == 0)
            return Directive(line);
        if (line[0] == ';')
            return;
        if (line[0] == '[') {
            if (line.back() != ']')
                return Fail("a key line must end in ']'");
            return Section(line);
        }
        if (line[0] == '"' || line[0] == '@')
            return Value(line);
        Fail("cannot read the line");
    }
};

std::string TrimEnd(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

} // namespace

FixtureInfo ImportRegFixture(const std::string& name, const std::string& text) {
    Importer importer;
    importer.info.name = name;
    std::istringstream lines(text);
    std::string line;
    bool header = false;
    while (std::getline(lines, line)) {
        ++importer.lineNumber;
        line = TrimEnd(line);
        if (!header) {
            if (line.empty())
                continue;
            header = true;
            if (line != "Windows Registry Editor Version 5.00" && line != "REGEDIT4")
                importer.Fail("not a .reg file");
            continue;
        }
        // Hex lists go on over lines that end in a backslash.
        while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
            std::string next;
            if (!std::getline(lines, next))
                break;
            ++importer.lineNumber;
            line.pop_back();
            next = TrimEnd(next);
            line += next.substr(std::min(next.size(), next.find_first_not_of(" \t")));
        }
        importer.Line(line);
    }
    if (!header)
        importer.Fail("empty fixture");
    return importer.info;
}

std::string ExpectedStoredText(const RawValue& raw, size_t capacity) {
    if (!raw.exists ||
        (raw.type != REG_SZ && raw.type != REG_EXPAND_SZ && raw.type != REG_MULTI_SZ))
        return "";
    // The text as a code-page reader sees it, in that code page's characters,
    // cut to the field at a whole character.
    const std::string bytes = raw.bytes.substr(0, raw.bytes.find('\0'));
    std::wstring wide(bytes.size(), L'\0');
    if (!bytes.empty())
        wide.resize(static_cast<size_t>(
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                wide.data(), static_cast<int>(wide.size()))));
    const std::u16string units(wide.begin(), wide.end());
    return fw::Utf16ToUtf8(units.substr(0, fw::Utf16PrefixWithin(units, capacity - 1)));
}

const EmbeddedFixture* FindMalformedFixture(const std::string& name) {
    for (const EmbeddedFixture& fixture : MalformedFixtures())
        if (name == fixture.name)
            return &fixture;
    return nullptr;
}

} // namespace qmtest
