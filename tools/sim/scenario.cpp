#include "tools/sim/scenario.h"

#include <array>
#include <fstream>
#include <sstream>

#include "core/commatext.h"
#include "core/errors.h"
#include "core/profile.h"
#include "core/strtoint.h"
#include "core/termfile.h"

namespace tallyhost::sim {

namespace {

struct FaultName
{
    unsigned Bit;
    std::string_view Name;
};
constexpr std::array<FaultName, 10> FaultTable{{
    {FaultNak, "nak"},
    {FaultBadChecksum, "badchecksum"},
    {FaultSilence, "silence"},
    {FaultStale, "stale"},
    {FaultGarbage, "garbage"},
    {FaultSplit, "split"},
    {FaultFlood, "flood"},
    {FaultStall, "stall"},
    {FaultDsr, "dsr"},
    {FaultUnplug, "unplug"},
}};

// Rule sections are found by these prefixes; "[Host]" and "[Fiscal]" hold the defaults that
// every rule of the port starts from.
constexpr std::string_view HostSection = "Host";
constexpr std::string_view FiscalSection = "Fiscal";
constexpr std::string_view HostRulePrefix = "Host.";
constexpr std::string_view FiscalRulePrefix = "Fiscal.";
// Numbered lists stop at the first missing number; this only bounds a pathological file.
constexpr int MaxListKeys = 1000;

bool HasPrefix(std::string_view text, std::string_view prefix)
{
    return text.size() > prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

// Reads keys of one section, falling back to a base section (the port's defaults), and
// reports errors with the file, section and key.
class SectionReader
{
public:
    SectionReader(const IniDocument& ini, const std::string& file, std::string section,
                  std::string base)
        : m_ini(ini), m_file(file), m_section(std::move(section)), m_base(std::move(base))
    {
    }

    // The section that holds the key: the rule's own, else the base; empty when neither.
    std::string_view Owner(std::string_view key) const
    {
        if (m_ini.ValueExists(m_section, key))
            return m_section;
        if (!m_base.empty() && m_ini.ValueExists(m_base, key))
            return m_base;
        return {};
    }
    bool Has(std::string_view key) const { return !Owner(key).empty(); }

    std::string Text(std::string_view key, std::string_view fallback) const
    {
        const auto owner = Owner(key);
        return owner.empty() ? std::string(fallback)
                             : m_ini.ReadString(owner, key, fallback, ExtIniStringLimit);
    }

    std::int32_t Integer(std::string_view key, std::int32_t fallback, std::int32_t low,
                         std::int32_t high) const
    {
        if (!Has(key))
            return fallback;
        const std::string text = Text(key, "");
        std::int32_t value = 0;
        if (!TryStrToInt(text, value))
            fail(key, ConvertError::NotAnInteger(text).what());
        if (value < low || value > high)
            fail(key, "'" + text + "' is out of range (" + std::to_string(low) + " to " +
                          std::to_string(high) + ")");
        return value;
    }

    Millis Duration(std::string_view key, Millis fallback) const
    {
        return Millis{Integer(key, static_cast<std::int32_t>(fallback.count()), 0, 3'600'000)};
    }

    // A status word: up to four hexadecimal digits, as the masks of the status records.
    std::uint16_t HexWord(std::string_view key, std::uint16_t fallback) const
    {
        if (!Has(key))
            return fallback;
        const std::string text = Text(key, "");
        if (text.empty() || text.size() > 4)
            fail(key, "'" + text + "' is not a status word (1 to 4 hexadecimal digits)");
        std::int32_t value = 0;
        if (!TryStrToInt("$" + text, value))
            fail(key, "'" + text + "' is not a status word (1 to 4 hexadecimal digits)");
        return static_cast<std::uint16_t>(value);
    }

    // Key1, Key2, ... up to the first missing number, from whichever section has Key1.
    std::vector<std::string> List(std::string_view key,
                                  const std::vector<std::string>& fallback) const
    {
        const std::string first = std::string(key) + "1";
        const auto owner = Owner(first);
        if (owner.empty())
            return fallback;
        std::vector<std::string> items;
        for (int n = 1; n <= MaxListKeys; ++n) {
            const std::string name = std::string(key) + std::to_string(n);
            if (!m_ini.ValueExists(owner, name))
                break;
            items.push_back(m_ini.ReadString(owner, name, "", ExtIniStringLimit));
        }
        return items;
    }

    unsigned Faults(unsigned fallback) const
    {
        if (!Has("Fault"))
            return fallback;
        std::string unknown;
        const unsigned faults = ParseFaults(SplitCommaText(Text("Fault", "")), &unknown);
        if (!unknown.empty())
            fail("Fault", "unknown fault '" + unknown + "'");
        return faults;
    }

    [[noreturn]] void fail(std::string_view key, const std::string& what) const
    {
        throw Error(m_file + ": [" + m_section + "] " + std::string(key) + ": " + what);
    }

    const std::string& Section() const { return m_section; }

private:
    const IniDocument& m_ini;
    const std::string& m_file;
    std::string m_section;
    std::string m_base;
};

HostRule ReadHostRule(const SectionReader& r, const HostRule& base, std::string name)
{
    HostRule rule = base;
    rule.Name = std::move(name);
    rule.PrinterStatus = r.HexWord("PrinterStatus", base.PrinterStatus);
    rule.FiscalStatus = r.HexWord("FiscalStatus", base.FiscalStatus);
    rule.ReturnCode =
        static_cast<std::uint16_t>(r.Integer("ReturnCode", base.ReturnCode, 0, 0xFFFF));
    rule.Fields = r.List("Field", base.Fields);
    rule.Delay = r.Duration("Delay", base.Delay);
    rule.KeepAliveEvery = r.Duration("KeepAlive", base.KeepAliveEvery);
    if (r.Has("KeepAliveKind")) {
        const std::string kind = r.Text("KeepAliveKind", "");
        if (SameName(kind, "DC2"))
            rule.KeepAliveKind = KeepAlive::Dc2;
        else if (SameName(kind, "Frame"))
            rule.KeepAliveKind = KeepAlive::Frame;
        else
            r.fail("KeepAliveKind", "'" + kind + "' is neither DC2 nor Frame");
    }
    if (rule.KeepAliveEvery.count() > 0 && rule.KeepAliveEvery < Millis{10})
        r.fail("KeepAlive", "an interval below 10 ms would flood the host");
    rule.Faults = r.Faults(base.Faults);
    return rule;
}

FiscalRule ReadFiscalRule(const SectionReader& r, const FiscalRule& base, std::string name)
{
    FiscalRule rule = base;
    rule.Name = std::move(name);
    rule.Frames = r.List("Frame", base.Frames);
    if (r.Integer("AckOnly", 0, 0, 1) == 1)
        rule.Frames.clear();
    rule.Delay = r.Duration("Delay", base.Delay);
    rule.Faults = r.Faults(base.Faults);
    return rule;
}

} // namespace

unsigned ParseFaults(const std::vector<std::string>& names, std::string* unknown)
{
    unsigned faults = FaultNone;
    for (const auto& name : names) {
        if (name.empty() || SameName(name, "none"))
            continue;
        bool found = false;
        for (const auto& entry : FaultTable) {
            if (SameName(name, entry.Name)) {
                faults |= entry.Bit;
                found = true;
            }
        }
        if (!found && unknown && unknown->empty())
            *unknown = name;
    }
    return faults;
}

std::string FaultNames(unsigned faults)
{
    std::string text;
    for (const auto& entry : FaultTable) {
        if (faults & entry.Bit) {
            if (!text.empty())
                text += ',';
            text += entry.Name;
        }
    }
    return text.empty() ? "none" : text;
}

const HostRule& Scenario::MatchHost(std::string_view firstField) const
{
    for (const auto& rule : HostRules)
        if (rule.Match == firstField)
            return rule;
    return HostDefault;
}

const FiscalRule& Scenario::MatchFiscal(std::string_view data) const
{
    for (const auto& rule : FiscalRules)
        if (data.substr(0, rule.Match.size()) == rule.Match)
            return rule;
    return FiscalDefault;
}

Scenario BuiltInScenario()
{
    return Scenario{};
}

Scenario ParseScenario(std::string_view bytes, const std::string& file)
{
    const IniDocument ini = IniDocument::FromBytes(bytes);
    Scenario scenario;

    const SectionReader general(ini, file, "General", "");
    scenario.AckTimeout = general.Duration("AckTimeout", scenario.AckTimeout);
    scenario.SplitGap = general.Duration("SplitGap", scenario.SplitGap);
    if (scenario.SplitGap >= Millis{2500})
        general.fail("SplitGap", "gaps of 2500 ms or more end every exchange by time-out");
    scenario.Baud = general.Integer("Baud", 0, 0, MaxBaud);
    if (scenario.Baud > 0 && scenario.Baud < MinBaud)
        general.fail("Baud",
                     "below " + std::to_string(MinBaud) + " baud no host waits long enough");
    if (general.Has("CompatibleStatus")) {
        const std::string form = general.Text("CompatibleStatus", "");
        if (SameName(form, "Hex"))
            scenario.CompatibleStatus = StatusText::Hex;
        else if (SameName(form, "Decimal"))
            scenario.CompatibleStatus = StatusText::Decimal;
        else
            general.fail("CompatibleStatus", "'" + form + "' is neither Hex nor Decimal");
    }

    scenario.HostDefault = ReadHostRule(SectionReader(ini, file, std::string(HostSection), ""),
                                        scenario.HostDefault, std::string(HostSection));
    scenario.FiscalDefault =
        ReadFiscalRule(SectionReader(ini, file, std::string(FiscalSection), ""),
                       scenario.FiscalDefault, std::string(FiscalSection));

    for (const auto& section : ini.ReadSections()) {
        const bool host = HasPrefix(section, HostRulePrefix);
        const bool fiscal = HasPrefix(section, FiscalRulePrefix);
        if (!host && !fiscal)
            continue;
        const SectionReader r(ini, file, section, std::string(host ? HostSection : FiscalSection));
        if (!ini.ValueExists(section, "Match"))
            r.fail("Match", "missing (every rule names the command it answers)");
        const std::string match =
            ExpandHexEscapes(ini.ReadString(section, "Match", "", ExtIniStringLimit));
        const std::string name = section.substr((host ? HostRulePrefix : FiscalRulePrefix).size());
        if (host) {
            HostRule rule = ReadHostRule(r, scenario.HostDefault, name);
            rule.Match = match;
            scenario.HostRules.push_back(std::move(rule));
        } else {
            if (match.empty())
                r.fail("Match", "empty (it would answer every fiscal command; use [Fiscal])");
            FiscalRule rule = ReadFiscalRule(r, scenario.FiscalDefault, name);
            rule.Match = match;
            scenario.FiscalRules.push_back(std::move(rule));
        }
    }
    return scenario;
}

Scenario LoadScenario(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("Cannot read the scenario file " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw Error("Cannot read the scenario file " + path);
    return ParseScenario(bytes.str(), path);
}

} // namespace tallyhost::sim
