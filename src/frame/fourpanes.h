#pragma once

#include <QWidget>

class QSplitter;

namespace frame {

// The fixed two-by-two splitter of the main window: two rows of two panes whose column widths are
// shared, so dragging the bar of either row moves both. The left column and the top row keep their
// size when the window is resized; the right column and the bottom row take whatever is left.
class FourPanes : public QWidget {
    Q_OBJECT
public:
    explicit FourPanes(QWidget* parent = nullptr);

    void setPane(int row, int column, QWidget* pane);
    QWidget* pane(int row, int column) const;
    // The ideal width of column 0 and height of row 0, applied whenever the splitter is laid out
    // before the user has moved a bar.
    void requestSizes(int leftWidth, int topHeight);
    int leftColumnWidth() const;
    int topRowHeight() const;
    QSplitter* rows() const { return m_rows; }
    QSplitter* row(int index) const { return index == 0 ? m_top : m_bottom; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyRequestedSizes();
    void followColumns(QSplitter* moved);

    QSplitter* m_rows;
    QSplitter* m_top;
    QSplitter* m_bottom;
    int m_requestedWidth = 320;
    int m_requestedHeight = 240;
    bool m_userMoved = false;
    bool m_syncing = false;
};

} // namespace frame
