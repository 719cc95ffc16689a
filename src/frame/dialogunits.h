#pragma once

#include <QFontMetrics>
#include <QString>

namespace frame {

// The layout unit of the program's dialogs, which scales with the dialog's font: a horizontal
// unit is a quarter of the font's average character width, a vertical unit an eighth of its
// height. Sizes given in these units keep their proportions whatever font the desktop uses.
class DialogUnits {
public:
    explicit DialogUnits(const QFontMetrics& metrics)
        : m_averageWidth(averageCharacterWidth(metrics)), m_height(metrics.height()) {}

    int x(int units) const { return (units * m_averageWidth + 2) / 4; }
    int y(int units) const { return (units * m_height + 4) / 8; }

private:
    static int averageCharacterWidth(const QFontMetrics& metrics) {
        const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        return (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    }

    int m_averageWidth;
    int m_height;
};

} // namespace frame
