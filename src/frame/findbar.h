#pragma once

#include <QToolBar>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace frame {

// The bar below the panes that finds members of the open archive: a name or a pattern, Enter to
// find, Escape (or its Close) to go back to the folder that was shown.
class FindBar : public QToolBar {
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);

    // Shows the bar with the focus in its text, all of it selected.
    void open();
    QLineEdit* edit() const { return m_edit; }
    bool matchCase() const;
    // What the last search found, shown at the bar's end ("12 found").
    void setResultText(const QString& text);
    QString resultText() const;

signals:
    // Enter in the text, or Match case changed while something is shown.
    void findRequested(const QString& text, bool matchCase);
    // Escape or Close: the bar is hidden.
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QLabel* m_result = nullptr;
};

} // namespace frame
