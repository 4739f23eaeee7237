# Build time on a two-core machine: the Widgets layers and their tests spend most of each
# compile parsing the same Qt headers, so those targets precompile them once per target.
# (Unity builds do not work here: files keep helpers of the same name in their anonymous
# namespaces, which one unity file would merge.)
option(TALLYHOST_PCH "Precompile the Qt headers of the Widgets layers and their tests" ON)

set(TALLYHOST_QT_PCH_HEADERS
  <algorithm> <functional> <memory> <string> <vector>
  <QAction> <QApplication> <QBoxLayout> <QByteArray> <QComboBox> <QDialog> <QFile>
  <QGridLayout> <QLabel> <QLineEdit> <QMenu> <QMessageBox> <QPlainTextEdit> <QPushButton>
  <QString> <QTabWidget> <QTableWidget> <QTimer> <QTreeWidget> <QWidget>)

# Precompiled Qt headers for a Widgets target; `ARGN` adds headers (the tests' QTest, gtest).
function(tallyhost_qt_pch target)
  if(TALLYHOST_PCH)
    target_precompile_headers(${target} PRIVATE ${TALLYHOST_QT_PCH_HEADERS} ${ARGN})
  endif()
endfunction()
