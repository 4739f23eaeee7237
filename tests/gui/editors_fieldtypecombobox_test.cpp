#include "editors/fieldtypecombobox.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tallyhost;

namespace {

// Pastes through the clipboard and Ctrl+V, the way an operator does.
void Paste(TFieldTypeComboBox& box, const QString& text)
{
    box.lineEdit()->clear();
    QApplication::clipboard()->setText(text);
    QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
}

} // namespace

TEST(FieldTypeComboBox, CurrencyTakesOneTypedSeparatorButChecksPastedTextByCharacter)
{
    TFieldTypeComboBox box;
    box.SetFieldType(ftdCurrency);
    QTest::keyClicks(&box, "12.5");
    EXPECT_EQ(box.text(), "12.5");
    QTest::keyClicks(&box, ",");
    EXPECT_EQ(box.text(), "12.5");
    QTest::keyClicks(&box, "x");
    EXPECT_EQ(box.text(), "12.5");

    Paste(box, "1,2.3");
    EXPECT_EQ(box.text(), "1,2.3");
    Paste(box, "12a");
    EXPECT_EQ(box.text(), "");
}

TEST(FieldTypeComboBox, DigitOnlyTypesRefuseSeparatorsAndLetters)
{
    for (const TFldType type : {ftdDecimal, ftdNumerical}) {
        TFieldTypeComboBox box;
        box.SetFieldType(type);
        QTest::keyClicks(&box, "1.2,3a4");
        EXPECT_EQ(box.text(), "1234") << int(type);
    }
    TFieldTypeComboBox binary;
    binary.SetFieldType(ftdBinary);
    QTest::keyClicks(&binary, "10201");
    EXPECT_EQ(binary.text(), "1001");
    Paste(binary, "0102");
    EXPECT_EQ(binary.text(), "");
}

TEST(FieldTypeComboBox, HexadecimalKeysAreUpperCasedPastedTextIsNot)
{
    TFieldTypeComboBox box;
    box.SetFieldType(ftdHexadecimal);
    QTest::keyClicks(&box, "afg1");
    EXPECT_EQ(box.text(), "AF1");
    Paste(box, "af");
    EXPECT_EQ(box.text(), "af");
    Paste(box, "0x1F");
    EXPECT_EQ(box.text(), "");
}

TEST(FieldTypeComboBox, BooleanHoldsOneUpperCaseLetter)
{
    TFieldTypeComboBox box;
    box.SetFieldType(ftdBool);
    QTest::keyClicks(&box, "t");
    EXPECT_EQ(box.text(), "");
    QTest::keyClicks(&box, "sn");
    EXPECT_EQ(box.text(), "S");
    Paste(box, "y");
    EXPECT_EQ(box.text(), "y");
    // The one-character limit stays when the type changes afterwards.
    box.SetFieldType(ftdAlphaNumeric);
    box.lineEdit()->clear();
    QTest::keyClicks(&box, "abc");
    EXPECT_EQ(box.text(), "a");
}

TEST(FieldTypeComboBox, ControlKeysAlwaysWorkAndEmptyingRaisesAChange)
{
    TFieldTypeComboBox box;
    box.SetFieldType(ftdNumerical);
    QTest::keyClicks(&box, "42");
    QTest::keyClick(&box, Qt::Key_Backspace);
    EXPECT_EQ(box.text(), "4");

    QSignalSpy changes(&box, &TFieldTypeComboBox::Change);
    box.setText("4x");
    EXPECT_EQ(box.text(), "");
    // Only the emptied text reaches the user's change handler.
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), "");
}

TEST(FieldTypeComboBox, MaxLengthStopsTyping)
{
    TFieldTypeComboBox box;
    box.setMaxLength(3);
    QTest::keyClicks(&box, "abcdef");
    EXPECT_EQ(box.text(), "abc");
    box.setMaxLength(0);
    QTest::keyClicks(&box, "def");
    EXPECT_EQ(box.text(), "abcdef");
}

TEST(FieldTypeComboBox, RequiredBoxKeepsTheFocusWhileEmpty)
{
    QWidget form;
    auto* layout = new QVBoxLayout(&form);
    auto* required = new TFieldTypeComboBox(&form);
    required->SetRequired(true);
    auto* other = new TFieldTypeComboBox(&form);
    layout->addWidget(required);
    layout->addWidget(other);
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    QSignalSpy exits(required, &TFieldTypeComboBox::Exit);
    required->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::qWait(20);
    EXPECT_TRUE(required->hasFocus());
    EXPECT_EQ(exits.count(), 0);

    QTest::keyClicks(required, "x");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(QTest::qWaitFor([&] { return other->hasFocus(); }));
    EXPECT_EQ(exits.count(), 1);
}

TEST(FieldTypeComboBox, DropDownListShowsItsChosenItem)
{
    TFieldTypeComboBox box;
    box.SetStyle(TFieldTypeComboBox::csDropDownList);
    box.addItems({"A", "B"});
    box.setCurrentIndex(1);
    EXPECT_EQ(box.text(), "B");
    EXPECT_FALSE(box.isEditable());
}
