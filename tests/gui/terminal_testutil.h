#pragma once

#include "gui/messagebox.h"
#include "terminal/commandtree.h"
#include "terminal/terminalwindow.h"

#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>

#include <deque>
#include <gtest/gtest.h>

// Shared fixture of the terminal window tests: a terminal file in a temporary directory, the
// window on it, and recorded dialogs that answer input boxes from a script.
class TerminalWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("terminal.thf"));
        m_dialogs.OnDialog = [this](QDialog& d) { return AnswerDialog(d); };
    }

    void WriteFile(const QByteArray& bytes)
    {
        QFile f(m_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray ReadFile() const
    {
        QFile f(m_path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }

    TFormChildTerminalWindow& Open(int width = 800, int height = 500)
    {
        m_window = std::make_unique<TFormChildTerminalWindow>(m_path);
        m_window->resize(width, height);
        m_window->show();
        return *m_window;
    }

    // Node by path: {} root, {"G"} group, {"G", "C"} command.
    QTreeWidgetItem* Node(const QStringList& path) const
    {
        QTreeWidgetItem* node = m_window->TreeViewCommand->topLevelItem(0);
        for (const QString& name : path) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; node && i < node->childCount(); ++i) {
                if (node->child(i)->text(0) == name)
                    next = node->child(i);
            }
            node = next;
        }
        return node;
    }
    QStringList Children(QTreeWidgetItem* node) const
    {
        QStringList names;
        for (int i = 0; node && i < node->childCount(); ++i)
            names << node->child(i)->text(0);
        return names;
    }

    // Selects a node and waits for the delayed selection report.
    void Select(QTreeWidgetItem* node)
    {
        m_window->TreeViewCommand->setCurrentItem(node);
        EXPECT_TRUE(QTest::qWaitFor([this] { return !m_window->SelectionReportPending(); }));
    }

    // Script for the next dialogs: an input box takes the text (an empty text cancels it);
    // other dialogs return the number given.
    struct Answer
    {
        QString text;
        int result = QDialog::Accepted;
    };
    std::deque<Answer> m_answers;
    QStringList m_dialogTitles;

    int AnswerDialog(QDialog& dialog)
    {
        m_dialogTitles << dialog.windowTitle();
        if (m_answers.empty())
            return QDialog::Rejected;
        const Answer a = m_answers.front();
        m_answers.pop_front();
        if (auto* input = qobject_cast<QInputDialog*>(&dialog)) {
            input->setTextValue(a.text);
            return a.text.isEmpty() ? QDialog::Rejected : QDialog::Accepted;
        }
        return a.result;
    }

    QTemporaryDir m_dir;
    QString m_path;
    TRecordedDialogs m_dialogs;
    std::unique_ptr<TFormChildTerminalWindow> m_window;
};
