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
    // The same as the settings keep them (SplitterWidth, SplitterHeight): in pixels of the
    // screen, not in the window's own pixels that a scale factor (QT_SCALE_FACTOR, a desktop's
    // scaling) enlarges, so that a stored size takes the same share of the screen at every scale
    // and the four panes keep their proportions.
    void requestStoredSizes(int leftWidth, int topHeight);
    int storedLeftColumnWidth() const;
    int storedTopRowHeight() const;
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
