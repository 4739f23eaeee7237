#include "session/scriptcompare.h"

#include <algorithm>

#include "core/answerdecode.h"
#include "session/scriptrunner.h"

#include <map>
#include <tuple>

namespace tallyhost {

namespace {

// A step is known by where it stands in the script; the same script given twice runs its
// steps twice, told apart by their occurrence.
using StepKey = std::tuple<std::string, std::string, int, int>;

std::string Joined(const std::vector<std::string>& parts, const char* between)
{
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : between) + p;
    return out;
}

} // namespace

std::vector<TStepValue> StepValues(const ExchangeResult& r)
{
    std::vector<TStepValue> values{{"outcome", OutcomeWords(r)}};
    if (!r.Succeeded())
        return values;
    if (r.Fiscal) {
        std::vector<std::string> frames;
        for (const FiscalAnswerFrame& f : r.FiscalFrames)
            frames.push_back(f.Data);
        values.push_back({"fiscal frames", Joined(frames, " | ")});
        return values;
    }
    values.push_back({"printer status", StatusWordHex(r.PrinterStatus)});
    values.push_back({"fiscal status", StatusWordHex(r.FiscalStatus)});
    values.push_back({"return code", std::to_string(r.ReturnCode)});
    std::vector<std::string> lit;
    for (const auto* panels : {&r.FiscalPanels, &r.PrinterPanels}) {
        for (const StatusPanelText& p : *panels) {
            if (p.Matched)
                lit.push_back(p.Text);
        }
    }
    values.push_back({"lit", Joined(lit, ", ")});
    for (const AnswerEntry& e : r.AnswerFields) {
        if (e.Label == "Return code") // the extended answer's: compared above
            continue;
        // Labels repeat (the extended answer's two reserved fields, captions shared): the
        // second and later are told apart by their place, so that each is compared.
        std::string name = "field " + e.Label;
        if (std::any_of(values.begin(), values.end(),
                        [&](const TStepValue& v) { return v.Name == name; }))
            name += " #" + std::to_string(e.Position);
        values.push_back({std::move(name), e.Value});
    }
    return values;
}

std::vector<TDifference> CompareBenches(const std::vector<TBenchSteps>& benches)
{
    const std::size_t n = benches.size();
    // Where each bench ran each step.
    std::vector<std::map<StepKey, const TStepRecord*>> ran(n);
    // Steps in the order they first ran, bench by bench.
    std::vector<StepKey> order;
    std::map<StepKey, bool> seen;
    for (std::size_t b = 0; b < n; ++b) {
        std::map<std::tuple<std::string, std::string, int>, int> occurrences;
        for (const TStepRecord& s : benches[b].Steps) {
            const int nth = occurrences[{s.Script, s.Case, s.Line}]++;
            const StepKey key{s.Script, s.Case, s.Line, nth};
            ran[b].emplace(key, &s);
            if (!seen[key]) {
                seen[key] = true;
                order.push_back(key);
            }
        }
    }

    std::vector<TDifference> out;
    for (const StepKey& key : order) {
        std::vector<const TStepRecord*> records(n, nullptr);
        int count = 0;
        for (std::size_t b = 0; b < n; ++b) {
            const auto it = ran[b].find(key);
            if (it != ran[b].end()) {
                records[b] = it->second;
                ++count;
            }
        }
        if (count < 2)
            continue;
        // Every value name any bench had, in the first bench's order, then the others' own.
        std::vector<std::string> names;
        for (const TStepRecord* r : records) {
            for (const TStepValue& v : r ? r->Values : std::vector<TStepValue>{}) {
                bool known = false;
                for (const std::string& name : names)
                    known = known || name == v.Name;
                if (!known)
                    names.push_back(v.Name);
            }
        }
        for (const std::string& name : names) {
            TDifference d{std::get<0>(key), std::get<1>(key), std::get<2>(key), name, {}, {}, {}};
            // A value a bench's answer did not have differs from an empty one.
            std::optional<std::optional<std::string>> first;
            bool differs = false;
            for (const TStepRecord* r : records) {
                d.ResponseMs.push_back(r ? r->ResponseMs : std::nullopt);
                if (!r) {
                    d.Values.emplace_back();
                    d.Missing.push_back(false);
                    continue;
                }
                std::optional<std::string> value;
                for (const TStepValue& v : r->Values) {
                    if (v.Name == name) {
                        value = v.Value;
                        break;
                    }
                }
                if (!first)
                    first = value;
                else
                    differs = differs || value != *first;
                d.Missing.push_back(!value);
                d.Values.emplace_back(value.value_or(std::string()));
            }
            if (differs)
                out.push_back(std::move(d));
        }
    }
    return out;
}

std::string DifferenceLine(const TDifference& d, const std::vector<std::string>& benchNames,
                           bool withScript)
{
    std::string line = withScript ? d.Script + ": " : std::string();
    line += "case '" + d.Case + "', line " + std::to_string(d.Line) + ", " + d.Name + ":";
    for (std::size_t b = 0; b < d.Values.size() && b < benchNames.size(); ++b) {
        const std::string value = !d.Values[b]                           ? "(not run)"
                                  : b < d.Missing.size() && d.Missing[b] ? "(none)"
                                  : d.Values[b]->empty()                 ? "(empty)"
                                                                         : *d.Values[b];
        line += (b == 0 ? " " : "  ") + benchNames[b] + "=" + value;
    }
    return line;
}

} // namespace tallyhost
