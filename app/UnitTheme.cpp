#include "UnitTheme.h"

#include <QApplication>
#include <QPainter>
#include <QPolygonF>
#include <QProxyStyle>
#include <QWidget>

#include <algorithm>
#include <cmath>

// The resources live in a static library: nothing else would pull them into the program.
static void LoadBundledIcons() {
    Q_INIT_RESOURCE(velmora);
}

namespace velmora {

namespace {

double Linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
    return 0.2126 * Linear(c.redF()) + 0.7152 * Linear(c.greenF()) + 0.0722 * Linear(c.blueF());
}

QPalette::ColorRole ForegroundOf(QPalette::ColorRole background) {
    switch (background) {
    case QPalette::Base:
    case QPalette::AlternateBase:
        return QPalette::Text;
    case QPalette::Button:
        return QPalette::ButtonText;
    default:
        return QPalette::WindowText;
    }
}

QColor Blend(const QColor& a, const QColor& b) {
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

// Darkens or lightens `wanted` at its hue until it stands out from `background`.
QColor WithContrast(const QColor& wanted, const QColor& background) {
    if (ContrastRatio(wanted, background) >= kSignalContrast)
        return wanted;
    const bool darken = ContrastRatio(Qt::black, background) > ContrastRatio(Qt::white, background);
    const QColor hsl = wanted.toHsl();
    float hue = 0, saturation = 0, lightness = 0;
    hsl.getHslF(&hue, &saturation, &lightness);
    QColor best = wanted;
    for (int step = 1; step <= 50; ++step) {
        const float l = std::clamp(lightness + (darken ? -0.02f : 0.02f) * step, 0.0f, 1.0f);
        best = QColor::fromHslF(hue, saturation, l).toRgb();
        if (ContrastRatio(best, background) >= kSignalContrast)
            break;
    }
    return best;
}

class HintStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 300;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

QStyle* EditorStyle() {
    return new HintStyle(QApplication::style()->name());
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ThemedColour(FixedColour colour, const QPalette& palette, QPalette::ColorRole background) {
    const QColor face = palette.color(QPalette::Active, background);
    const QColor text = palette.color(QPalette::Active, ForegroundOf(background));
    switch (colour) {
    case FixedColour::Black:
        return text;
    case FixedColour::Gray:
        return Blend(text, face);
    case FixedColour::Red:
        return WithContrast(QColor(255, 0, 0), face);
    case FixedColour::Yellow:
        return WithContrast(QColor(255, 255, 0), face);
    }
    return text;
}

FixedColour FixedColourOf(unsigned rgb) {
    switch (rgb & 0xFFFFFFu) {
    case 0xFF0000u:
        return FixedColour::Red;
    case 0xFFFF00u:
        return FixedColour::Yellow;
    case 0x808080u:
        return FixedColour::Gray;
    default:
        return FixedColour::Black;
    }
}

QPixmap FadeRampPixmap(bool rising, const QColor& colour, QSize size, qreal pixelRatio) {
    QPixmap pixmap(size * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width(), h = size.height();
    QPolygonF ramp;
    ramp << QPointF(0, h) << QPointF(w, h) << (rising ? QPointF(w, 0) : QPointF(0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPolygon(ramp);
    return pixmap;
}

QIcon PlayIcon(const QColor& colour, const QColor& disabledColour) {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("media-playback-start"));
    if (!themed.isNull())
        return themed;
    QIcon drawn;
    for (const auto& [mode, fill] :
         {std::pair{QIcon::Normal, colour}, std::pair{QIcon::Disabled, disabledColour}})
        for (const qreal ratio : {1.0, 1.25, 1.5, 2.0, 3.0}) {
            QPixmap pixmap(QSize(16, 16) * ratio);
            pixmap.setDevicePixelRatio(ratio);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(fill);
            painter.drawPolygon(QPolygonF()
                                << QPointF(4, 2.5) << QPointF(13, 8) << QPointF(4, 13.5));
            painter.end();
            drawn.addPixmap(pixmap, mode);
        }
    return drawn;
}

void SetEnabledTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    palette.setColor(QPalette::Disabled, role,
                     widget->window()->palette().color(QPalette::Disabled, role));
    widget->setPalette(palette);
}

QIcon ApplicationIcon() {
    LoadBundledIcons();
    QIcon bundled;
    for (const int size : {48, 128, 256})
        bundled.addFile(
            QStringLiteral(":/icons/%1/%2.png").arg(size).arg(QLatin1String(kDesktopId)),
            QSize(size, size));
    return QIcon::fromTheme(QLatin1String(kDesktopId), bundled);
}

QPalette DarkPalette() {
    QPalette p;
    const QColor window(53, 53, 53), base(35, 35, 35), text(230, 230, 230), muted(127, 127, 127);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, QColor(42, 130, 218));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::Light, QColor(80, 80, 80));
    p.setColor(QPalette::Midlight, QColor(66, 66, 66));
    p.setColor(QPalette::Dark, QColor(25, 25, 25));
    p.setColor(QPalette::Mid, QColor(40, 40, 40));
    p.setColor(QPalette::Shadow, QColor(20, 20, 20));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, muted);
    return p;
}

} // namespace velmora
