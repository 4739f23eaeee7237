#include "core/profile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/strtoint.h"

// How malformed files are read. The platform's profile functions are the reference; where they
// are unclear or plainly harmful, the choice is written here.
//
//  * Lines end at CR LF, at LF or at a lone CR, as the platform reads them. Each line keeps its
//    own line end (or none, for a last line without one).
//  * New lines, and lines a write rewrites, take the file's own line end: the first one found
//    in the file, CR LF for a new or empty file (or one without any line end), so editing an
//    LF-only file never mixes CR LF into it. A last line without line end stays without one
//    when it is rewritten, and gets the file's line end when something is appended after it.
//  * Blanks are space, tab, CR, VT, FF and Ctrl-Z (0x1A, an old end-of-file mark); names and
//    values are trimmed of them.
//  * A line whose first non-blank character is ";" is a comment. A line whose first non-blank
//    character is "[" and that contains a "]" opens a section named by the text between the "["
//    and the LAST "]" (so a name containing "]" reads back as written), trimmed; text after the
//    "]" is ignored.
//  * Any other line with an "=" is an entry of the current section: key = text before the first
//    "=", trimmed; value = text after it, trimmed. A non-blank line without "=" (a mistyped
//    heading such as "[broken", a stray word) is neither listed nor read, as with the platform;
//    it stays in the file untouched and a write of that name adds a new key=value line.
//  * Lines before the first section belong to no section: they are never read nor changed.
//    A UTF-8 byte order mark at the start of the file is kept but does not hide the first
//    heading.
//  * Duplicate sections: reads, key listings and writes use the first one. Erasing a section
//    erases every copy, so that an erased section never comes back from a forgotten duplicate
//    (the platform erases only the first, which made the duplicate's stale lines visible).
//  * Duplicate keys: reads and writes use the first one; a key listing names a key once; a key
//    deletion removes every copy in the section (again, so the deleted value cannot reappear).
//  * A zero byte ends a value or name as the platform's C strings do. Other binary bytes are
//    data. Lines of any length are kept; reads are cut to their limit.
//  * A default value loses its trailing spaces, as the platform's does (its first character is
//    always kept, so an all-space default reads as one space).
//  * Key names are listed only when they fit whole in the byte limit (the platform cuts the
//    last name, which would show a command that does not exist); empty names are skipped (the
//    platform's zero-separated list would end at them and hide all later keys).
//  * Writes trim the section and key names, replace CR and LF in names and values by blanks
//    (a raw line break would create lines nobody wrote) and cut them at a zero byte. A replaced
//    key is rewritten as name=value, keeping the spelling of the name in the file.
//  * A write of the value the key already has (the same trimmed text, quotes included: the
//    terminal window's cached reader sees the quotes) changes nothing, so the file is not
//    replaced and keeps its time stamp, as the platform leaves it alone.
//  * A key name that could not be read back (one starting with ";", which makes a comment; one
//    holding "=", which splits elsewhere; one that reads as a section heading) is refused with
//    IniKeyError; the platform writes such a line and then never finds it again.
//  * Saves go through WriteFileAtomically (core/atomicfile.h), which also removes the
//    temporary copies a killed writer left behind.

namespace tallyhost {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view trimmed(std::string_view s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::string_view cutAtZero(std::string_view s)
{
    const auto z = s.find('\0');
    return z == std::string_view::npos ? s : s.substr(0, z);
}

char foldChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z')
        return static_cast<char>(u + 32);
    // Latin-1 capitals À..Þ except the multiplication sign.
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7)
        return static_cast<char>(u + 32);
    return c;
}

enum class LineKind : std::uint8_t
{
    Blank,
    Comment,
    Section,
    Entry,
    Other // a non-blank line without "=": kept, never read nor listed
};
enum class Eol : std::uint8_t
{
    None,
    Lf,
    CrLf,
    Cr
};

std::string_view eolBytes(Eol eol)
{
    switch (eol) {
    case Eol::Lf:
        return "\n";
    case Eol::CrLf:
        return "\r\n";
    case Eol::Cr:
        return "\r";
    case Eol::None:
        break;
    }
    return {};
}

struct Line
{
    std::string text;   // without its line end
    std::string folded; // folded section or key name
    Eol eol = Eol::CrLf;
    LineKind kind = LineKind::Blank;
};

Line parseLine(std::string text, Eol eol)
{
    Line line;
    line.eol = eol;
    const std::string_view t = trimmed(text);
    if (t.empty()) {
        line.kind = LineKind::Blank;
    } else if (t.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (t.front() == '[' && t.find(']') != std::string_view::npos) {
        line.kind = LineKind::Section;
        const auto close = t.rfind(']');
        line.folded = FoldName(trimmed(cutAtZero(t.substr(1, close - 1))));
    } else if (const auto eq = t.find('='); eq != std::string_view::npos) {
        line.kind = LineKind::Entry;
        line.folded = FoldName(trimmed(cutAtZero(t.substr(0, eq))));
    } else {
        line.kind = LineKind::Other;
    }
    line.text = std::move(text);
    return line;
}

// Name of a section line as written (trimmed).
std::string_view sectionNameOf(const Line& line)
{
    const std::string_view t = trimmed(line.text);
    return trimmed(t.substr(1, t.rfind(']') - 1));
}

// Key name of an entry line as written (trimmed, cut at a zero byte).
std::string_view keyNameOf(const Line& line)
{
    const std::string_view t = trimmed(line.text);
    return trimmed(cutAtZero(t.substr(0, t.find('='))));
}

// Value of an entry line; false for a line without "=".
bool valueOf(const Line& line, std::string_view& value)
{
    const std::string_view t = trimmed(line.text);
    const auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return false;
    value = trimmed(t.substr(eq + 1));
    return true;
}

std::string cleanForWrite(std::string_view s)
{
    std::string out(cutAtZero(s));
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

[[noreturn]] void refuse(const std::string& path)
{
    throw IniWriteError(path);
}

bool readWholeFile(const std::string& path, std::string& bytes, bool& missing)
{
    missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT || errno == ENOTDIR;
        return false;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    bytes.clear();
    if (st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

struct FileStamp
{
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
    std::int64_t ctimeSec = 0;
    std::int64_t ctimeNsec = 0;

    bool operator==(const FileStamp&) const = default;

    static FileStamp of(const std::string& path)
    {
        FileStamp s;
        struct stat st
        {
        };
        if (::stat(path.c_str(), &st) != 0)
            return s;
        s.exists = true;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.size = st.st_size;
        s.mtimeSec = st.st_mtim.tv_sec;
        s.mtimeNsec = st.st_mtim.tv_nsec;
        s.ctimeSec = st.st_ctim.tv_sec;
        s.ctimeNsec = st.st_ctim.tv_nsec;
        return s;
    }
};

} // namespace

std::string FoldName(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        c = foldChar(c);
    return out;
}

bool KeyNameReadsBack(std::string_view name)
{
    const std::string_view t = trimmed(cutAtZero(name));
    if (t.find('=') != std::string_view::npos)
        return false;
    if (!t.empty() && t.front() == ';')
        return false;
    return !(!t.empty() && t.front() == '[' && t.find(']') != std::string_view::npos);
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldChar(a[i]) != foldChar(b[i]))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// IniDocument

struct IniDocument::Impl
{
    // A run of lines: blocks[0] holds the lines before the first section, every other block a
    // section heading and the lines up to the next heading. Erased blocks are left empty and
    // marked dead so that the indexes of the others stay valid.
    struct Block
    {
        std::vector<Line> lines;
        std::string folded;
        bool dead = false;
    };
    std::vector<Block> blocks;
    // Folded section name -> live blocks of that name, in file order.
    std::unordered_map<std::string, std::vector<std::size_t>> index;
    // A UTF-8 byte order mark some editors put before the first line: kept, but not taken as
    // part of the first line (it would hide the first section heading).
    std::string bom;
    // The first line end of the file as loaded; None when it had none.
    Eol newline = Eol::None;
    bool modified = false;
    bool readable = true;

    Impl() { blocks.emplace_back(); }

    void parse(std::string_view bytes)
    {
        blocks.clear();
        index.clear();
        blocks.emplace_back();
        bom.clear();
        if (bytes.starts_with(kUtf8Bom)) {
            bom = kUtf8Bom;
            bytes.remove_prefix(kUtf8Bom.size());
        }
        newline = Eol::None;
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            const auto end = FindLineEnd(bytes, pos);
            std::string_view text;
            Eol eol = Eol::None;
            if (end == std::string_view::npos) {
                text = bytes.substr(pos);
                pos = bytes.size();
            } else {
                text = bytes.substr(pos, end - pos);
                pos = end + 1;
                if (bytes[end] == '\n') {
                    eol = Eol::Lf;
                } else if (pos < bytes.size() && bytes[pos] == '\n') {
                    eol = Eol::CrLf;
                    ++pos;
                } else {
                    eol = Eol::Cr;
                }
                if (newline == Eol::None)
                    newline = eol;
            }
            Line line = parseLine(std::string(text), eol);
            if (line.kind == LineKind::Section) {
                Block block;
                block.folded = line.folded;
                index[block.folded].push_back(blocks.size());
                block.lines.push_back(std::move(line));
                blocks.push_back(std::move(block));
            } else {
                blocks.back().lines.push_back(std::move(line));
            }
        }
    }

    std::string bytes() const
    {
        std::size_t total = 0;
        for (const auto& b : blocks) {
            for (const auto& l : b.lines)
                total += l.text.size() + 2;
        }
        std::string out;
        out.reserve(total + bom.size());
        out += bom;
        for (const auto& b : blocks) {
            if (b.dead)
                continue;
            for (const auto& l : b.lines) {
                out += l.text;
                out += eolBytes(l.eol);
            }
        }
        return out;
    }

    // The line end of new and rewritten lines.
    Eol lineEnd() const { return newline == Eol::None ? Eol::CrLf : newline; }

    const Block* findBlock(std::string_view section) const
    {
        const auto it = index.find(FoldName(trimmed(cutAtZero(section))));
        if (it == index.end() || it->second.empty())
            return nullptr;
        return &blocks[it->second.front()];
    }
    Block* findBlock(std::string_view section)
    {
        return const_cast<Block*>(std::as_const(*this).findBlock(section));
    }

    static const Line* findEntry(const Block& block, const std::string& foldedKey)
    {
        for (std::size_t i = 1; i < block.lines.size(); ++i) {
            const Line& l = block.lines[i];
            if (l.kind == LineKind::Entry && l.folded == foldedKey)
                return &l;
        }
        return nullptr;
    }

    // The last line of the file, to give it a line end before anything is appended after it.
    Line* lastLine()
    {
        for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
            if (!it->dead && !it->lines.empty())
                return &it->lines.back();
        }
        return nullptr;
    }
};

IniDocument::IniDocument() : m_impl(std::make_unique<Impl>()) {}
IniDocument::~IniDocument() = default;
IniDocument::IniDocument(const IniDocument& other) : m_impl(std::make_unique<Impl>(*other.m_impl))
{
}
IniDocument& IniDocument::operator=(const IniDocument& other)
{
    if (this != &other)
        m_impl = std::make_unique<Impl>(*other.m_impl);
    return *this;
}
IniDocument::IniDocument(IniDocument&&) noexcept = default;
IniDocument& IniDocument::operator=(IniDocument&&) noexcept = default;

IniDocument IniDocument::FromBytes(std::string_view bytes)
{
    IniDocument doc;
    doc.m_impl->parse(bytes);
    return doc;
}

IniDocument IniDocument::Load(const std::string& path)
{
    RemoveStaleTempFiles(path);
    std::string bytes;
    bool missing = false;
    if (!readWholeFile(path, bytes, missing)) {
        IniDocument doc;
        doc.m_impl->readable = missing;
        return doc;
    }
    return FromBytes(bytes);
}

std::string IniDocument::ToBytes() const
{
    return m_impl->bytes();
}

void IniDocument::Save(const std::string& path) const
{
    if (!m_impl->readable)
        refuse(path);
    WriteFileAtomically(path, m_impl->bytes());
}

std::string IniDocument::ReadRawString(std::string_view section, std::string_view key) const
{
    if (const auto* block = m_impl->findBlock(section)) {
        const Line* line = Impl::findEntry(*block, FoldName(trimmed(cutAtZero(key))));
        std::string_view v;
        if (line && valueOf(*line, v))
            return std::string(trimmed(cutAtZero(v)));
    }
    return {};
}

bool IniDocument::Modified() const
{
    return m_impl->modified;
}

void IniDocument::SetModified(bool modified)
{
    m_impl->modified = modified;
}

bool IniDocument::Readable() const
{
    return m_impl->readable;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t limit) const
{
    std::string_view value = defaultValue;
    bool found = false;
    if (const auto* block = m_impl->findBlock(section)) {
        const Line* line = Impl::findEntry(*block, FoldName(trimmed(cutAtZero(key))));
        std::string_view v;
        if (line && valueOf(*line, v)) {
            found = true;
            value = trimmed(cutAtZero(v));
            // One pair of matching enclosing quotes is dropped.
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front())
                value = value.substr(1, value.size() - 2);
        }
    }
    if (!found) {
        // The platform drops the default's trailing spaces but never its first character.
        while (value.size() > 1 && value.back() == ' ')
            value.remove_suffix(1);
    }
    if (value.size() > limit)
        value = value.substr(0, limit);
    return std::string(value);
}

bool IniDocument::SectionExists(std::string_view section) const
{
    return m_impl->findBlock(section) != nullptr;
}

bool IniDocument::ValueExists(std::string_view section, std::string_view key) const
{
    const auto* block = m_impl->findBlock(section);
    return block && Impl::findEntry(*block, FoldName(trimmed(cutAtZero(key)))) != nullptr;
}

std::vector<std::string> IniDocument::ReadSection(std::string_view section,
                                                  std::size_t byteLimit) const
{
    std::vector<std::string> keys;
    const auto* block = m_impl->findBlock(section);
    if (!block)
        return keys;
    std::unordered_set<std::string> seen;
    std::size_t used = 1; // the list's final zero byte
    for (std::size_t i = 1; i < block->lines.size(); ++i) {
        const Line& l = block->lines[i];
        if (l.kind != LineKind::Entry || l.folded.empty())
            continue;
        if (!seen.insert(l.folded).second)
            continue;
        const std::string_view name = keyNameOf(l);
        if (byteLimit != NoProfileLimit && used + name.size() + 1 > byteLimit)
            break;
        used += name.size() + 1;
        keys.emplace_back(name);
    }
    return keys;
}

std::vector<std::string> IniDocument::ReadSections() const
{
    std::vector<std::string> names;
    for (std::size_t i = 1; i < m_impl->blocks.size(); ++i) {
        const auto& b = m_impl->blocks[i];
        if (b.dead || b.folded.empty())
            continue;
        const auto& where = m_impl->index.at(b.folded);
        if (where.front() == i)
            names.emplace_back(trimmed(cutAtZero(sectionNameOf(b.lines.front()))));
    }
    return names;
}

std::vector<IniLine> IniDocument::Lines() const
{
    std::vector<IniLine> lines;
    int number = 0;
    for (const auto& b : m_impl->blocks) {
        for (const Line& l : b.lines) {
            IniLine out;
            out.Number = ++number;
            out.Text = l.text;
            switch (l.kind) {
            case LineKind::Blank:
                out.Kind = IniLineKind::Blank;
                break;
            case LineKind::Comment:
                out.Kind = IniLineKind::Comment;
                break;
            case LineKind::Section:
                out.Kind = IniLineKind::Section;
                out.Name = trimmed(cutAtZero(sectionNameOf(l)));
                break;
            case LineKind::Entry:
                out.Kind = IniLineKind::Entry;
                out.Name = keyNameOf(l);
                valueOf(l, out.Value);
                break;
            case LineKind::Other:
                out.Kind = IniLineKind::Other;
                break;
            }
            lines.push_back(out);
        }
    }
    return lines;
}

void IniDocument::WriteString(std::string_view section, std::string_view key,
                              std::string_view value)
{
    const std::string sectionName(trimmed(cleanForWrite(section)));
    const std::string keyName(trimmed(cleanForWrite(key)));
    const std::string text = cleanForWrite(value);
    const std::string foldedKey = FoldName(keyName);
    if (!KeyNameReadsBack(keyName))
        throw IniKeyError(keyName);

    Impl& d = *m_impl;
    const Eol eol = d.lineEnd();
    if (auto* block = d.findBlock(sectionName)) {
        std::size_t lastEntry = 0; // the heading
        for (std::size_t i = 1; i < block->lines.size(); ++i) {
            Line& l = block->lines[i];
            if (l.kind != LineKind::Entry)
                continue;
            if (l.folded == foldedKey) {
                std::string_view old;
                valueOf(l, old);
                if (old == trimmed(text))
                    return;
                l.text = std::string(keyNameOf(l)) + "=" + text;
                if (l.eol != Eol::None)
                    l.eol = eol;
                d.modified = true;
                return;
            }
            lastEntry = i;
        }
        // A new key goes right after the section's last entry, before its trailing blank
        // lines and comments, so the blank line that separates sections stays where it was.
        Line& before = block->lines[lastEntry];
        if (before.eol == Eol::None)
            before.eol = eol;
        block->lines.insert(block->lines.begin() + static_cast<std::ptrdiff_t>(lastEntry) + 1,
                            parseLine(keyName + "=" + text, eol));
        d.modified = true;
        return;
    }

    if (Line* last = d.lastLine(); last && last->eol == Eol::None)
        last->eol = eol;
    Impl::Block block;
    block.lines.push_back(parseLine("[" + sectionName + "]", eol));
    block.folded = block.lines.front().folded;
    block.lines.push_back(parseLine(keyName + "=" + text, eol));
    d.index[block.folded].push_back(d.blocks.size());
    d.blocks.push_back(std::move(block));
    d.modified = true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key)
{
    auto* block = m_impl->findBlock(section);
    if (!block)
        return false;
    const std::string foldedKey = FoldName(trimmed(cutAtZero(key)));
    auto& lines = block->lines;
    const auto first = lines.begin() + 1;
    const auto end = std::remove_if(first, lines.end(), [&](const Line& l) {
        return l.kind == LineKind::Entry && l.folded == foldedKey;
    });
    if (end == lines.end())
        return false;
    lines.erase(end, lines.end());
    m_impl->modified = true;
    return true;
}

bool IniDocument::EraseSection(std::string_view section)
{
    const auto it = m_impl->index.find(FoldName(trimmed(cutAtZero(section))));
    if (it == m_impl->index.end())
        return false;
    for (const std::size_t i : it->second) {
        auto& b = m_impl->blocks[i];
        b.dead = true;
        b.lines.clear();
        b.lines.shrink_to_fit();
    }
    m_impl->index.erase(it);
    m_impl->modified = true;
    return true;
}

// ---------------------------------------------------------------------------------------------
// One-shot functions

std::string ProfileReadString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue)
{
    return IniDocument::Load(path).ReadString(section, key, defaultValue, ProfileStringLimit);
}

void ProfileWriteString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value)
{
    IniDocument doc = IniDocument::Load(path);
    doc.WriteString(section, key, value);
    if (doc.Modified())
        doc.Save(path);
}

void ProfileEraseSection(const std::string& path, std::string_view section)
{
    IniDocument doc = IniDocument::Load(path);
    if (doc.EraseSection(section))
        doc.Save(path);
}

void ProfileDeleteKey(const std::string& path, std::string_view section, std::string_view key)
{
    try {
        IniDocument doc = IniDocument::Load(path);
        if (doc.DeleteKey(section, key))
            doc.Save(path);
    } catch (const IniWriteError&) {
        // The platform reports nothing for a failed deletion.
    }
}

std::vector<std::string> ProfileReadSection(const std::string& path, std::string_view section)
{
    return IniDocument::Load(path).ReadSection(section, ProfileKeyListLimit);
}

std::vector<std::string> ProfileReadSections(const std::string& path)
{
    return IniDocument::Load(path).ReadSections();
}

// ---------------------------------------------------------------------------------------------
// TExtIniFile

struct TExtIniFile::State
{
    IniDocument doc;
    FileStamp stamp;
    bool loaded = false;
    bool batchCancelled = false;
    bool batchChecked = false;
};

TExtIniFile::TExtIniFile(std::string fileName)
    : m_fileName(std::move(fileName)), m_state(std::make_unique<State>())
{
}

TExtIniFile::~TExtIniFile() = default;

const IniDocument& TExtIniFile::document() const
{
    State& s = *m_state;
    if (m_updateDepth > 0 && s.loaded)
        return s.doc;
    // Outside a batch the file may have been changed by someone else (an editor dialog with
    // its own reader): reload when its identity, size or times differ.
    const FileStamp now = FileStamp::of(m_fileName);
    if (!s.loaded || !(now == s.stamp)) {
        s.doc = IniDocument::Load(m_fileName);
        s.stamp = now;
        s.loaded = true;
    }
    return s.doc;
}

IniDocument& TExtIniFile::editableDocument()
{
    document();
    if (m_updateDepth > 0 && !m_state->batchChecked) {
        // Refuse early, before the caller does more work for a batch that cannot be written.
        m_state->batchChecked = true;
        if (!m_state->doc.Readable() || !CanReplaceFile(m_fileName))
            refuse(m_fileName);
    }
    return m_state->doc;
}

void TExtIniFile::commitIfNotBatched()
{
    State& s = *m_state;
    if (m_updateDepth > 0 || !s.doc.Modified())
        return;
    try {
        s.doc.Save(m_fileName);
    } catch (...) {
        s.loaded = false; // drop the refused change; the next access reloads the file
        throw;
    }
    s.doc.SetModified(false);
    s.stamp = FileStamp::of(m_fileName);
}

std::string TExtIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const
{
    return document().ReadString(section, key, defaultValue, ExtIniStringLimit);
}

std::string TExtIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t limit) const
{
    return document().ReadString(section, key, defaultValue, limit);
}

std::int32_t TExtIniFile::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t defaultValue) const
{
    return StrToIntDef(ReadString(section, key, {}), defaultValue);
}

std::string TExtIniFile::ReadRawString(std::string_view section, std::string_view key) const
{
    return document().ReadRawString(section, key);
}

std::vector<std::string> TExtIniFile::ReadSection(std::string_view section) const
{
    return document().ReadSection(section, ProfileKeyListLimit);
}

std::vector<std::string> TExtIniFile::ReadSectionAll(std::string_view section) const
{
    return document().ReadSection(section, NoProfileLimit);
}

std::vector<std::string> TExtIniFile::ReadSections() const
{
    return document().ReadSections();
}

bool TExtIniFile::SectionExists(std::string_view section) const
{
    return document().SectionExists(section);
}

bool TExtIniFile::ValueExists(std::string_view section, std::string_view key) const
{
    return document().ValueExists(section, key);
}

void TExtIniFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value)
{
    editableDocument().WriteString(section, key, value);
    commitIfNotBatched();
}

void TExtIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TExtIniFile::EraseSection(std::string_view section)
{
    editableDocument().EraseSection(section);
    commitIfNotBatched();
}

void TExtIniFile::DeleteKey(std::string_view section, std::string_view key)
{
    if (m_updateDepth > 0) {
        editableDocument().DeleteKey(section, key);
        return;
    }
    try {
        editableDocument().DeleteKey(section, key);
        commitIfNotBatched();
    } catch (const IniWriteError&) {
        // A failed deletion is silent, as the platform's.
    }
}

void TExtIniFile::BeginUpdate()
{
    if (m_updateDepth == 0) {
        document(); // the batch works on the file as it is now
        m_state->batchCancelled = false;
        m_state->batchChecked = false;
    }
    ++m_updateDepth;
}

void TExtIniFile::EndUpdate()
{
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth > 0)
        return;
    State& s = *m_state;
    if (s.batchCancelled) {
        s.batchCancelled = false;
        s.loaded = false;
        return;
    }
    commitIfNotBatched();
}

void TExtIniFile::CancelUpdate()
{
    if (m_updateDepth == 0)
        return;
    --m_updateDepth;
    m_state->loaded = false; // pending changes are dropped; the next access reloads
    if (m_updateDepth > 0)
        m_state->batchCancelled = true;
}

TIniTransaction::TIniTransaction(TExtIniFile& ini) : m_ini(ini)
{
    m_ini.BeginUpdate();
}

TIniTransaction::~TIniTransaction()
{
    if (m_open)
        m_ini.CancelUpdate();
}

void TIniTransaction::Commit()
{
    if (!m_open)
        return;
    m_open = false;
    m_ini.EndUpdate();
}

} // namespace tallyhost
