#pragma once

#include "session/exchange.h"

#include <optional>
#include <string>
#include <vector>

namespace tallyhost {

class TTerminalCache;

// Building an exchange request without a window: what tallyhost-cli and test scripts send.
// The values are taken as the command panel's boxes would take them typed by an operator.

// Loads the definition (command and answer fields) of `section`. Empty on success, else why
// not ("the definition of <section> is broken: ...").
std::string LoadExchangeRequest(const TTerminalCache& cache, const std::string& section,
                                ExchangeRequest& request);

// What the panel's input of a field shows before the operator types: the default text as the
// box takes it, replaced by the first item of a list that has items; a choice-only list
// without items shows nothing.
std::string InitialFieldText(const std::vector<std::string>& items, const TCommandFieldDef& field);

// Fills every input of a loaded request: field i takes given[i] when there is one, else what
// the panel shows at first. A given value is typed into the field's box (its type and length;
// a choice-only list takes only its items); dates are "YYYY-MM-DD" or "today" (empty: today),
// times "HH:MM[:SS]" or "now". Empty on success, else a refusal naming the field by caption
// ("field 'Amount': ..."): a value the box would not take, a value for a read-only field.
// A value equal to what the box shows at first is taken as it stands, untyped. With
// `refusals`, every field is judged and each refusal appended (the first is also returned).
std::string FillRequestInputs(const TTerminalCache& cache, ExchangeRequest& request,
                              const std::vector<std::optional<std::string>>& given,
                              std::vector<std::string>* refusals = nullptr);

} // namespace tallyhost
