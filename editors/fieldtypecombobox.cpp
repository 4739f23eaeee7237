#include "editors/fieldtypecombobox.h"

#include "core/inputrules.h"
#include "gui/bytetext.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTimer>

using namespace tallyhost;

TFieldTypeComboBox::TFieldTypeComboBox(QWidget* parent) : QComboBox(parent)
{
    SetStyle(csSimple);
}

void TFieldTypeComboBox::SetStyle(TComboStyle style)
{
    const QString keep = text();
    m_style = style;
    const bool editable = style != csDropDownList;
    if (isEditable() != editable)
        setEditable(editable);
    if (editable) {
        lineEdit()->installEventFilter(this);
        // Every change of the edit text, typed, pasted or set by program, is checked.
        connect(lineEdit(), &QLineEdit::textChanged, this, &TFieldTypeComboBox::TextChanged,
                Qt::UniqueConnection);
        ApplyMaxLength();
        // Items are chosen from the list only; typed text never becomes an item.
        setInsertPolicy(QComboBox::NoInsert);
    } else {
        connect(this, &QComboBox::currentTextChanged, this, &TFieldTypeComboBox::Change,
                Qt::UniqueConnection);
    }
    update();
    if (editable && !keep.isEmpty())
        setText(keep);
}

void TFieldTypeComboBox::SetFieldType(std::uint8_t fieldType)
{
    m_fldType = fieldType;
    const int length = MaxLengthForType(fieldType, m_maxLength);
    if (length != m_maxLength) {
        m_maxLength = length;
        ApplyMaxLength();
    }
}

QString TFieldTypeComboBox::text() const
{
    return isEditable() ? lineEdit()->text() : currentText();
}

void TFieldTypeComboBox::setText(const QString& text)
{
    if (isEditable()) {
        lineEdit()->setText(text);
        return;
    }
    const int index = findText(text);
    setCurrentIndex(index);
}

void TFieldTypeComboBox::setMaxLength(int length)
{
    m_maxLength = length > 0 ? length : 0;
    ApplyMaxLength();
}

void TFieldTypeComboBox::ApplyMaxLength()
{
    if (isEditable())
        lineEdit()->setMaxLength(m_maxLength > 0 ? m_maxLength : 32767);
}

bool TFieldTypeComboBox::FilterKeyEvent(QObject* receiver, QKeyEvent* event)
{
    const QString typed = event->text();
    if (m_inFilter || typed.isEmpty() || !isEditable())
        return true;
    // Shortcuts (Ctrl+V, Ctrl+A ...) are not typed characters: the check after the change
    // looks after what they paste.
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return true;
    QString accepted;
    const std::string current = ToBytes(text());
    for (const QChar ch : typed) {
        const char32_t key = FilterKey(m_fldType, ch.unicode(), current);
        if (key != 0)
            accepted.append(QChar(static_cast<char16_t>(key)));
    }
    if (accepted == typed)
        return true;
    if (accepted.isEmpty())
        return false;
    // The box receives the replaced (upper-case) key instead.
    QKeyEvent replaced(event->type(), event->key(), event->modifiers(), accepted,
                       event->isAutoRepeat(), static_cast<ushort>(event->count()));
    m_inFilter = true;
    QApplication::sendEvent(receiver, &replaced);
    m_inFilter = false;
    return false;
}

void TFieldTypeComboBox::keyPressEvent(QKeyEvent* event)
{
    if (!FilterKeyEvent(this, event)) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

bool TFieldTypeComboBox::eventFilter(QObject* watched, QEvent* event)
{
    // Keys that reach the edit field directly (when it holds the focus itself).
    if (isEditable() && watched == lineEdit() && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!FilterKeyEvent(watched, key)) {
            key->accept();
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void TFieldTypeComboBox::TextChanged(const QString& text)
{
    // Characters outside Latin-1 arrive as "?", which no restricted type allows.
    const std::string bytes = ToBytes(text);
    if (TextAfterChange(m_fldType, bytes) != bytes) {
        // Emptying is itself a change: the user's change event runs for the empty text too.
        lineEdit()->setText(QString());
        return;
    }
    emit Change(text);
}

void TFieldTypeComboBox::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    // A required box may not be left empty. Only the operator's own moves (Tab, a click, a
    // shortcut) are undone: taking the focus back for another reason, or when another
    // required box takes it back, would make two empty boxes fight over the focus.
    const Qt::FocusReason reason = event->reason();
    const bool operatorMove = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                              reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason;
    if (operatorMove && isEnabled() && isVisible() && !MayLeaveBox(m_required, ToBytes(text()))) {
        QTimer::singleShot(0, this, [this] {
            if (isEnabled() && isVisible())
                setFocus(Qt::OtherFocusReason);
        });
        return;
    }
    emit Exit();
}

void TFieldTypeComboBox::paintEvent(QPaintEvent* event)
{
    if (m_style != csSimple) {
        QComboBox::paintEvent(event);
        return;
    }
    // Without a list the box is a plain edit field: the list button is not drawn. (A style
    // sheet would do the same, but costs far too much on a panel of 70 boxes.)
    QStylePainter painter(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.subControls &= ~QStyle::SC_ComboBoxArrow;
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

void TFieldTypeComboBox::showPopup()
{
    if (m_style != csSimple)
        QComboBox::showPopup();
}
