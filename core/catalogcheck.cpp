#include "core/catalogcheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/colors.h"
#include "core/commatext.h"
#include "core/errors.h"
#include "core/inputrules.h"
#include "core/profile.h"
#include "core/returncodeedit.h"
#include "core/statusedit.h"
#include "core/strtoint.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "core/treeedit.h"
#include "core/valueformat.h"

namespace tallyhost {

namespace {

using Sev = TCheckSeverity;

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

std::string sectionRef(std::string_view name)
{
    return "[" + std::string(name) + "]";
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1a';
}

// A key of a section as the profile layer reads it, with its line.
struct KeyInfo
{
    std::string_view Name;
    std::string_view Value; // trimmed, quotes kept
    int Line = 0;
    bool Padded = false; // blanks around the name: the cached reader does not find it
};

struct SectionInfo
{
    std::string_view Name;
    int Line = 0;
    std::vector<KeyInfo> Keys; // first occurrence of each name, file order
    bool Checked = false;      // as a command section

    const KeyInfo* Find(std::string_view key) const
    {
        // Most sections hold a handful of keys: a scan beats hashing them.
        if (Keys.size() < IndexFrom) {
            for (const KeyInfo& k : Keys) {
                if (SameName(k.Name, key))
                    return &k;
            }
            return nullptr;
        }
        const auto it = m_index.find(FoldName(key));
        return it == m_index.end() ? nullptr : &Keys[it->second];
    }

    // Adds the key; when the section has it already, returns the first one instead.
    const KeyInfo* Insert(const KeyInfo& key)
    {
        if (const KeyInfo* first = Find(key.Name))
            return first;
        Keys.push_back(key);
        if (Keys.size() == IndexFrom) {
            for (std::size_t i = 0; i < Keys.size(); ++i)
                m_index.emplace(FoldName(Keys[i].Name), i);
        } else if (Keys.size() > IndexFrom) {
            m_index.emplace(FoldName(key.Name), Keys.size() - 1);
        }
        return nullptr;
    }

private:
    static constexpr std::size_t IndexFrom = 16;
    std::unordered_map<std::string, std::size_t> m_index;
};

std::string_view textTypeName(int code)
{
    static const char* const names[] = {"AlphaNumeric", "Alpha",  "Currency", "Numeric", "Decimal",
                                        "Hexa",         "Binary", "Boolean",  "Date",    "Time"};
    return code >= 0 && code <= 9 ? names[code] : "?";
}

std::string_view controlTypeName(int code)
{
    static const char* const names[] = {"Simple", "DropDown", "DropDownList", "Date", "Time"};
    return code >= 0 && code <= 4 ? names[code] : "?";
}

// "CL" followed by decimal digits: the field number; nullopt for any other key.
std::optional<int> comboListNumber(std::string_view key)
{
    if (key.size() < 3 || !SameName(key.substr(0, 2), KeyComboListPrefix) || key.size() > 11)
        return std::nullopt;
    int n = 0;
    for (const char c : key.substr(2)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

class Checker
{
public:
    explicit Checker(std::string_view bytes) : m_doc(IniDocument::FromBytes(bytes))
    {
        m_cache.LoadFromBytes(bytes);
    }

    std::vector<TCheckFinding> Run()
    {
        structure();
        general();
        tree();
        statusSection(SectionFiscalAnswer);
        statusSection(SectionPrinterAnswer);
        returnCodes();
        std::stable_sort(
            m_findings.begin(), m_findings.end(),
            [](const TCheckFinding& a, const TCheckFinding& b) { return a.Line < b.Line; });
        return std::move(m_findings);
    }

private:
    void add(int line, std::string_view section, std::string_view key, Sev severity,
             std::string message)
    {
        if (severity == Sev::Error)
            ++m_errors;
        m_findings.push_back(TCheckFinding{line, std::string(section), std::string(key), severity,
                                           std::move(message)});
    }

    SectionInfo* section(std::string_view name)
    {
        const auto it = m_sectionIndex.find(FoldName(name));
        return it == m_sectionIndex.end() ? nullptr : &m_sections[it->second];
    }

    // ---- lines, headings, duplicates -----------------------------------------------------

    void structure()
    {
        m_lines = m_doc.Lines();
        SectionInfo* current = nullptr;
        bool duplicate = false;
        m_sections.reserve(m_lines.size() / 4 + 1);
        m_sectionIndex.reserve(m_lines.size() / 4 + 1);
        for (const IniLine& line : m_lines) {
            switch (line.Kind) {
            case IniLineKind::Blank:
            case IniLineKind::Comment:
                break;
            case IniLineKind::Section: {
                const std::string folded = FoldName(line.Name);
                const auto [it, inserted] = m_sectionIndex.emplace(folded, m_sections.size());
                duplicate = !inserted;
                if (duplicate) {
                    add(line.Number, line.Name, {}, Sev::Warning,
                        "section appears again (first at line " +
                            std::to_string(m_sections[it->second].Line) +
                            "): its lines are ignored");
                    current = nullptr;
                    break;
                }
                m_sections.emplace_back();
                current = &m_sections.back();
                current->Name = line.Name;
                current->Line = line.Number;
                // The terminal window's reader takes a heading only when "[" starts the line
                // and "]" ends it, and keeps blanks inside the brackets.
                const std::string_view t = line.Text;
                if (t.empty() || t.front() != '[' || t.back() != ']' ||
                    t.substr(1, t.size() - 2) != line.Name)
                    add(line.Number, line.Name, {}, Sev::Warning,
                        "blanks or text around the section name: the terminal window does not "
                        "find this section");
                break;
            }
            case IniLineKind::Entry: {
                if (duplicate)
                    break;
                if (!current) {
                    add(line.Number, {}, line.Name, Sev::Warning,
                        "line before the first section is ignored");
                    break;
                }
                if (line.Name.empty()) {
                    add(line.Number, current->Name, {}, Sev::Warning,
                        "line without a key name is ignored");
                    break;
                }
                const std::string_view raw = line.Text.substr(0, line.Text.find('='));
                if (const KeyInfo* first = current->Insert(
                        KeyInfo{line.Name, line.Value, line.Number, raw != line.Name}))
                    add(line.Number, current->Name, line.Name, Sev::Warning,
                        "key appears again (first at line " + std::to_string(first->Line) +
                            "): this line is ignored");
                break;
            }
            case IniLineKind::Other: {
                if (duplicate)
                    break;
                std::string_view t = line.Text;
                while (!t.empty() && isBlank(t.front()))
                    t.remove_prefix(1);
                const std::string_view sectionName = current ? current->Name : std::string_view{};
                if (!t.empty() && t.front() == '[')
                    add(line.Number, sectionName, {}, Sev::Warning,
                        "section heading without \"]\" is ignored");
                else if (!current)
                    add(line.Number, {}, {}, Sev::Warning,
                        "line before the first section is ignored");
                else
                    add(line.Number, sectionName, {}, Sev::Warning,
                        "line without \"=\" is ignored");
                break;
            }
            }
        }
    }

    // ---- [General] -----------------------------------------------------------------------

    void general()
    {
        const SectionInfo* s = section(SectionGeneral);
        if (!s) {
            add(0, SectionGeneral, {}, Sev::Warning,
                "no [General] section: protocol and date formats read as 0");
            return;
        }
        struct Setting
        {
            std::string_view Key;
            int Max;
            const char* Table;
        };
        for (const Setting& setting :
             {Setting{KeyProtocol, 1, "0 (compatibility) or 1 (extended)"},
              Setting{KeyInputDateFormat, DateFormatCount - 1, "a date format 0 to 7"},
              Setting{KeyOutputDateFormat, DateFormatCount - 1, "a date format 0 to 7"}}) {
            const KeyInfo* k = s->Find(setting.Key);
            if (!k) {
                add(s->Line, s->Name, setting.Key, Sev::Warning, "missing: read as 0");
                continue;
            }
            const std::string value = m_doc.ReadString(SectionGeneral, setting.Key, "");
            std::int32_t n = 0;
            if (!TryStrToInt(value, n))
                add(k->Line, s->Name, k->Name, Sev::Warning,
                    quoted(value) + " is not a number: read as 0");
            else if (n < 0 || n > setting.Max)
                add(k->Line, s->Name, k->Name, Sev::Error,
                    std::to_string(n) + " is not " + setting.Table);
        }
    }

    // ---- groups, commands and their sections ---------------------------------------------

    // Who uses a section: a fixed section (Group holds its name), a group (no Command) or a
    // command.
    struct Owner
    {
        std::string_view Group;
        std::string_view Command;
        bool Fixed = false;

        std::string Describe() const
        {
            if (Fixed)
                return "the fixed section " + sectionRef(Group);
            if (Command.empty())
                return "the section of group " + quoted(Group);
            return "the section of command " + quoted(Command) + " of group " + quoted(Group);
        }
    };

    // False (after reporting) when the section is taken: a second user shares its data.
    bool claim(const std::string& sectionName, Owner owner, int line, std::string_view inSection,
               std::string_view key)
    {
        const auto [it, inserted] = m_owners.emplace(FoldName(sectionName), owner);
        if (!inserted)
            add(line, inSection, key, Sev::Error,
                "its section " + sectionRef(sectionName) + " is also " + it->second.Describe() +
                    ": editing one changes or erases the other");
        return inserted;
    }

    void nameRules(const KeyInfo& k, std::string_view inSection, const char* what)
    {
        if (auto problem = NameProblem(k.Name))
            add(k.Line, inSection, k.Name, Sev::Warning, std::string(what) + ": " + *problem);
        else if (static_cast<int>(k.Name.size()) > MaxNodeNameLength)
            add(k.Line, inSection, k.Name, Sev::Warning,
                std::string(what) + " name longer than " + std::to_string(MaxNodeNameLength) +
                    " characters");
    }

    void tree()
    {
        for (const std::string_view fixed :
             {SectionGeneral, SectionGroups, SectionFiscalAnswer, SectionPrinterAnswer,
              SectionReturnCodes, SectionReturnCodeTemplate})
            m_owners.emplace(FoldName(fixed), Owner{fixed, {}, true});

        const SectionInfo* groups = section(SectionGroups);
        if (!groups)
            return;
        for (const KeyInfo& g : groups->Keys) {
            nameRules(g, groups->Name, "group");
            const std::string group(g.Name);
            // A group whose section is not its own: its "commands" are another section's keys.
            if (!IsFreeSectionName(group)) {
                add(g.Line, groups->Name, g.Name, Sev::Error,
                    "a group may not be called " + sectionRef(group) +
                        ": editing it erases that fixed section");
                continue;
            }
            if (!claim(group, Owner{g.Name, {}, false}, g.Line, groups->Name, g.Name))
                continue;
            const SectionInfo* gs = section(group);
            if (!gs) {
                add(g.Line, groups->Name, g.Name, Sev::Warning,
                    "group without its section " + sectionRef(group) + ": it shows no commands");
                continue;
            }
            for (const KeyInfo& c : gs->Keys) {
                nameRules(c, gs->Name, "command");
                const std::string name = CommandSectionName(group, c.Name);
                if (!IsFreeSectionName(name)) {
                    add(c.Line, gs->Name, c.Name, Sev::Error,
                        "its section " + sectionRef(name) +
                            " is a fixed section: removing the command erases it");
                    continue;
                }
                claim(name, Owner{g.Name, c.Name, false}, c.Line, gs->Name, c.Name);
                SectionInfo* cs = section(name);
                if (!cs) {
                    add(c.Line, gs->Name, c.Name, Sev::Warning,
                        "command without its section " + sectionRef(name) + ": it has no fields");
                    continue;
                }
                if (!cs->Checked) {
                    cs->Checked = true;
                    command(*cs);
                }
            }
        }
    }

    // A value the window converts with the toolkit's integer conversion (an error box when it
    // fails); false after reporting.
    bool needInteger(const KeyInfo& k, std::string_view section, std::string_view what,
                     std::string_view text, std::int32_t& n)
    {
        if (TryStrToInt(text, n))
            return true;
        add(k.Line, section, k.Name, Sev::Error,
            std::string(what) + ": " + ConvertError::NotAnInteger(std::string(text)).what());
        return false;
    }

    // A value read as 0 when it is not a number.
    std::int32_t lenientInteger(const KeyInfo& k, std::string_view section, std::string_view what,
                                std::string_view text)
    {
        std::int32_t n = 0;
        if (!TryStrToInt(text, n)) {
            add(k.Line, section, k.Name, Sev::Warning,
                std::string(what) + ": " + quoted(text) + " is not a number, read as 0");
            return 0;
        }
        return n;
    }

    // CL and Notes values reach their parser without their first and last character.
    void quotedList(const KeyInfo& k, std::string_view section, const std::string* raw)
    {
        if (!raw)
            return;
        if (raw->size() < 2 || raw->front() != '"' || raw->back() != '"')
            add(k.Line, section, k.Name, Sev::Error,
                "value not between double quotes: its first and last characters are lost");
    }

    void command(const SectionInfo& s)
    {
        // The items converted here are exactly those LoadCommandFields and LoadAnswerFields
        // convert (a test holds the two together), so the window's loaders are not run again.
        const std::string name(s.Name);

        for (const KeyInfo& k : s.Keys) {
            if (k.Padded)
                add(k.Line, s.Name, k.Name, Sev::Warning,
                    "blanks around the key name: the terminal window does not find it");
        }

        // Command fields.
        int fieldCount = 0;
        std::vector<int> controls;
        if (const KeyInfo* k = s.Find(KeyCommands)) {
            const std::string* raw = m_cache.Find(name, KeyCommands);
            const std::vector<std::string> items = SplitCommaText(raw ? *raw : std::string());
            if (items.size() % CommandValuesPerField != 0)
                add(k->Line, s.Name, k->Name, Sev::Error,
                    std::to_string(items.size()) + " values, not a multiple of " +
                        std::to_string(CommandValuesPerField) + ": the last " +
                        std::to_string(items.size() % CommandValuesPerField) + " are ignored");
            fieldCount = static_cast<int>(items.size() / CommandValuesPerField);
            if (fieldCount > MaxFields)
                add(k->Line, s.Name, k->Name, Sev::Error,
                    std::to_string(fieldCount) + " fields: fields after the " +
                        std::to_string(MaxFields) + "th are ignored");
            const int shown = std::min(fieldCount, MaxFields);
            controls.assign(static_cast<std::size_t>(shown), -1);
            for (int i = 0; i < shown; ++i)
                controls[static_cast<std::size_t>(i)] = commandField(*k, s.Name, items, i);
            fieldCount = shown;
        }
        // Answer fields.
        if (const KeyInfo* k = s.Find(KeyAnswers)) {
            const std::string* raw = m_cache.Find(name, KeyAnswers);
            const std::vector<std::string> items = SplitCommaText(raw ? *raw : std::string());
            if (items.size() % AnswerValuesPerField != 0)
                add(k->Line, s.Name, k->Name, Sev::Error,
                    std::to_string(items.size()) + " values, not a multiple of " +
                        std::to_string(AnswerValuesPerField) + ": the last " +
                        std::to_string(items.size() % AnswerValuesPerField) + " are ignored");
            const int count = static_cast<int>(items.size() / AnswerValuesPerField);
            if (count > MaxFields)
                add(k->Line, s.Name, k->Name, Sev::Error,
                    std::to_string(count) + " fields: fields after the " +
                        std::to_string(MaxFields) + "th are ignored");
            for (int i = 0; i < std::min(count, MaxFields); ++i) {
                const std::string field = "answer field " + std::to_string(i + 1);
                const auto b = static_cast<std::size_t>(i) * AnswerValuesPerField;
                std::int32_t type = 0;
                if (needInteger(*k, s.Name, field + " text type", items[b + 1], type) &&
                    (type < 0 || type > 9))
                    add(k->Line, s.Name, k->Name, Sev::Error,
                        field + ": text type " + std::to_string(type) + " is not 0 to 9");
                lenientInteger(*k, s.Name, field + " decimal digits", items[b + 2]);
            }
        }

        // Combo lists, notes and keys nobody reads.
        for (const KeyInfo& k : s.Keys) {
            if (SameName(k.Name, KeyCommands) || SameName(k.Name, KeyAnswers))
                continue;
            if (SameName(k.Name, KeyNotes)) {
                quotedList(k, s.Name, m_cache.Find(name, k.Name));
                if (fieldCount == 0)
                    add(k.Line, s.Name, k.Name, Sev::Warning,
                        "notes on a command without fields: the editor never shows them");
                continue;
            }
            const std::optional<int> number = comboListNumber(k.Name);
            if (!number) {
                add(k.Line, s.Name, k.Name, Sev::Warning, "key not read by the program");
                continue;
            }
            quotedList(k, s.Name, m_cache.Find(name, k.Name));
            if (*number < 1 || *number > fieldCount)
                add(k.Line, s.Name, k.Name, Sev::Warning,
                    "items for field " + std::to_string(*number) + ", which does not exist");
            else if (const int control = controls[static_cast<std::size_t>(*number - 1)];
                     control != ctDropDown && control != ctDropDownList && control >= 0)
                add(k.Line, s.Name, k.Name, Sev::Warning,
                    "items for field " + std::to_string(*number) +
                        ", which is no drop-down (control type " +
                        std::string(controlTypeName(control)) + ")");
        }
        for (int i = 0; i < fieldCount; ++i) {
            const int control = controls[static_cast<std::size_t>(i)];
            if (control != ctDropDown && control != ctDropDownList)
                continue;
            if (!LoadComboItems(m_cache, name, i + 1).empty())
                continue;
            const KeyInfo* k = s.Find(KeyCommands);
            add(k->Line, s.Name, k->Name, control == ctDropDownList ? Sev::Error : Sev::Warning,
                "field " + std::to_string(i + 1) + " is a drop-down without items (" +
                    std::string(KeyComboListPrefix) + std::to_string(i + 1) + ")" +
                    (control == ctDropDownList ? ": nothing can be chosen" : ""));
        }
    }

    // Checks command field i; returns its control type (-1 when it is not a number).
    int commandField(const KeyInfo& k, std::string_view section,
                     const std::vector<std::string>& items, int i)
    {
        const auto b = static_cast<std::size_t>(i) * CommandValuesPerField;
        const std::string field = "field " + std::to_string(i + 1);
        std::int32_t n = 0;
        if (i == 0 && needInteger(k, section, field + " mode", items[b], n) && n != cmHost &&
            n != cmFiscal)
            add(k.Line, section, k.Name, Sev::Error,
                field + ": mode " + std::to_string(n) + " is not 0 (Host) or 1 (Fiscal)");
        std::int32_t type = -1;
        if (needInteger(k, section, field + " text type", items[b + 3], type) &&
            (type < 0 || type > 9)) {
            add(k.Line, section, k.Name, Sev::Error,
                field + ": text type " + std::to_string(type) + " is not 0 to 9");
            type = -1;
        }
        std::int32_t control = -1;
        if (needInteger(k, section, field + " control type", items[b + 5], control) &&
            (control < 0 || control > 4)) {
            add(k.Line, section, k.Name, Sev::Error,
                field + ": control type " + std::to_string(control) + " is not 0 to 4");
            control = -1;
        }
        needInteger(k, section, field + " required", items[b + 7], n);
        needInteger(k, section, field + " read only", items[b + 8], n);
        const std::int32_t maxLength =
            lenientInteger(k, section, field + " max length", items[b + 6]);
        const std::int32_t minLength =
            lenientInteger(k, section, field + " min length", items[b + 9]);
        lenientInteger(k, section, field + " decimal digits", items[b + 10]);
        lenientInteger(k, section, field + " autoincrement", items[b + 11]);

        if (maxLength > 0 && minLength > maxLength)
            add(k.Line, section, k.Name, Sev::Warning,
                field + ": min length " + std::to_string(minLength) + " is above max length " +
                    std::to_string(maxLength));
        if ((control == ctDate && type != TextTypeDate) ||
            (control == ctTime && type != TextTypeTime)) {
            if (type >= 0)
                add(k.Line, section, k.Name, Sev::Warning,
                    field + ": a " + std::string(controlTypeName(control)) +
                        " control with text type " + std::string(textTypeName(type)));
        }

        // The default text goes into the field's input box, which cuts it to the max length
        // and empties it when the type's filter refuses it (the panel's own rule).
        const std::string& text = items[b + 4];
        if (type >= 0 && control >= ctSimple && control <= ctDropDownList && !text.empty()) {
            const auto fieldType = static_cast<std::uint8_t>(type);
            const std::string shown = InitialBoxText(fieldType, maxLength, text);
            if (shown.empty() && !TextAllowed(fieldType, text))
                add(k.Line, section, k.Name, Sev::Error,
                    field + ": default text " + quoted(text) + " is refused by the " +
                        std::string(textTypeName(type)) + " filter (the box shows it empty)");
            else if (shown != text)
                add(k.Line, section, k.Name, Sev::Error,
                    field + ": default text " + quoted(text) + " is longer than the max length " +
                        std::to_string(MaxLengthForType(fieldType, maxLength)) +
                        " (the box shows " + quoted(shown) + ")");
        }
        return control;
    }

    // ---- status records --------------------------------------------------------------------

    void statusSection(std::string_view name)
    {
        const SectionInfo* s = section(name);
        if (!s)
            return;
        const int errorsBefore = errorCount();
        int record = 0;
        // The decoder lists its records through the cached reader; keys are found by line.
        for (const std::string& key : m_cache.ReadSection(name)) {
            std::string_view trimmedKey = key;
            while (!trimmedKey.empty() && isBlank(trimmedKey.front()))
                trimmedKey.remove_prefix(1);
            while (!trimmedKey.empty() && isBlank(trimmedKey.back()))
                trimmedKey.remove_suffix(1);
            const KeyInfo* k = s->Find(trimmedKey);
            const KeyInfo fallback{trimmedKey, {}, s->Line, false};
            const KeyInfo& at = k ? *k : fallback;
            if (++record == MaxFields + 1)
                add(at.Line, s->Name, at.Name, Sev::Warning,
                    "more than " + std::to_string(MaxFields) +
                        " records: this one and the later ones are ignored");
            if (record > MaxFields)
                continue;
            const std::string* value = m_cache.Find(name, key);
            const std::vector<std::string> items = SplitCommaText(value ? *value : std::string());
            statusRecord(at, s->Name, items);
        }
        if (errorCount() == errorsBefore) {
            try {
                TStatusTable table;
                LoadStatusRecords(m_cache, name, table);
            } catch (const ConvertError& e) {
                add(s->Line, s->Name, {}, Sev::Error, e.what());
            }
        }
    }

    void statusRecord(const KeyInfo& k, std::string_view section,
                      const std::vector<std::string>& items)
    {
        if (items.size() < 6) {
            add(k.Line, section, k.Name, Sev::Error,
                std::to_string(items.size()) +
                    " values: a record has 6 (number, panel, mask, result, text, colour)");
            return;
        }
        if (items.size() > 6)
            add(k.Line, section, k.Name, Sev::Warning,
                std::to_string(items.size()) + " values: the values after the 6th are ignored");
        std::int32_t panel = 0;
        if (needInteger(k, section, "panel", items[1], panel) &&
            (panel < 1 || panel > MaxStatusPanels))
            add(k.Line, section, k.Name, Sev::Error,
                "panel " + std::to_string(panel) + " is not 1 to " +
                    std::to_string(MaxStatusPanels) + ": the record is ignored");
        std::int32_t mask = 0;
        std::int32_t result = 0;
        const bool maskOk = hexValue(k, section, "mask", items[2], mask);
        const bool resultOk = hexValue(k, section, "result", items[3], result);
        if (maskOk && resultOk && (result & ~mask) != 0)
            add(k.Line, section, k.Name, Sev::Warning,
                "result " + items[3] + " has bits outside the mask " + items[2] +
                    ": the record never matches");
        if (const auto problem = StatusColorProblem(items[5]))
            add(k.Line, section, k.Name, Sev::Error, "unknown colour: " + *problem);
    }

    bool hexValue(const KeyInfo& k, std::string_view section, std::string_view what,
                  const std::string& text, std::int32_t& value)
    {
        // The decoder reads "0x" followed by the text.
        if (TryStrToInt("0x" + text, value))
            return true;
        add(k.Line, section, k.Name, Sev::Error,
            std::string(what) + " " + quoted(text) + " is not hexadecimal");
        return false;
    }

    // ---- return codes ----------------------------------------------------------------------

    void returnCodes()
    {
        const SectionInfo* s = section(SectionReturnCodes);
        if (!s)
            return;
        std::unordered_map<int, int> seen; // code -> line
        for (const KeyInfo& k : s->Keys) {
            if (k.Padded)
                add(k.Line, s->Name, k.Name, Sev::Warning,
                    "blanks around the key name: the answer display does not find it");
            const std::optional<int> number = ReturnCodeKeyNumber(k.Name);
            if (!number) {
                add(k.Line, s->Name, k.Name, Sev::Error,
                    "not " + std::string(KeyReturnCodePrefix) +
                        " followed by a number of 1 to 5 digits: the answer display never shows "
                        "it");
                continue;
            }
            const int code = *number;
            const auto [it, inserted] = seen.emplace(code, k.Line);
            if (!inserted) {
                add(k.Line, s->Name, k.Name, Sev::Error,
                    "code " + std::to_string(code) + " is defined twice (also at line " +
                        std::to_string(it->second) + ")");
                continue;
            }
            if (k.Name.substr(2) != std::to_string(code))
                add(k.Line, s->Name, k.Name, Sev::Warning,
                    "leading zeros: the answer display looks up " +
                        std::string(KeyReturnCodePrefix) + std::to_string(code));
            else if (code > 0xFFFF)
                add(k.Line, s->Name, k.Name, Sev::Warning,
                    "code " + std::to_string(code) + " is above 65535: no answer carries it");
        }
    }

    int errorCount() const { return m_errors; }

    IniDocument m_doc;
    TTerminalCache m_cache;
    std::vector<IniLine> m_lines;
    std::vector<SectionInfo> m_sections;
    std::unordered_map<std::string, std::size_t> m_sectionIndex;
    std::unordered_map<std::string, Owner> m_owners;
    std::vector<TCheckFinding> m_findings;
    int m_errors = 0;
};

} // namespace

std::string_view SeverityName(TCheckSeverity severity)
{
    return severity == TCheckSeverity::Error ? "error" : "warning";
}

std::vector<TCheckFinding> CheckTerminalBytes(std::string_view bytes)
{
    return Checker(bytes).Run();
}

bool CheckTerminalFile(const std::string& path, std::vector<TCheckFinding>& findings)
{
    findings.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    std::string bytes;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok)
        return false;
    findings = CheckTerminalBytes(bytes);
    return true;
}

} // namespace tallyhost
