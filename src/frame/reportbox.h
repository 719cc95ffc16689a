#pragma once

#include <QDialog>
#include <QMessageBox>
#include <string>
#include <vector>

class QPlainTextEdit;

namespace frame {

// A message box whose text is followed by a list of lines that may be long (every member a test
// found damaged): the list scrolls, its text can be selected, and Copy puts all of it on the
// clipboard.
class ReportBox : public QDialog {
    Q_OBJECT
public:
    ReportBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
              const std::vector<std::string>& lines, QWidget* parent = nullptr);

    QPlainTextEdit* list() const { return m_list; }

private:
    QPlainTextEdit* m_list = nullptr;
};

} // namespace frame
