#include "aboutbox.h"

#include "dialogunits.h"
#include "pictures.h"
#include "texts.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace frame {

namespace {

constexpr int kIconPixels = 32;

} // namespace

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QString::fromUtf8(res::kAboutCaption));
    setModal(true);
    const QIcon icon = res::programIcon();
    setWindowIcon(icon);

    // The box keeps its classic arrangement, measured in dialog units so that it grows with the
    // desktop's font: the icon at the left, the version beside it, OK at the top right.
    const DialogUnits units(fontMetrics());
    m_icon = new QLabel(this);
    m_icon->setPixmap(icon.pixmap(kIconPixels, kIconPixels));
    m_icon->setGeometry(units.x(23), units.y(14), kIconPixels, kIconPixels);

    m_version = new QLabel(QString::fromUtf8(res::kAboutVersion), this);
    m_version->setGeometry(units.x(71), units.y(12), std::max(units.x(138), m_version->sizeHint().width()),
                           m_version->sizeHint().height());

    m_ok = new QPushButton(QString::fromUtf8(res::kOk), this);
    m_ok->setDefault(true);
    m_ok->setAutoDefault(true);
    m_ok->setGeometry(units.x(221), units.y(7), std::max(units.x(32), m_ok->sizeHint().width()),
                      std::max(units.y(14), m_ok->sizeHint().height()));
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(std::max(units.x(260), m_ok->geometry().right() + units.x(7)), units.y(106));
    m_ok->setFocus();
}

QString AboutBox::versionText() const {
    return m_version->text();
}

} // namespace frame
