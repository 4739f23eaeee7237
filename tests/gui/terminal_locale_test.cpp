// The command panel as the operator sees it in the locales the program meets: the time picker
// shows what the frame will carry, typed values convert the same everywhere, and read-only
// values stay legible.

#include "core/colors.h"
#include "core/fieldconvert.h"
#include "editors/fieldtypecombobox.h"
#include "terminal_testhost.h"
#include "terminal_testutil.h"

#include <QApplication>
#include <QDateEdit>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimeEdit>

using namespace tallyhost;

namespace {

QByteArray Field(const char* caption, int textType, const char* defaultText, int controlType,
                 int readOnly = 0, int minLength = 0, int decimals = 0)
{
    return QByteArray("0,\"") + caption + "\",\"\"," + QByteArray::number(textType) + ",\"" +
           defaultText + "\"," + QByteArray::number(controlType) + ",0,0," +
           QByteArray::number(readOnly) + "," + QByteArray::number(minLength) + "," +
           QByteArray::number(decimals) + ",0";
}

// The default locale for the widgets made while it lives; the previous one comes back after.
class DefaultLocale
{
public:
    explicit DefaultLocale(const QString& name) { QLocale::setDefault(QLocale(name)); }
    ~DefaultLocale() { QLocale::setDefault(m_previous); }
    DefaultLocale(const DefaultLocale&) = delete;
    DefaultLocale& operator=(const DefaultLocale&) = delete;

private:
    QLocale m_previous;
};

QString Digits(QString text)
{
    return text.remove(QLatin1Char(':'));
}

} // namespace

// Names the locale in CTest's list instead of dumping the QString's bytes.
static void PrintTo(const QString& text, std::ostream* out)
{
    *out << text.toStdString();
}

class TerminalLocaleTest : public TerminalWindowTest, public ::testing::WithParamInterface<QString>
{
};

TEST_P(TerminalLocaleTest, TimePickerShowsWhatTheFrameCarries)
{
    const DefaultLocale locale(GetParam());
    WriteFile("[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\nCommands=" + Field("&Hour", 9, "", 4) + "," +
              Field("&Day", 8, "", 3) + "," + Field("&Amount", 2, "", 0, 0, 8, 2) +
              "\r\nAnswers=\r\n");
    auto& w = Open();
    Select(Node({"G", "C"}));
    auto* time = qobject_cast<QTimeEdit*>(w.FieldInputs[0]);
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->locale().name().toStdString(), QLocale(GetParam()).name().toStdString());

    // What the picker shows, seconds included, is what goes into the frame.
    const QLineEdit* shown = time->findChild<QLineEdit*>();
    ASSERT_NE(shown, nullptr);
    const QTime now = time->time();
    EXPECT_EQ(shown->text().toStdString(), now.toString(QStringLiteral("HH:mm:ss")).toStdString());
    FieldInput input;
    input.Time = FrameTime{now.hour(), now.minute(), now.second()};
    EXPECT_EQ(ConvertField(w.Definition.Fields[0], input, 0, 0),
              Digits(shown->text()).toStdString());

    // The operator steps the seconds, the last section of the picker, with the arrow key.
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    time->setTime(QTime(10, 30, 17));
    time->setFocus();
    QTest::keyClick(time, Qt::Key_End);
    QTest::keyClick(time, Qt::Key_Up);
    QTest::keyClick(time, Qt::Key_Up);
    EXPECT_EQ(shown->text().toStdString(), "10:30:19");
    EXPECT_EQ(time->time(), QTime(10, 30, 19));
    const QTime stepped = time->time();
    input.Time = FrameTime{stepped.hour(), stepped.minute(), stepped.second()};
    EXPECT_EQ(ConvertField(w.Definition.Fields[0], input, 0, 0), "103019");

    // A currency amount typed with either separator converts the same in every locale.
    auto* amount = qobject_cast<TFieldTypeComboBox*>(w.FieldInputs[2]);
    ASSERT_NE(amount, nullptr);
    amount->setFocus();
    QTest::keyClicks(amount, QStringLiteral("12,5"));
    input = FieldInput{};
    input.Text = amount->text().toStdString();
    EXPECT_EQ(ConvertField(w.Definition.Fields[2], input, 0, 0), "00001250");
    EXPECT_EQ(qobject_cast<QDateEdit*>(w.FieldInputs[1])->date(), QDate::currentDate());
}

INSTANTIATE_TEST_SUITE_P(Locales, TerminalLocaleTest,
                         ::testing::Values(QStringLiteral("C"), QStringLiteral("de_DE"),
                                           QStringLiteral("en_US")),
                         [](const auto& info) {
                             QString name = info.param;
                             return name.remove(QLatin1Char('_')).toStdString();
                         });

// A read-only field is drawn in the inactive-caption-text colour, and its value can be read:
// the text stands out from the field's background, in the palette and on the screen.
TEST_F(TerminalWindowTest, ReadOnlyValuesAreDrawnLegibly)
{
    WriteFile(
        "[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\nCommands=" + Field("&Fixed", 0, "WWWWWW", 0, 1) +
        "," + Field("&Free", 0, "WWWWWW", 0) + "\r\nAnswers=\r\n");
    auto& w = Open();
    Select(Node({"G", "C"}));
    auto* fixed = qobject_cast<TFieldTypeComboBox*>(w.FieldInputs[0]);
    ASSERT_NE(fixed, nullptr);
    EXPECT_FALSE(fixed->isEnabled());
    ASSERT_TRUE(fixed->lineEdit());

    const QPalette pal = fixed->lineEdit()->palette();
    const QColor text = pal.color(QPalette::Disabled, QPalette::Text);
    const QColor base = pal.color(QPalette::Disabled, QPalette::Base);
    TColor caption = 0;
    ASSERT_TRUE(IdentToColor("clInactiveCaptionText", caption));
    const TRgb expected = ColorToRgbParts(caption);
    EXPECT_EQ(text, QColor(expected.Red, expected.Green, expected.Blue));
    auto rgb = [](const QColor& c) {
        return TRgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                    static_cast<std::uint8_t>(c.blue())};
    };
    EXPECT_GE(ContrastRatio(rgb(text), rgb(base)), 4.5);

    // On the screen: the value's glyphs are as dark as an enabled field's, not faded.
    auto darkest = [](QWidget* widget) {
        const QImage image = widget->grab().toImage();
        int least = 255;
        for (int y = 3; y < image.height() - 3; ++y) {
            for (int x = 3; x < image.width() - 3; ++x)
                least = std::min(least, qGray(image.pixel(x, y)));
        }
        return least;
    };
    const int fixedDarkest = darkest(fixed->lineEdit());
    const int freeDarkest =
        darkest(qobject_cast<TFieldTypeComboBox*>(w.FieldInputs[1])->lineEdit());
    EXPECT_LE(fixedDarkest, freeDarkest + 40)
        << "read-only " << fixedDarkest << ", editable " << freeDarkest;
}

// The long hints of the window's own controls reach panel 0 of whichever window hosts it.
TEST_F(TerminalWindowTest, LongHintsGoToTheHostsPanelZero)
{
    WriteFile("[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\nCommands=" + Field("&Name", 0, "", 0) +
              "\r\nAnswers=\r\n");
    TTestTerminalHost host;
    TFormChildTerminalWindow w(m_path, &host);
    w.resize(800, 500);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::mouseMove(w.TreeViewCommand->viewport(), QPoint(2, 2));
    QTest::mouseMove(w.ButtonCancel, QPoint(5, 5));
    EXPECT_EQ(host.Panels[0].toStdString(), "Cancel command in progress");
    QTest::mouseMove(w.ButtonSend, QPoint(5, 5));
    EXPECT_EQ(host.Panels[0].toStdString(), "Send selected command");
}
