#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace frame {

// The About box of the Help menu: the program's icon, name and version, and OK. Enter and
// Escape close it too; it changes nothing.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    QString versionText() const;
    QPushButton* okButton() const { return m_ok; }
    const QLabel* iconLabel() const { return m_icon; }

private:
    QLabel* m_icon = nullptr;
    QLabel* m_version = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace frame
