#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/termdefs.h"

namespace tallyhost {

class TTerminalCache;
class TExtIniFile;

// Fixed section and key names of a terminal file.
inline constexpr std::string_view SectionGeneral = "General";
inline constexpr std::string_view SectionGroups = "Groups";
inline constexpr std::string_view SectionFiscalAnswer = "FiscalAnswer";
inline constexpr std::string_view SectionPrinterAnswer = "PrinterAnswer";
inline constexpr std::string_view SectionReturnCodes = "Return codes";
// The template carries an empty section of this (singular) name; nothing reads it.
inline constexpr std::string_view SectionReturnCodeTemplate = "Return code";
inline constexpr std::string_view KeyCommands = "Commands";
inline constexpr std::string_view KeyAnswers = "Answers";
inline constexpr std::string_view KeyNotes = "Notes";
inline constexpr std::string_view KeyComboListPrefix = "CL";
inline constexpr std::string_view KeyRecordPrefix = "Record";
inline constexpr std::string_view KeyReturnCodePrefix = "RC";
inline constexpr std::string_view KeyProtocol = "Protocol";
inline constexpr std::string_view KeyInputDateFormat = "InputDateFormat";
inline constexpr std::string_view KeyOutputDateFormat = "OutputDateFormat";

// Status panels are numbered 1..MaxStatusPanels. Records naming other panels are ignored
// when loading (a hand-written panel 0 or 100000 must neither crash the decoder nor make the
// window create thousands of panels).
inline constexpr int MaxStatusPanels = MaxFields;

// The section of a command: the group name followed directly by the command name (group "AB"
// with command "C" and group "A" with command "BC" share the section "ABC").
std::string CommandSectionName(std::string_view group, std::string_view command);
// False for the names a group may not take: the fixed sections, compared without regard to
// case and of surrounding blanks ("General", "Return code", "Return codes", "FiscalAnswer",
// "PrinterAnswer", "Groups"). Also use it on CommandSectionName(group, command): a command
// section called "General" would be erased with its command.
bool IsFreeSectionName(std::string_view name);

// Loaders of the terminal window, all reading the cache. Each fills its target only when the
// whole load succeeded: a conversion error (ConvertError) leaves the target as it was.
// At most MaxFields fields or records are taken; the rest of a hand-written list is ignored.

// Command fields and command mode of a command section (from "Commands"; twelve items a
// field). No fields: FieldCount 0 and Mode cmHost. The answer fields are not touched.
void LoadCommandFields(const TTerminalCache& cache, std::string_view section,
                       TCommandDefinition& definition);
// Answer fields of a command section (from "Answers"; three items a field).
void LoadAnswerFields(const TTerminalCache& cache, std::string_view section,
                      TCommandDefinition& definition);
// Status-decode records of "FiscalAnswer" or "PrinterAnswer", in file order; PanelCount is the
// highest panel number used (0 for an empty section).
void LoadStatusRecords(const TTerminalCache& cache, std::string_view section, TStatusTable& table);
// Items of the combo list of command field `fieldNumber` (1-based): the value of "CL<n>"
// without its first and last character, split as comma text. Missing key: no items.
std::vector<std::string> LoadComboItems(const TTerminalCache& cache, std::string_view section,
                                        int fieldNumber);
// Lines of the command's notes, stored like a combo list in "Notes".
std::vector<std::string> LoadNotes(const TTerminalCache& cache, std::string_view section);
// Description of a return code: "RC" + code text in "Return codes"; empty when absent.
std::string ReturnCodeText(const TTerminalCache& cache, std::string_view codeText);

// Copies the keys of command section `source` into `destination` through the profile layer:
// Commands and Answers as read, every other key (CL<n>, Notes) in double quotes again since the
// profile read dropped them. Keys of the destination that the source lacks are kept. Values
// are read whole (no 8191-character cut, which would corrupt a long list). Wrap the call in a
// batch (TIniTransaction) to make it one replacement of the file.
void CopyCommandSection(TExtIniFile& ini, std::string_view source, std::string_view destination);

} // namespace tallyhost
