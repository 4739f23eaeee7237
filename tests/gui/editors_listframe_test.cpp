// The three list editors share one frame below their list: Add, Modify and Remove (the field
// list adds its Move buttons after them), then Close apart from them. Close is the default
// button, so Enter closes each of them.

#include "editors/formeditcmdans.h"
#include "editors/formeditfixanswer.h"
#include "editors/formeditreturncode.h"
#include "gui/messagebox.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The captions of the buttons in the frame's row, left to right; "|" where the row stretches.
QStringList ButtonRow(const QDialog& dialog)
{
    QStringList row;
    const auto* layout = qobject_cast<const QBoxLayout*>(dialog.layout());
    if (!layout || layout->count() < 2)
        return row;
    const QLayout* buttons = layout->itemAt(layout->count() - 1)->layout();
    for (int i = 0; buttons && i < buttons->count(); ++i) {
        if (auto* b = qobject_cast<QPushButton*>(buttons->itemAt(i)->widget()))
            row << b->text();
        else if (buttons->itemAt(i)->spacerItem())
            row << QStringLiteral("|");
    }
    return row;
}

template <class Dialog>
void CheckFrame(Dialog& dialog, const char* name, const QStringList& more = {})
{
    SCOPED_TRACE(name);
    EXPECT_EQ(ButtonRow(dialog),
              QStringList({"&Add", "&Modify", "&Remove"}) + more + QStringList({"|", "&Close"}));
    EXPECT_TRUE(dialog.ButtonClose->isDefault());
    for (QPushButton* b : {dialog.ButtonAdd, dialog.ButtonModify, dialog.ButtonRemove})
        EXPECT_FALSE(b->autoDefault()) << b->text().toStdString();
    EXPECT_EQ(dialog.ButtonAdd->toolTip(), dialog.ButtonAdd->statusTip());

    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy closed(dialog.ButtonClose, &QPushButton::clicked);
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ListEditorFrame, EveryListEditorHasTheSameRowAndClosesOnEnter)
{
    TRecordedDialogs dialogs;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("t.thf"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\nCommands=\r\n[Return "
                "codes]\r\nRC1=1,\"One\"\r\n");
    }

    TFormEditCmdAns fields(nullptr, path, QStringLiteral("GC"));
    CheckFrame(fields, "field list", {"Move &up", "Move do&wn"});
    TFormEditFixAnswer statuses(path);
    CheckFrame(statuses, "status records");
    TFormEditReturnCode codes(path);
    CheckFrame(codes, "return codes");
    EXPECT_TRUE(dialogs.Boxes.empty()) << dialogs.Texts().join(u'\n').toStdString();
}

} // namespace
