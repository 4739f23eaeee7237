# Build time on a two-core machine: the Widgets layers and their tests spend most of each
# compile parsing the same Qt headers, so those targets precompile them once per target.
# Unity builds (CMake's CMAKE_UNITY_BUILD, off by default) are for one-off builds such as CI's
# sanitizer passes: they compile fewer, larger files, which a developer's incremental build and
# the compiler cache do not gain from.
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
