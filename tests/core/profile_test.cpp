#include <random>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/profile.h"
#include "tests/core/test_files.h"

using namespace tallyhost;
using tallyhost::testing::readBytes;
using tallyhost::testing::TempDir;
using tallyhost::testing::writeBytes;

namespace {

const std::string kSample = "; header comment \r\n"
                            "[General]\r\n"
                            "  Protocol = 1  \r\n"
                            "Quoted=\"  padded \"\r\n"
                            "Single='x'\r\n"
                            "Mixed=\"x'\r\n"
                            "Lonely=\"\r\n"
                            "NoEquals\r\n"
                            "\r\n"
                            "[Groups]\r\n"
                            "Daily=\r\n"
                            "; trailing comment\r\n"
                            "\r\n";

} // namespace

TEST(IniDocumentRead, NamesIgnoreCaseAndValuesAreTrimmedAndUnquoted)
{
    const IniDocument doc = IniDocument::FromBytes(kSample);
    EXPECT_EQ(doc.ReadString("general", "PROTOCOL", "d"), "1");
    EXPECT_EQ(doc.ReadString(" General ", " Protocol ", "d"), "1");
    EXPECT_EQ(doc.ReadString("General", "Quoted", "d"), "  padded ");
    EXPECT_EQ(doc.ReadString("General", "Single", "d"), "x");
    EXPECT_EQ(doc.ReadString("General", "Mixed", "d"), "\"x'");
    EXPECT_EQ(doc.ReadString("General", "Lonely", "d"), "\"");
    // A line without "=" is no key: neither listed nor read.
    EXPECT_EQ(doc.ReadString("General", "NoEquals", "d"), "d");
    EXPECT_FALSE(doc.ValueExists("General", "noequals"));
    EXPECT_EQ(doc.ReadString("General", "Missing", "d"), "d");
    EXPECT_EQ(doc.ReadString("Nowhere", "Protocol", "d"), "d");
    EXPECT_EQ(doc.ReadSection("GENERAL"),
              (std::vector<std::string>{"Protocol", "Quoted", "Single", "Mixed", "Lonely"}));
    EXPECT_EQ(doc.ReadSections(), (std::vector<std::string>{"General", "Groups"}));
}

TEST(IniDocumentRead, LimitsCutLongValuesAndKeyListings)
{
    const std::string longValue(10000, 'v');
    const IniDocument doc = IniDocument::FromBytes("[S]\r\nK=\"" + longValue + "\"\r\n");
    EXPECT_EQ(doc.ReadString("S", "K", "").size(), ProfileStringLimit);
    EXPECT_EQ(doc.ReadString("S", "K", "", ExtIniStringLimit).size(), 8191u);
    EXPECT_EQ(doc.ReadString("S", "K", "", NoProfileLimit), longValue);

    // 100 names of 162 bytes take 100 * 163 + 1 = 16301 bytes; a 101st of 82 bytes would
    // need 16384 exactly, one of 83 bytes does not fit and is not listed, not even cut.
    std::string text = "[S]\r\n";
    for (int i = 0; i < 100; ++i)
        text += std::string(159, 'k') + std::to_string(100 + i) + "=\r\n";
    const std::string fits(82, 'f');
    const std::string tooLong(83, 't');
    EXPECT_EQ(IniDocument::FromBytes(text + fits + "=\r\n").ReadSection("S").size(), 101u);
    const auto cut = IniDocument::FromBytes(text + tooLong + "=\r\nx=\r\n").ReadSection("S");
    EXPECT_EQ(cut.size(), 100u);
    EXPECT_EQ(
        IniDocument::FromBytes(text + tooLong + "=\r\n").ReadSection("S", NoProfileLimit).size(),
        101u);
}

TEST(IniDocumentRead, MalformedLinesHaveDocumentedOutcomes)
{
    static const char raw[] = "Orphan=before any section\r\n"
                              "[A]\r\n"
                              "k=first\r\n"
                              "K=second\r\n"
                              "=no name\r\n"
                              "[Broken\r\n"
                              "after=broken\r\n"
                              "[A]\r\n"
                              "k=third\r\n"
                              "only=in duplicate\r\n"
                              "  [B] ; comment after the heading\r\n"
                              "z=\"with\0zero\"\r\n"
                              "[C]\n"
                              "lf=only";
    const IniDocument doc = IniDocument::FromBytes(std::string(raw, sizeof raw - 1));
    EXPECT_EQ(doc.ReadString("", "Orphan", "none"), "none");
    EXPECT_EQ(doc.ReadString("A", "k", ""), "first");
    // The "[Broken" line without "]" is an ordinary line of [A].
    EXPECT_EQ(doc.ReadString("A", "after", ""), "broken");
    EXPECT_EQ(doc.ReadString("A", "only", "dup"), "dup");
    EXPECT_EQ(doc.ReadSection("A"), (std::vector<std::string>{"k", "after"}));
    EXPECT_EQ(doc.ReadString("B", "z", ""), "\"with");
    EXPECT_EQ(doc.ReadString("C", "lf", ""), "only");
    EXPECT_EQ(doc.ReadSections(), (std::vector<std::string>{"A", "B", "C"}));
}

TEST(IniDocumentRead, ByteOrderMarkDoesNotHideTheFirstSection)
{
    IniDocument doc = IniDocument::FromBytes("\xEF\xBB\xBF[General]\r\nProtocol=1\r\n");
    EXPECT_EQ(doc.ReadString("General", "Protocol", ""), "1");
    doc.WriteString("General", "Protocol", "0");
    EXPECT_EQ(doc.ToBytes(), "\xEF\xBB\xBF[General]\r\nProtocol=0\r\n");
}

TEST(IniDocumentRead, AnyBytesRoundTripUnchanged)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    const char alphabet[] = "[]=;\"' \r\n\tab\x1a";
    for (int round = 0; round < 200; ++round) {
        std::string bytes;
        const int length = round * 7;
        for (int i = 0; i < length; ++i) {
            bytes += (i % 3 == 0)
                         ? static_cast<char>(byte(rng))
                         : alphabet[static_cast<std::size_t>(byte(rng)) % (sizeof alphabet - 1)];
        }
        EXPECT_EQ(IniDocument::FromBytes(bytes).ToBytes(), bytes) << "round " << round;
    }
    const std::string huge = "[S]\r\nK=" + std::string(10 * 1024 * 1024, 'x') + "\r\n";
    const IniDocument doc = IniDocument::FromBytes(huge);
    EXPECT_EQ(doc.ReadString("S", "K", "").size(), ProfileStringLimit);
    EXPECT_EQ(doc.ToBytes(), huge);
}

TEST(IniDocumentWrite, EditsTouchOnlyTheirLines)
{
    IniDocument doc = IniDocument::FromBytes(kSample);
    doc.WriteString("GENERAL", "protocol", "0");
    doc.WriteString("Groups", "Weekly", "");
    doc.WriteString("General", "InputDateFormat", "3");
    doc.WriteString("Daily", "Open", "");
    EXPECT_EQ(doc.ToBytes(), "; header comment \r\n"
                             "[General]\r\n"
                             "Protocol=0\r\n"
                             "Quoted=\"  padded \"\r\n"
                             "Single='x'\r\n"
                             "Mixed=\"x'\r\n"
                             "Lonely=\"\r\n"
                             "InputDateFormat=3\r\n"
                             "NoEquals\r\n"
                             "\r\n"
                             "[Groups]\r\n"
                             "Daily=\r\n"
                             "Weekly=\r\n"
                             "; trailing comment\r\n"
                             "\r\n"
                             "[Daily]\r\n"
                             "Open=\r\n");
    // Writing the name of a line without "=" adds a key; the odd line stays as it was.
    doc.WriteString("General", "NoEquals", "now");
    EXPECT_EQ(doc.ReadString("General", "NoEquals", ""), "now");
    EXPECT_NE(doc.ToBytes().find("InputDateFormat=3\r\nNoEquals=now\r\nNoEquals\r\n"),
              std::string::npos);
}

TEST(IniDocumentWrite, LineEndsOfUntouchedLinesAndMissingFinalLineEnd)
{
    // A mixed file: new lines take its first line end, untouched lines keep theirs.
    IniDocument doc = IniDocument::FromBytes("[A]\nx=1\n[B]\r\n[C]");
    doc.WriteString("B", "y", "2");
    doc.WriteString("C", "z", "3");
    EXPECT_EQ(doc.ToBytes(), "[A]\nx=1\n[B]\r\ny=2\n[C]\nz=3\n");

    IniDocument tail = IniDocument::FromBytes("[A]\r\nx=1");
    tail.WriteString("A", "x", "2");
    EXPECT_EQ(tail.ToBytes(), "[A]\r\nx=2");
    tail.WriteString("New", "k", "v");
    EXPECT_EQ(tail.ToBytes(), "[A]\r\nx=2\r\n[New]\r\nk=v\r\n");
}

TEST(IniDocumentWrite, LineBreaksInValuesCannotInjectLines)
{
    IniDocument doc;
    doc.WriteString("S", "K", "a\r\n[Evil]\r\nx=1");
    EXPECT_EQ(doc.ToBytes(), "[S]\r\nK=a  [Evil]  x=1\r\n");
    EXPECT_FALSE(doc.SectionExists("Evil"));
}

TEST(IniDocumentWrite, DeleteAndEraseRemoveEveryCopy)
{
    IniDocument doc =
        IniDocument::FromBytes("[A]\r\nk=1\r\nj=2\r\nK=3\r\n\r\n[B]\r\nb=1\r\n[a]\r\nk=4\r\n");
    EXPECT_TRUE(doc.DeleteKey("A", "k"));
    EXPECT_EQ(doc.ToBytes(), "[A]\r\nj=2\r\n\r\n[B]\r\nb=1\r\n[a]\r\nk=4\r\n");
    EXPECT_FALSE(doc.DeleteKey("A", "k"));
    EXPECT_TRUE(doc.EraseSection("A"));
    EXPECT_EQ(doc.ToBytes(), "[B]\r\nb=1\r\n");
    EXPECT_FALSE(doc.SectionExists("a"));
    doc.WriteString("A", "k", "5");
    EXPECT_EQ(doc.ToBytes(), "[B]\r\nb=1\r\n[A]\r\nk=5\r\n");
}

TEST(ProfileFile, FirstWriteCreatesFileAndSavesKeepPermissionsAndLinks)
{
    TempDir dir;
    const std::string path = dir.file("new.thf");
    ProfileWriteString(path, "General", "Protocol", "1");
    EXPECT_EQ(readBytes(path), "[General]\r\nProtocol=1\r\n");
    EXPECT_EQ(ProfileReadString(path, "general", "protocol", ""), "1");

    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const std::string link = dir.file("link.thf");
    ASSERT_EQ(::symlink("new.thf", link.c_str()), 0);
    ProfileWriteString(link, "General", "Protocol", "0");
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readBytes(path), "[General]\r\nProtocol=0\r\n");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(ProfileFile, BatchWritesOnceAndEqualsSingleWrites)
{
    TempDir dir;
    const std::string single = dir.file("single.thf");
    const std::string batched = dir.file("batched.thf");
    const std::string start = "; keep me \r\n[Groups]\r\nA=\r\n\r\n[A]\r\nx=\r\n";
    writeBytes(single, start);
    writeBytes(batched, start);

    auto operation = [](auto write, auto erase, auto del) {
        for (int i = 0; i < 40; ++i) {
            write("B", "cmd" + std::to_string(i), "");
            write("Bcmd" + std::to_string(i), "Commands", "0,\"C\",\"H\",0,\"\",0,0,0,0,0,0,0");
        }
        write("Groups", "B", "");
        erase("A");
        del("Groups", "A");
    };
    operation([&](const std::string& s, const std::string& k,
                  const std::string& v) { ProfileWriteString(single, s, k, v); },
              [&](const std::string& s) { ProfileEraseSection(single, s); },
              [&](const std::string& s, const std::string& k) { ProfileDeleteKey(single, s, k); });

    TExtIniFile ini(batched);
    {
        TIniTransaction batch(ini);
        operation([&](const std::string& s, const std::string& k,
                      const std::string& v) { ini.WriteString(s, k, v); },
                  [&](const std::string& s) { ini.EraseSection(s); },
                  [&](const std::string& s, const std::string& k) { ini.DeleteKey(s, k); });
        // Nothing reached the disk yet, and reads see the pending state.
        EXPECT_EQ(readBytes(batched), start);
        EXPECT_EQ(ini.ReadSection("B").size(), 40u);
        EXPECT_FALSE(ini.SectionExists("A"));
        batch.Commit();
    }
    EXPECT_EQ(readBytes(batched), readBytes(single));
    EXPECT_NE(readBytes(batched), start);
}

TEST(ProfileFile, AbandonedBatchWritesNothing)
{
    TempDir dir;
    const std::string path = dir.file("t.thf");
    writeBytes(path, "[S]\r\nk=1\r\n");
    TExtIniFile ini(path);
    try {
        TIniTransaction outer(ini);
        ini.WriteString("S", "k", "2");
        {
            TIniTransaction inner(ini);
            ini.WriteString("S", "j", "3");
            inner.Commit();
        }
        throw std::runtime_error("operation fails half-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(readBytes(path), "[S]\r\nk=1\r\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "1");
    EXPECT_FALSE(ini.ValueExists("S", "j"));
}

TEST(ProfileFile, ReaderSeesChangesMadeByAnotherWriter)
{
    TempDir dir;
    const std::string path = dir.file("t.thf");
    writeBytes(path, "[S]\r\nk=1\r\n");
    TExtIniFile reader(path);
    EXPECT_EQ(reader.ReadInteger("S", "k", -1), 1);
    TExtIniFile writer(path);
    writer.WriteInteger("S", "k", 22);
    EXPECT_EQ(reader.ReadInteger("S", "k", -1), 22);
    EXPECT_EQ(reader.ReadInteger("S", "missing", -1), -1);
    writer.WriteString("S", "hex", "$1F");
    EXPECT_EQ(reader.ReadInteger("S", "hex", -1), 31);
}

TEST(ProfileFile, ReadOnlyFileRefusesWritesAndStaysUntouched)
{
    TempDir dir;
    const std::string path = dir.file("ro.thf");
    const std::string original = "[S]\r\nk=1\r\n";
    writeBytes(path, original);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);

    try {
        ProfileWriteString(path, "S", "k", "2");
        FAIL() << "write to a read-only file succeeded";
    } catch (const IniWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
        EXPECT_EQ(e.path(), path);
    }
    EXPECT_THROW(ProfileEraseSection(path, "S"), IniWriteError);
    EXPECT_NO_THROW(ProfileDeleteKey(path, "S", "k"));

    TExtIniFile ini(path);
    EXPECT_THROW(ini.WriteString("S", "k", "2"), IniWriteError);
    EXPECT_EQ(ini.ReadString("S", "k", ""), "1"); // the refused change was dropped
    ini.BeginUpdate();
    EXPECT_THROW(ini.WriteString("S", "x", "2"), IniWriteError); // refused at once in a batch
    ini.CancelUpdate();
    EXPECT_EQ(readBytes(path), original);
}

TEST(ProfileFile, UnwritableOrUnreadableLocationsRefuseWrites)
{
    TempDir dir;
    EXPECT_THROW(ProfileWriteString(dir.file("missing/dir/t.thf"), "S", "k", "v"), IniWriteError);
    // A directory where the file should be cannot be read; it must never be "saved" over.
    const std::string asDir = dir.file("folder.thf");
    std::filesystem::create_directory(asDir);
    EXPECT_THROW(ProfileWriteString(asDir, "S", "k", "v"), IniWriteError);
    EXPECT_TRUE(std::filesystem::is_directory(asDir));
}

TEST(ProfileFile, ReadOnlyDirectoryRefusesWrites)
{
    TempDir dir;
    const std::string sub = dir.file("ro");
    std::filesystem::create_directory(sub);
    const std::string path = sub + "/t.thf";
    const std::string original = "[S]\r\nk=1\r\n";
    writeBytes(path, original);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(sub.c_str(), 0555), 0);

    // Root ignores permission bits, so as root the write runs in a child process that has
    // dropped to the unprivileged user "nobody" (65534).
    auto attempt = [&]() -> int {
        try {
            ProfileWriteString(path, "S", "k", "2");
            return 1;
        } catch (const IniWriteError&) {
            return 0;
        }
    };
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            ::_exit(attempt());
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 2) << "could not drop privileges";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "write into a read-only directory succeeded";
    } else {
        EXPECT_EQ(attempt(), 0);
    }
    EXPECT_EQ(readBytes(path), original);
}

TEST(IniDocumentLines, LoneCrEndsALineAndRoundTrips)
{
    const std::string bytes = "[S]\rk=1\rj=2\r\n\r\rl=3";
    IniDocument doc = IniDocument::FromBytes(bytes);
    EXPECT_EQ(doc.ReadString("S", "k", ""), "1");
    EXPECT_EQ(doc.ReadString("S", "j", ""), "2");
    EXPECT_EQ(doc.ReadString("S", "l", ""), "3");
    EXPECT_EQ(doc.ReadSection("S"), (std::vector<std::string>{"k", "j", "l"}));
    EXPECT_EQ(doc.ToBytes(), bytes);
    // The file's first line end is a lone CR: new lines end with CR too.
    doc.WriteString("S", "k", "9");
    doc.WriteString("T", "m", "4");
    EXPECT_EQ(doc.ToBytes(), "[S]\rk=9\rj=2\r\n\r\rl=3\r[T]\rm=4\r");
}

TEST(IniDocumentLines, NewAndRewrittenLinesTakeTheFilesOwnLineEnd)
{
    IniDocument lf = IniDocument::FromBytes("; made on Linux\n[General]\nProtocol=0\n\n[Groups]\n");
    lf.WriteString("General", "Protocol", "1");
    lf.WriteString("General", "InputDateFormat", "2");
    lf.WriteString("Groups", "Daily", "");
    lf.WriteString("Daily", "Open", "");
    EXPECT_EQ(lf.ToBytes(), "; made on Linux\n[General]\nProtocol=1\nInputDateFormat=2\n\n"
                            "[Groups]\nDaily=\n[Daily]\nOpen=\n");

    // A CR LF line rewritten in a file whose first line end is LF becomes LF.
    IniDocument mixed = IniDocument::FromBytes("[A]\nx=1\r\ny=2\r\n");
    mixed.WriteString("A", "x", "3");
    EXPECT_EQ(mixed.ToBytes(), "[A]\nx=3\ny=2\r\n");

    // New and empty files, and a file without any line end, get CR LF.
    IniDocument fresh;
    fresh.WriteString("S", "k", "v");
    EXPECT_EQ(fresh.ToBytes(), "[S]\r\nk=v\r\n");
    IniDocument oneLine = IniDocument::FromBytes("[S]");
    oneLine.WriteString("S", "k", "v");
    EXPECT_EQ(oneLine.ToBytes(), "[S]\r\nk=v\r\n");
}

TEST(IniDocumentLines, MistypedHeadingIsNeitherSectionNorKey)
{
    IniDocument doc = IniDocument::FromBytes("[Groups]\r\nDaily=\r\n[broken\r\nWeekly=\r\n"
                                             "stray words\r\n");
    EXPECT_EQ(doc.ReadSection("Groups"), (std::vector<std::string>{"Daily", "Weekly"}));
    EXPECT_FALSE(doc.ValueExists("Groups", "[broken"));
    EXPECT_FALSE(doc.DeleteKey("Groups", "stray words"));
    doc.WriteString("Groups", "Monthly", "");
    EXPECT_EQ(doc.ToBytes(),
              "[Groups]\r\nDaily=\r\n[broken\r\nWeekly=\r\nMonthly=\r\nstray words\r\n");
}

TEST(IniDocumentRead, DefaultLosesTrailingSpacesOnly)
{
    const IniDocument doc = IniDocument::FromBytes("[S]\r\nk=v  \r\n");
    EXPECT_EQ(doc.ReadString("S", "missing", "def  "), "def");
    EXPECT_EQ(doc.ReadString("S", "missing", "  def\t"), "  def\t");
    EXPECT_EQ(doc.ReadString("S", "missing", "   "), " ");
    EXPECT_EQ(doc.ReadString("S", "missing", ""), "");
    EXPECT_EQ(doc.ReadString("S", "k", "def  "), "v");
}

TEST(IniDocumentWrite, KeyNamesThatCannotBeReadBackAreRefused)
{
    const std::string start = "[S]\r\nk=1\r\n";
    IniDocument doc = IniDocument::FromBytes(start);
    for (const std::string bad : {";Open", "  ;x", "a=b", "=", "[x]", " [Daily] "}) {
        try {
            doc.WriteString("S", bad, "v");
            ADD_FAILURE() << "wrote key '" << bad << "'";
        } catch (const IniKeyError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(e.name()) + "' is not a valid key name");
        }
    }
    EXPECT_FALSE(doc.Modified());
    EXPECT_EQ(doc.ToBytes(), start);
    // A "[" without "]" or a ";" later in the name reads back, so it is written.
    doc.WriteString("S", "[open", "1");
    doc.WriteString("S", "a;b", "2");
    EXPECT_EQ(doc.ReadString("S", "[open", ""), "1");
    EXPECT_EQ(doc.ReadString("S", "a;b", ""), "2");

    TempDir dir;
    const std::string path = dir.file("t.thf");
    writeBytes(path, start);
    TExtIniFile ini(path);
    EXPECT_THROW(ini.WriteString("S", ";k", "v"), IniKeyError);
    EXPECT_EQ(readBytes(path), start);
}

namespace {

struct FileId
{
    ino_t ino = 0;
    timespec mtime{};
};

FileId idOf(const std::string& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return {st.st_ino, st.st_mtim};
}

void expectSameFile(const FileId& a, const FileId& b)
{
    EXPECT_EQ(a.ino, b.ino);
    EXPECT_EQ(a.mtime.tv_sec, b.mtime.tv_sec);
    EXPECT_EQ(a.mtime.tv_nsec, b.mtime.tv_nsec);
}

// A PID that no longer runs: a child that has exited and been reaped.
pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

} // namespace

TEST(ProfileFile, WritingTheValueAKeyHasLeavesTheFileAlone)
{
    TempDir dir;
    const std::string path = dir.file("t.thf");
    const std::string start = "[S]\r\n  Key = value  \r\nCL1=\"1,2\"\r\n";
    writeBytes(path, start);
    // The file's time stamp must be able to change between the writes.
    timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
    const FileId before = idOf(path);

    ProfileWriteString(path, "s", "KEY", "value");
    ProfileWriteString(path, "S", "Key", " value ");
    TExtIniFile ini(path);
    ini.WriteString("S", "CL1", "\"1,2\"");
    {
        TIniTransaction batch(ini);
        ini.WriteString("S", "Key", "value");
        batch.Commit();
    }
    EXPECT_EQ(readBytes(path), start);
    expectSameFile(idOf(path), before);

    // Quotes are part of the value as the terminal window reads it: not the same value.
    ini.WriteString("S", "CL1", "1,2");
    EXPECT_EQ(readBytes(path), "[S]\r\n  Key = value  \r\nCL1=1,2\r\n");
    EXPECT_NE(idOf(path).ino, before.ino);
}

TEST(ProfileFile, StaleTemporaryCopiesOfDeadWritersAreRemoved)
{
    TempDir dir;
    const std::string path = dir.file("cat.thf");
    writeBytes(path, "[S]\r\nk=1\r\n");
    const std::string dead = std::to_string(deadPid());
    const std::string stale = dir.file(".cat.thf.tmp" + dead + "_3_123456");
    const std::string staleToo = dir.file(".cat.thf.tmp" + dead + "_4_7");
    const std::string ours = dir.file(".cat.thf.tmp" + std::to_string(::getpid()) + "_1_1");
    const std::string parents = dir.file(".cat.thf.tmp" + std::to_string(::getppid()) + "_1_1");
    const std::string locked = dir.file(".cat.thf.tmp" + dead + "_5_5");
    // Names that only look alike: another file's copy, other suffixes, a directory.
    const std::string others[] = {
        dir.file(".other.thf.tmp" + dead + "_3_123456"), dir.file(".cat.thf.tmp" + dead),
        dir.file(".cat.thf.tmp" + dead + "_3_1x"),       dir.file("cat.thf.tmp" + dead + "_3_1"),
        dir.file(".cat.thf.tmp" + dead + "_3_1.bak"),
    };
    for (const auto& f : {stale, staleToo, ours, parents, locked})
        writeBytes(f, "copy");
    for (const auto& f : others)
        writeBytes(f, "other");
    const std::string asDir = dir.file(".cat.thf.tmp" + dead + "_6_6");
    std::filesystem::create_directory(asDir);
    // A writer elsewhere (another machine on a shared folder) is seen only by its lock.
    const int lockFd = ::open(locked.c_str(), O_RDONLY);
    ASSERT_GE(lockFd, 0);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);

    EXPECT_EQ(IniDocument::Load(path).ReadString("S", "k", ""), "1");
    EXPECT_FALSE(tallyhost::testing::exists(stale));
    EXPECT_FALSE(tallyhost::testing::exists(staleToo));
    for (const auto& f : {ours, parents, locked, asDir})
        EXPECT_TRUE(tallyhost::testing::exists(f)) << f;
    for (const auto& f : others)
        EXPECT_EQ(readBytes(f), "other") << f;

    // Once its writer lets go, the next save removes it.
    ::close(lockFd);
    ProfileWriteString(path, "S", "k", "2");
    EXPECT_FALSE(tallyhost::testing::exists(locked));
    EXPECT_TRUE(tallyhost::testing::exists(ours));
    EXPECT_EQ(readBytes(path), "[S]\r\nk=2\r\n");
}
