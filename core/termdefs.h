#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tallyhost {

// Code tables and in-memory records of a terminal file's definitions. Texts are byte strings
// (the files are 8-bit "ANSI" text); the GUI converts them to QString as Latin-1.

// A command holds at most this many command fields and answer fields, and a status word at
// most this many decode records. Hand-written files with more never write past the arrays.
inline constexpr int MaxFields = 70;

// A command's "Commands" value lists 12 values a field (mode, caption, hint, text type, default
// text, control type, max length, required, ...); its "Answers" value lists 3 (caption, hint,
// text type). Values after the last complete field are ignored.
inline constexpr std::size_t CommandValuesPerField = 12;
inline constexpr std::size_t AnswerValuesPerField = 3;

// Text type codes 0..9 of command and answer fields. Codes 0..7 are the typed input box's
// field types; 8 and 9 are served by the date and time pickers.
enum TFldType : std::uint8_t
{
    ftdAlphaNumeric = 0,
    ftdAlpha = 1,
    ftdCurrency = 2,
    ftdNumerical = 3,
    ftdDecimal = 4,
    ftdHexadecimal = 5,
    ftdBinary = 6,
    ftdBool = 7,
};
inline constexpr std::uint8_t TextTypeDate = 8;
inline constexpr std::uint8_t TextTypeTime = 9;

enum TControlType : std::uint8_t
{
    ctSimple = 0,
    ctDropDown = 1,
    ctDropDownList = 2,
    ctDate = 3,
    ctTime = 4,
};

enum TCommandMode : std::uint8_t
{
    cmHost = 0,
    cmFiscal = 1,
};

// A 32-bit colour value as the desktop toolkit of the file format stores it: 0x00BBGGRR
// (red in the low byte). System colours (clBtnFace ...) have the high byte set.
using TColor = std::int32_t;

struct TCommandFieldDef
{
    std::string Caption;
    std::string Hint;
    std::uint8_t TextType = 0;
    std::string DefaultText;
    std::uint8_t ControlType = 0;
    std::int32_t MaxLength = 0;
    bool Required = false;
    bool ReadOnly = false;
    std::int32_t MinLength = 0;
    std::int32_t DecimalDigits = 0;
    bool AutoIncrement = false;
};

struct TAnswerFieldDef
{
    std::string Caption;
    std::uint8_t TextType = 0;
    std::int32_t DecimalDigits = 0;
};

struct TStatusRecord
{
    std::int32_t Panel = 0;
    std::int32_t Mask = 0;
    std::int32_t Result = 0;
    std::string Text;
    TColor Color = 0;
};

// The parsed definition of one command: fixed arrays of MaxFields entries, as the terminal
// window keeps them, with the counts beside them.
struct TCommandDefinition
{
    std::array<TCommandFieldDef, MaxFields> Fields{};
    int FieldCount = 0;
    std::uint8_t Mode = cmHost;
    std::array<TAnswerFieldDef, MaxFields> Answers{};
    int AnswerCount = 0;
};

// The decode records of one status word and the number of panels they use.
struct TStatusTable
{
    std::array<TStatusRecord, MaxFields> Records{};
    int RecordCount = 0;
    int PanelCount = 0;
};

} // namespace tallyhost
