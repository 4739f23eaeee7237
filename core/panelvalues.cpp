#include "core/panelvalues.h"

#include <algorithm>

namespace tallyhost {

std::vector<std::pair<int, int>> TPanelValues::ShapeOf(const TCommandDefinition& definition)
{
    std::vector<std::pair<int, int>> shape;
    const int count = std::clamp(definition.FieldCount, 0, MaxFields);
    for (int i = 0; i < count; ++i)
        shape.emplace_back(definition.Fields[i].ControlType, definition.Fields[i].TextType);
    return shape;
}

void TPanelValues::Keep(const std::string& section, const TCommandDefinition& definition,
                        std::vector<FieldInput> values)
{
    Entry& e = m_entries[section];
    e.Shape = ShapeOf(definition);
    values.resize(e.Shape.size());
    e.Values = std::move(values);
}

std::optional<std::vector<FieldInput>>
TPanelValues::Kept(const std::string& section, const TCommandDefinition& definition) const
{
    const auto it = m_entries.find(section);
    if (it == m_entries.end() || !it->second.Values || it->second.Shape != ShapeOf(definition))
        return std::nullopt;
    return it->second.Values;
}

void TPanelValues::Reset(const std::string& section)
{
    m_entries.erase(section);
}

} // namespace tallyhost
