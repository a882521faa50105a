#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QPixmap>

class QStyle;

namespace velmora {

// The colours the window's read-outs were drawn in on a light window face.
enum class FixedColour { Black, Gray, Red, Yellow };

// WCAG contrast ratio, 1 (none) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// `colour` as it reads on `palette`'s `background` role: black becomes the matching text colour,
// gray lies halfway between text and background, red and yellow keep their hue with a contrast
// of at least kSignalContrast.
QColor ThemedColour(FixedColour colour, const QPalette& palette, QPalette::ColorRole background);
inline constexpr double kSignalContrast = 3.0;

// The fixed colour whose RGB value the engine hands over (0xRRGGBB).
FixedColour FixedColourOf(unsigned rgb);

// A fade ramp, `size` in device-independent pixels, drawn for `pixelRatio`.
QPixmap FadeRampPixmap(bool rising, const QColor& colour, QSize size, qreal pixelRatio);

// The desktop theme's "media-playback-start", else a triangle drawn in `colour` for every scale,
// and in `disabledColour` for the disabled button.
QIcon PlayIcon(const QColor& colour, const QColor& disabledColour);

// Gives `widget` the text colour `colour` while it is enabled; disabled, it shows the style's
// disabled text like any other control.
void SetEnabledTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour);

// The desktop theme's icon, else the bundled picture.
QIcon ApplicationIcon();
inline constexpr const char* kDesktopId = "io.github.velmora.Velmora";

// The editor's style: the application's style (the desktop's, or the one `-style` chose) with
// hints that appear after 300 ms.
QStyle* EditorStyle();

// A dark palette for pictures of the window in a dark theme.
QPalette DarkPalette();

} // namespace velmora
