#pragma once

// A parsed script judged against its catalogue before anything is sent: every command must be
// in the catalogue, every value one the window's box would take and the frame can carry, every
// expectation fit the command's port and name an answer field or status text the catalogue
// has. The same refusals `tallyhost-cli send` gives, as "file:line: message".

#include "session/script.h"

#include <string>
#include <vector>

namespace tallyhost {

// The refusals of `script` against the catalogue it names (CataloguePath), in line order;
// empty when the script may run. Values holding ${variables} are judged when they are known,
// at run time; their fields must still exist and be writable.
// `ports`, when given, learns which ports the script's commands use.
struct TScriptPorts
{
    bool Host = false;
    bool Fiscal = false;
};
std::vector<std::string> CheckScriptAgainstCatalogue(const TScript& script,
                                                     TScriptPorts* ports = nullptr);

// The script at `path` as every runner takes it: read, then checked against its catalogue.
// Refusals holds the reading's and the catalogue's together, in line order; the script may run
// only when it is empty.
TScriptParse LoadCheckedScript(const std::string& path, TScriptPorts* ports = nullptr);

// The values of one send typed into its loaded command as the window's boxes take them, then
// the required fields and the frame bytes (of the first run of a repeat): every refusal, in
// the words the check and the runner both give ("field 'Quantity': '1x' is not a valid
// Currency value"). Empty when the request may be sent as filled.
std::vector<std::string> JudgeSendValues(const std::vector<NamedValue>& values,
                                         const TTerminalCache& cache, int inputDateFormat,
                                         int repeat, ExchangeRequest& request);

} // namespace tallyhost
