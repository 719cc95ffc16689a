#include "fourpanes.h"

#include <QSplitter>
#include <QVBoxLayout>
#include <cmath>

namespace frame {

FourPanes::FourPanes(QWidget* parent)
    : QWidget(parent), m_rows(new QSplitter(Qt::Vertical, this)), m_top(new QSplitter(Qt::Horizontal)),
      m_bottom(new QSplitter(Qt::Horizontal)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_rows);
    m_rows->addWidget(m_top);
    m_rows->addWidget(m_bottom);
    for (QSplitter* splitter : {m_rows, m_top, m_bottom}) {
        splitter->setChildrenCollapsible(false);
    }
    m_rows->setStretchFactor(0, 0);
    m_rows->setStretchFactor(1, 1);
    connect(m_top, &QSplitter::splitterMoved, this, [this] { followColumns(m_top); });
    connect(m_bottom, &QSplitter::splitterMoved, this, [this] { followColumns(m_bottom); });
    connect(m_rows, &QSplitter::splitterMoved, this, [this] { m_userMoved = true; });
}

void FourPanes::setPane(int row, int column, QWidget* pane) {
    QSplitter* splitter = this->row(row);
    if (splitter->count() > column) {
        splitter->replaceWidget(column, pane);
    } else {
        splitter->insertWidget(column, pane);
    }
    splitter->setStretchFactor(0, 0);
    if (splitter->count() > 1) {
        splitter->setStretchFactor(1, 1);
    }
}

QWidget* FourPanes::pane(int row, int column) const {
    QSplitter* splitter = this->row(row);
    return column < splitter->count() ? splitter->widget(column) : nullptr;
}

void FourPanes::requestSizes(int leftWidth, int topHeight) {
    m_requestedWidth = std::max(leftWidth, 10);
    m_requestedHeight = std::max(topHeight, 10);
    m_userMoved = false;
    applyRequestedSizes();
}

int FourPanes::leftColumnWidth() const {
    return m_top->sizes().value(0);
}

int FourPanes::topRowHeight() const {
    return m_rows->sizes().value(0);
}

namespace {

int toWindowPixels(int screenPixels, qreal ratio) {
    return static_cast<int>(std::lround(screenPixels / (ratio > 0 ? ratio : 1.0)));
}

int toScreenPixels(int windowPixels, qreal ratio) {
    return static_cast<int>(std::lround(windowPixels * (ratio > 0 ? ratio : 1.0)));
}

} // namespace

void FourPanes::requestStoredSizes(int leftWidth, int topHeight) {
    requestSizes(toWindowPixels(leftWidth, devicePixelRatioF()),
                 toWindowPixels(topHeight, devicePixelRatioF()));
}

int FourPanes::storedLeftColumnWidth() const {
    return toScreenPixels(leftColumnWidth(), devicePixelRatioF());
}

int FourPanes::storedTopRowHeight() const {
    return toScreenPixels(topRowHeight(), devicePixelRatioF());
}

void FourPanes::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!m_userMoved) {
        applyRequestedSizes();
    }
}

void FourPanes::applyRequestedSizes() {
    m_syncing = true;
    const int width = std::max(m_top->width(), m_requestedWidth + 20);
    const int height = std::max(m_rows->height(), m_requestedHeight + 20);
    for (QSplitter* splitter : {m_top, m_bottom}) {
        splitter->setSizes({m_requestedWidth, width - m_requestedWidth - splitter->handleWidth()});
    }
    m_rows->setSizes({m_requestedHeight, height - m_requestedHeight - m_rows->handleWidth()});
    m_syncing = false;
}

void FourPanes::followColumns(QSplitter* moved) {
    if (m_syncing) {
        return;
    }
    m_userMoved = true;
    m_syncing = true;
    QSplitter* other = moved == m_top ? m_bottom : m_top;
    other->setSizes(moved->sizes());
    m_syncing = false;
}

} // namespace frame
