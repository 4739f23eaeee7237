// The File commands of the main window (New, Open, Save As, Close, Exit) and the registration
// of the terminal-file type with the desktop.

#include "app/artwork.h"
#include "app/formmain.h"
#include "app/logreader.h"
#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/profile.h"
#include "core/template.h"
#include "gui/messagebox.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString kFileFilter = QStringLiteral("Tallyhost Files ( *.thf)");
// Open takes test scripts too: a script opens with its catalogue, in the Run script window.
const QString kOpenFilter = kFileFilter + QStringLiteral(";;Test scripts (*.ths)");
const QString kDefaultFileName = QStringLiteral("default.thf");

std::string LocalPath(const QString& fileName)
{
    // The file-system encoding: a path is no file content (/home/josé must work).
    return QFile::encodeName(fileName).toStdString();
}

// Writes `bytes` as the whole content of `path`, replacing it in one step. Returns the error
// text for the operator, or an empty text on success.
QString ReplaceFile(const QString& path, std::string_view bytes)
{
    try {
        tallyhost::WriteFileAtomically(LocalPath(path), bytes);
    } catch (const tallyhost::Error& error) {
        return QString::fromLocal8Bit(error.what());
    }
    return QString();
}

// Copies a terminal file over `target`, replacing it. The target is either the complete copy
// or left as it was.
QString CopyTerminalFile(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("Unable to read %1").arg(QDir::toNativeSeparators(source));
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return QStringLiteral("Unable to read %1").arg(QDir::toNativeSeparators(source));
    return ReplaceFile(target, std::string_view(bytes.constData(), size_t(bytes.size())));
}

// Writes `content` to `path` unless the file already holds exactly that.
bool WriteIfChanged(const QString& path, const QByteArray& content)
{
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == content)
        return false;
    current.close();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(content);
    return file.commit();
}

// The Exec key of a desktop entry: the program quoted as the entry format asks when it holds
// reserved characters, then escaped as a desktop-entry string.
QString DesktopExecProgram(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (QChar c : program)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString quoted;
    if (needsQuotes) {
        quoted = QStringLiteral("\"");
        for (QChar c : program) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        quoted += QLatin1Char('"');
    } else {
        quoted = program;
    }
    // A literal percent sign is written twice; string escaping doubles backslashes.
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return quoted;
}

bool SameExistingFile(const QString& a, const QString& b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (!first.exists() || !second.exists())
        return false;
    return first.canonicalFilePath() == second.canonicalFilePath();
}

// A media type name allows only a few characters; anything else in the class name (a renamed
// executable may hold blanks) becomes a dash.
QString MimeTypeName(const QString& extension, const QString& className)
{
    QString name = QStringLiteral("%1-%2").arg(className.toLower(), extension.toLower());
    for (QChar& c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('.') &&
            c != QLatin1Char('+') && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('-');
    return QStringLiteral("application/x-") + name;
}

QString DataHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

} // namespace

QString TFormMain::DefaultTerminalFilePath() const
{
    QString directory =
        NewFileDirectory.isEmpty() ? QCoreApplication::applicationDirPath() : NewFileDirectory;
    if (!QFileInfo(directory).isWritable()) {
        // An installed program's directory belongs to the system; default.thf then lives
        // with the user's data.
        directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(directory);
    }
    return QDir(directory).filePath(kDefaultFileName);
}

void TFormMain::ActionFileNew()
{
    const QString target = DefaultTerminalFilePath();
    if (TerminalFileOpen())
        CloseTerminalWindows();
    // New starts from a fresh template. A default.thf that differs from it holds the
    // operator's work: it is replaced only when the operator says so; No keeps it as it is and
    // opens it.
    const std::string_view text = tallyhost::DefaultTemplateText();
    bool replace = !text.empty() && text != "0";
    if (replace && QFileInfo::exists(target)) {
        QFile current(target);
        const bool unchanged = current.open(QIODevice::ReadOnly) &&
                               current.readAll() == QByteArray(text.data(), qsizetype(text.size()));
        if (!unchanged)
            replace = ShowMessageBox(
                          this, QMessageBox::Question, QStringLiteral("New terminal file"),
                          QStringLiteral("%1 has changes of its own.\n"
                                         "Replace it with a new terminal file?")
                              .arg(QDir::toNativeSeparators(target)),
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    }
    if (replace) {
        const QString error = ReplaceFile(target, text);
        if (!error.isEmpty())
            ShowErrorBox(this, error);
    }
    // When default.thf had to go to the user's data directory, say where it is.
    if (target.startsWith(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)))
        SetPanelText(0,
                     QStringLiteral("New terminal file: %1").arg(QDir::toNativeSeparators(target)));
    Settings.File = target;
    OpenTerminalFile();
}

void TFormMain::ActionFileOpen()
{
    const QString chosen = UserDialogs().OpenFileName(this, QStringLiteral("Open dialog"),
                                                      QStringLiteral("."), kOpenFilter);
    if (chosen.isEmpty())
        return;
    if (QFileInfo(chosen).suffix() == QLatin1String("ths")) {
        OpenScriptFile(chosen);
        return;
    }
    ReplaceTerminalFile(QFileInfo(chosen).absoluteFilePath());
}

void TFormMain::ActionFileOpenLog()
{
    // A log beside the open terminal file is the likely one; its catalogue names the frames.
    const QString directory =
        TerminalFileOpen() ? QFileInfo(Settings.File).absolutePath() : QStringLiteral(".");
    const QString chosen =
        UserDialogs().OpenFileName(this, QStringLiteral("Open log"), directory,
                                   QStringLiteral("Log files (*.log *.txt);;All files (*)"));
    if (chosen.isEmpty())
        return;
    TFormLogReader::Open(chosen, TerminalFileOpen() ? Settings.File : QString(), this);
}

void TFormMain::ActionFileSaveAs()
{
    if (!Settings.File.isEmpty())
        SaveFileSettings();
    const QString chosen = UserDialogs().SaveFileName(
        this, QStringLiteral("Save as "), QStringLiteral("."), kFileFilter, QStringLiteral("thf"));
    if (chosen.isEmpty())
        return;
    const QString target = QFileInfo(chosen).absoluteFilePath();
    // Choosing the open file again is harmless: there is nothing to copy. Any other failed
    // copy is told, and the operator keeps working on the file that is open.
    if (!SameExistingFile(Settings.File, target)) {
        const QString error = CopyTerminalFile(Settings.File, target);
        if (!error.isEmpty()) {
            ShowErrorBox(this, error);
            return;
        }
    }
    ReplaceTerminalFile(target);
}

void TFormMain::ActionFileClose()
{
    CloseTerminalWindows();
    if (!Settings.File.isEmpty())
        SaveFileSettings();
    UpdateFileActions();
    ScheduleArrangeIcons();
}

QString TFormMain::MimePackagePath(const QString& className) const
{
    return DataHome() + QStringLiteral("/mime/packages/%1.xml").arg(className);
}

QString TFormMain::DesktopEntryPath(const QString& className) const
{
    return DataHome() + QStringLiteral("/applications/%1.desktop").arg(className);
}

void TFormMain::RegisterFileType(const QString& extension, const QString& className)
{
    const QString program = QCoreApplication::applicationFilePath();
    const QString mimeType = MimeTypeName(extension, className);
    const QString dataHome = DataHome();
    if (dataHome.isEmpty())
        return;

    // Test scripts open with the program too (their catalogue and the Run script window); they
    // are text, so editors offer themselves for them as well.
    const QString scriptType = MimeTypeName(QStringLiteral("ths"), className);
    // The globs are case-sensitive, as the command line accepts only lower-case extensions.
    const QByteArray mimePackage =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
            "  <mime-type type=\"%1\">\n"
            "    <comment>Tallyhost terminal file</comment>\n"
            "    <icon name=\"%2\"/>\n"
            "    <glob pattern=\"*.%3\" case-sensitive=\"true\"/>\n"
            "  </mime-type>\n"
            "  <mime-type type=\"%4\">\n"
            "    <comment>Tallyhost test script</comment>\n"
            "    <sub-class-of type=\"text/plain\"/>\n"
            "    <icon name=\"%2\"/>\n"
            "    <glob pattern=\"*.ths\" case-sensitive=\"true\"/>\n"
            "  </mime-type>\n"
            "</mime-info>\n")
            .arg(mimeType, className.toHtmlEscaped(), extension.toHtmlEscaped(), scriptType)
            .toUtf8();
    const QByteArray desktopEntry =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Tallyhost\n"
                       "Comment=Test terminal for fiscal printers\n"
                       "Exec=%1 %f\n"
                       "Icon=%2\n"
                       "MimeType=%3;%4;\n"
                       "Terminal=false\n"
                       "Categories=Development;Utility;\n")
            .arg(DesktopExecProgram(program), className, mimeType, scriptType)
            .toUtf8();

    WriteIfChanged(MimePackagePath(className), mimePackage);
    WriteIfChanged(DesktopEntryPath(className), desktopEntry);
    const QString iconPath =
        dataHome + QStringLiteral("/icons/hicolor/64x64/apps/%1.png").arg(className);
    if (!QFileInfo::exists(iconPath) && QDir().mkpath(QFileInfo(iconPath).absolutePath()))
        artwork::Logo(64).save(iconPath, "PNG");

    // Refresh the desktop's databases in the background; start-up does not wait for them and
    // their absence or failure changes nothing for the program. Test runs write into a
    // throw-away data directory that no desktop reads, so they leave the tools alone.
    if (QStandardPaths::isTestModeEnabled())
        return;
    const QString updateMime =
        QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (!updateMime.isEmpty())
        QProcess::startDetached(updateMime, {dataHome + QStringLiteral("/mime")});
    const QString updateDesktop =
        QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!updateDesktop.isEmpty())
        QProcess::startDetached(updateDesktop, {dataHome + QStringLiteral("/applications")});
}
