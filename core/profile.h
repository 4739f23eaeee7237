#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// The profile-file ("INI") layer. Terminal files and a few other files are edited with the
// semantics of the Windows private-profile functions, because that is what the files written
// by earlier versions of the program (and by hand) were made for:
//
//  * names of sections and keys match without regard to case (ASCII and Latin-1 letters);
//  * key names and values are trimmed of blanks when read, and a value that begins and ends
//    with the same quote character (" or ') loses that one pair;
//  * replacing a key rewrites its line in place, a new key goes right after the last entry of
//    its section, a new section goes at the end of the file, the first write creates the file;
//  * lines end at CR LF, LF or a lone CR; a non-blank line without "=" is neither listed nor
//    read (it stays in the file);
//  * a missing key gives the caller's default without its trailing spaces;
//  * every line an operation does not touch stays byte for byte as it was (comments, blank
//    lines, a last line without line end); new and rewritten lines take the file's own line
//    end (its first one; CR LF for a new or empty file), so an LF file stays LF;
//  * writing the value a key already has changes nothing on disk (no replacement, same time
//    stamp and inode);
//  * a key name that could not be read back (";" first, an "=", a heading) is refused with
//    IniKeyError instead of being written as a line nobody can read.
//
// Writes reach the disk as one atomic replacement of the whole file (temporary file beside it,
// fsync, rename), so a crash or a full disk never leaves a half-written terminal file, and the
// temporary copy a killed writer leaves behind is removed by the next load or save of the file
// (RemoveStaleTempFiles). The choices for malformed files are documented in profile.cpp.

// Value length limit of the plain profile reader (a 2048-byte buffer).
inline constexpr std::size_t ProfileStringLimit = 2047;
// Value length limit of TExtIniFile::ReadString (an 8192-byte buffer).
inline constexpr std::size_t ExtIniStringLimit = 8191;
// Byte limit of a key listing: each name counts its length plus one separator byte, and the
// list as a whole one more. Names that do not fit whole are not listed.
inline constexpr std::size_t ProfileKeyListLimit = 16384;
// "No limit" for the functions that take one.
inline constexpr std::size_t NoProfileLimit = static_cast<std::size_t>(-1);

// Position of the first CR or LF at or after `pos` (npos when none): where a line ends.
inline std::size_t FindLineEnd(std::string_view bytes, std::size_t pos)
{
    // A plain loop: find_first_of with a set searches the set once per byte.
    for (; pos < bytes.size(); ++pos) {
        if (bytes[pos] == '\n' || bytes[pos] == '\r')
            return pos;
    }
    return std::string_view::npos;
}

// Case folding used for section and key names: ASCII and Latin-1 letters.
std::string FoldName(std::string_view name);
bool SameName(std::string_view a, std::string_view b);
// False for a key name that a profile line could not give back (trimmed: starts with ";",
// holds "=", or starts with "[" and holds "]"); writing one throws IniKeyError.
bool KeyNameReadsBack(std::string_view name);

// One line of a profile file as the reader sees it, for tools that report by line number.
enum class IniLineKind
{
    Blank,
    Comment,
    Section, // Name: the section's name
    Entry,   // Name: the key; Value: the text after "=", trimmed, quotes kept
    Other,   // a non-blank line without "=": neither read nor listed
};
struct IniLine
{
    int Number = 0; // 1-based, counting the line ends the reader sees (CR LF, LF, lone CR)
    IniLineKind Kind = IniLineKind::Blank;
    std::string_view Text; // the whole line without its line end
    std::string_view Name;
    std::string_view Value;
};

// A profile file held in memory: loaded once, read and edited, then saved as one atomic
// replacement. The result of a sequence of edits is byte for byte what the same sequence of
// single profile writes would leave on disk.
class IniDocument
{
public:
    IniDocument();
    ~IniDocument();
    IniDocument(const IniDocument&);
    IniDocument& operator=(const IniDocument&);
    IniDocument(IniDocument&&) noexcept;
    IniDocument& operator=(IniDocument&&) noexcept;

    // Parses bytes as a profile file.
    static IniDocument FromBytes(std::string_view bytes);
    // Loads a file. A missing file gives an empty document that the first write creates.
    // A file that exists but cannot be read gives an empty document that refuses to be saved
    // (saving it would replace the operator's file with almost nothing).
    static IniDocument Load(const std::string& path);

    // The file's bytes as they would be written.
    std::string ToBytes() const;
    // Atomic save (WriteFileAtomically). Throws IniWriteError(path).
    void Save(const std::string& path) const;

    // True once an edit changed the document.
    bool Modified() const;
    void SetModified(bool modified);
    // False when Load() could not read an existing file.
    bool Readable() const;
    // The value as written, only trimmed of blanks: a quoted value keeps its quotes, so that
    // writing it back leaves the line as it was. No length limit.
    std::string ReadRawString(std::string_view section, std::string_view key) const;

    // Reading, as the profile functions do. `limit` caps the characters returned.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue,
                           std::size_t limit = ProfileStringLimit) const;
    bool SectionExists(std::string_view section) const;
    // True when the key is listed in the section (a line with "=").
    bool ValueExists(std::string_view section, std::string_view key) const;
    // Key names of a section in file order, each once; at most `byteLimit` bytes of names.
    std::vector<std::string> ReadSection(std::string_view section,
                                         std::size_t byteLimit = ProfileKeyListLimit) const;
    // Section names in file order, each once.
    std::vector<std::string> ReadSections() const;
    // Every line in file order, numbered as in ToBytes(). The views stay valid until the
    // document is edited or destroyed.
    std::vector<IniLine> Lines() const;

    // Editing, in memory. Line breaks in names or values are written as blanks (a raw line
    // break would split the line and create keys nobody wrote). WriteString throws
    // IniKeyError for a key name that could not be read back (KeyNameReadsBack).
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Removes the key's line(s); returns false when there was nothing to remove.
    bool DeleteKey(std::string_view section, std::string_view key);
    // Removes the section's heading and all its lines; false when there was no such section.
    bool EraseSection(std::string_view section);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// One-shot profile functions on a path: each call reads the file, and each write replaces it
// atomically. Use TExtIniFile or IniDocument to make several calls on one load.
std::string ProfileReadString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue);
void ProfileWriteString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);                             // throws IniWriteError
void ProfileEraseSection(const std::string& path, std::string_view section); // throws IniWriteError
// A key deletion that fails is silent, as the platform's.
void ProfileDeleteKey(const std::string& path, std::string_view section, std::string_view key);
std::vector<std::string> ProfileReadSection(const std::string& path, std::string_view section);
std::vector<std::string> ProfileReadSections(const std::string& path);

// A profile reader and writer bound to one file.
//
// Without a batch every write goes to disk at once, as its own atomic replacement. Between
// BeginUpdate() and the matching EndUpdate() the writes collect in memory (reads see them) and
// EndUpdate() writes them as ONE replacement: a tree operation that copies 200 commands is one
// replacement of the file, never half done. Batches nest; only the outermost EndUpdate writes.
// The file is loaded once and reloaded only when it changed on disk (checked with stat), so a
// run of reads costs one file read. A batch works on the file as it was at BeginUpdate(); a
// change made by someone else while the batch is open is replaced by the batch's result.
//
// Not thread-safe: one object per thread.
class TExtIniFile
{
public:
    explicit TExtIniFile(std::string fileName);
    ~TExtIniFile();
    TExtIniFile(const TExtIniFile&) = delete;
    TExtIniFile& operator=(const TExtIniFile&) = delete;

    const std::string& FileName() const { return m_fileName; }

    // Values up to ExtIniStringLimit characters, outer quote pair dropped.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Same, with a caller's limit (NoProfileLimit: the whole value).
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue, std::size_t limit) const;
    // ReadString converted as an integer (decimal, "$" or "0x" hex); the default when absent
    // or not a number.
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    // IniDocument::ReadRawString: the value with its quotes, for keys kept as they are.
    std::string ReadRawString(std::string_view section, std::string_view key) const;
    // Keys of a section in file order, up to ProfileKeyListLimit bytes of names.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // Keys of a section without the byte limit (for operations that must see every key,
    // e.g. renaming a group with hundreds of commands).
    std::vector<std::string> ReadSectionAll(std::string_view section) const;
    std::vector<std::string> ReadSections() const;
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;

    // Throw IniWriteError(FileName()) when the write is refused (outside a batch; inside a
    // batch EndUpdate throws, and a write already known to be refused throws at once).
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void EraseSection(std::string_view section);
    // Silent on failure outside a batch.
    void DeleteKey(std::string_view section, std::string_view key);

    // Batching. EndUpdate() of the outermost level writes everything (throws IniWriteError;
    // then nothing was written and the pending changes are dropped). CancelUpdate() drops the
    // pending changes of the whole batch, whatever the nesting level.
    void BeginUpdate();
    void EndUpdate();
    void CancelUpdate();
    bool InUpdate() const { return m_updateDepth > 0; }

private:
    const IniDocument& document() const;
    IniDocument& editableDocument();
    void commitIfNotBatched();

    std::string m_fileName;
    struct State;
    std::unique_ptr<State> m_state;
    int m_updateDepth = 0;
};

// A scoped batch: begins an update on construction; Commit() writes it; destruction without
// Commit() drops it (e.g. when an exception leaves the operation early).
class TIniTransaction
{
public:
    explicit TIniTransaction(TExtIniFile& ini);
    ~TIniTransaction();
    TIniTransaction(const TIniTransaction&) = delete;
    TIniTransaction& operator=(const TIniTransaction&) = delete;

    void Commit(); // throws IniWriteError

private:
    TExtIniFile& m_ini;
    bool m_open = true;
};

} // namespace tallyhost
