#include "TWaveformView.h"

#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kGrabDistance = 5.0;    // how near a marker a press takes it, in pixels
constexpr double kWheelStep = 1.25;      // zoom per wheel notch
constexpr double kKeyZoom = 2.0;         // zoom per Ctrl + / Ctrl -
constexpr std::int64_t kMinimumSpan = 2; // the closest zoom shows two frames
constexpr int kHandle = 5;               // the marker's handle, in pixels

QColor Mixed(const QColor& a, const QColor& b, double share) {
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                            static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                            static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

} // namespace

TWaveformView::TWaveformView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The hints are made from the markers' times: no text to translate.
    setProperty("computedHint", true);
    setAccessibleName(QStringLiteral("Waveform"));
}

QSize TWaveformView::sizeHint() const {
    return {420, 72};
}

QSize TWaveformView::minimumSizeHint() const {
    return {120, 48};
}

void TWaveformView::SetData(const IWaveformData* data, std::int64_t frames,
                            double framesPerSecond) {
    m_data = data;
    m_frames = std::max<std::int64_t>(frames, 0);
    m_framesPerSecond = framesPerSecond > 0 ? framesPerSecond : 38.28125;
    m_begin = 0;
    m_end = m_frames;
    m_silences.clear();
    m_cues.clear();
    m_dragging.reset();
    m_columns.clear();
    ZoomOut();
}

void TWaveformView::Refresh() {
    update();
}

void TWaveformView::SetTrim(std::int64_t begin, std::int64_t endPosition) {
    m_begin = std::clamp<std::int64_t>(begin, 0, m_frames);
    m_end = std::clamp<std::int64_t>(endPosition, m_begin, m_frames);
    UpdateDescription();
    update();
}

void TWaveformView::SetSilences(std::vector<FrameRun> runs) {
    m_silences = std::move(runs);
    update();
}

void TWaveformView::SetCuePoints(std::vector<std::int64_t> frames) {
    m_cues = std::move(frames);
    update();
}

void TWaveformView::SetTimeText(std::function<QString(std::int64_t)> timeText) {
    m_timeText = std::move(timeText);
    UpdateDescription();
}

void TWaveformView::SetHintTemplates(const QString& begin, const QString& end) {
    m_beginHint = begin;
    m_endHint = end;
    UpdateDescription();
}

QString TWaveformView::MarkerHint(Marker marker) const {
    const std::int64_t frame = MarkerFrame(marker);
    const QString time = m_timeText ? m_timeText(frame) : QString::number(frame);
    return (marker == Marker::Begin ? m_beginHint : m_endHint).arg(time);
}

void TWaveformView::SetFocusedMarker(Marker marker) {
    m_focused = marker;
    UpdateDescription();
    update();
}

// Screen readers hear the focused marker and both times.
void TWaveformView::UpdateDescription() {
    const QString focused = MarkerHint(m_focused);
    const QString other = MarkerHint(m_focused == Marker::Begin ? Marker::End : Marker::Begin);
    setAccessibleDescription(focused + QStringLiteral("; ") + other);
}

void TWaveformView::ZoomOut() {
    m_first = 0;
    m_span = std::max<std::int64_t>(m_frames, 1);
    update();
}

void TWaveformView::ZoomAt(double factor, double x) {
    if (m_frames <= 0 || width() <= 0)
        return;
    const double share = std::clamp(x / width(), 0.0, 1.0);
    const double anchor = m_first + share * m_span;
    const auto span = static_cast<std::int64_t>(std::llround(m_span / factor));
    m_span = std::clamp<std::int64_t>(span, std::min(kMinimumSpan, m_frames), m_frames);
    m_first = static_cast<std::int64_t>(std::llround(anchor - share * m_span));
    ClampView();
    update();
}

void TWaveformView::ClampView() {
    m_span = std::clamp<std::int64_t>(m_span, 1, std::max<std::int64_t>(m_frames, 1));
    m_first = std::clamp<std::int64_t>(m_first, 0, std::max<std::int64_t>(m_frames - m_span, 0));
}

double TWaveformView::XOfFrame(std::int64_t frame) const {
    if (m_span <= 0)
        return 0;
    return static_cast<double>(frame - m_first) * width() / static_cast<double>(m_span);
}

std::int64_t TWaveformView::FrameAt(double x) const {
    if (width() <= 0)
        return m_first;
    const auto frame = static_cast<std::int64_t>(std::llround(m_first + x * m_span / width()));
    return std::clamp<std::int64_t>(frame, 0, m_frames);
}

void TWaveformView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& p = palette();
    painter.fillRect(rect(), p.color(QPalette::Base));
    if (m_frames <= 0 || !m_data) {
        painter.setPen(p.color(QPalette::Mid));
        painter.drawLine(0, height() / 2, width(), height() / 2);
        return;
    }
    // Drawn in device pixels: one column per pixel of the screen.
    const qreal ratio = devicePixelRatioF();
    painter.save();
    painter.scale(1 / ratio, 1 / ratio);
    PaintWave(painter, static_cast<int>(std::lround(width() * ratio)),
              static_cast<int>(std::lround(height() * ratio)));
    painter.restore();
    PaintMarks(painter);
    // What is removed lies under a veil of the window's colour.
    QColor veil = p.color(QPalette::Window);
    veil.setAlpha(170);
    const double b = XOfFrame(m_begin);
    const double e = XOfFrame(m_end);
    if (b > 0)
        painter.fillRect(QRectF(0, 0, b, height()), veil);
    if (e < width())
        painter.fillRect(QRectF(e, 0, width() - e, height()), veil);
    PaintMarker(painter, Marker::Begin);
    PaintMarker(painter, Marker::End);
    if (hasFocus()) {
        painter.setPen(QPen(p.color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    emit painted();
}

void TWaveformView::PaintWave(QPainter& painter, int columns, int height) const {
    const QPalette& p = palette();
    const QColor refined = p.color(QPalette::Text);
    const QColor overview = Mixed(p.color(QPalette::Text), p.color(QPalette::Base), 0.45);
    const double middle = height / 2.0;
    const double half = middle - 1;
    painter.setPen(Mixed(p.color(QPalette::Text), p.color(QPalette::Base), 0.8));
    painter.drawLine(QPointF(0, middle), QPointF(columns, middle));
    const auto count = static_cast<std::size_t>(columns);
    if (m_columns.size() != count || m_columnsFirst != m_first || m_columnsSpan != m_span) {
        m_columns.assign(count, {});
        m_columnsFirst = m_first;
        m_columnsSpan = m_span;
    }
    for (int c = 0; c < columns; ++c) {
        const std::int64_t first = m_first + m_span * c / columns;
        const std::int64_t last = std::max(first + 1, m_first + m_span * (c + 1) / columns);
        if (first >= m_frames)
            break;
        const auto at = static_cast<std::size_t>(c);
        // A column is read again until every frame in it is decoded.
        if (!m_columns[at].refined)
            m_columns[at] = m_data->Column(first, std::min(last, m_frames));
        const WaveColumn column = m_columns[at];
        if (column.up <= 0 && column.down <= 0)
            continue;
        painter.setPen(column.refined ? refined : overview);
        painter.drawLine(QPointF(c + 0.5, middle - column.up * half),
                         QPointF(c + 0.5, middle + column.down * half));
    }
}

// Digital silence as a band along the bottom, CUE points as dashed lines.
void TWaveformView::PaintMarks(QPainter& painter) const {
    const QPalette& p = palette();
    const double band = 3.0;
    for (const auto& [first, last] : m_silences) {
        const double a = std::max(0.0, XOfFrame(first));
        const double b = std::min<double>(width(), XOfFrame(last));
        if (b > a)
            painter.fillRect(QRectF(a, height() - band, std::max(1.0, b - a), band),
                             p.color(QPalette::Mid));
    }
    painter.setPen(QPen(p.color(QPalette::Link), 1, Qt::DashLine));
    for (const std::int64_t cue : m_cues) {
        const double x = XOfFrame(cue);
        if (x >= 0 && x <= width())
            painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
}

void TWaveformView::PaintMarker(QPainter& painter, Marker marker) const {
    const QPalette& p = palette();
    const double x = XOfFrame(MarkerFrame(marker));
    if (x < -kHandle || x > width() + kHandle)
        return;
    const bool focused = hasFocus() && m_focused == marker;
    const QColor colour = p.color(QPalette::Highlight);
    painter.setPen(QPen(colour, focused ? 3 : 2));
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    // The handle points into the part that is kept.
    const double toward = marker == Marker::Begin ? kHandle : -kHandle;
    const QPointF handle[] = {{x, 0}, {x + toward, 0}, {x, static_cast<double>(kHandle) * 2}};
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPolygon(handle, 3);
}

std::optional<TWaveformView::Marker> TWaveformView::MarkerNear(double x) const {
    const double b = std::abs(XOfFrame(m_begin) - x);
    const double e = std::abs(XOfFrame(m_end) - x);
    if (std::min(b, e) > kGrabDistance)
        return std::nullopt;
    // On top of each other, the end marker is taken when pressed on its side.
    if (b == e)
        return x >= XOfFrame(m_end) ? Marker::End : Marker::Begin;
    return b < e ? Marker::Begin : Marker::End;
}

void TWaveformView::MoveMarker(Marker marker, std::int64_t frame) {
    if (m_frames <= 0)
        return;
    const std::int64_t target = marker == Marker::Begin ? std::clamp<std::int64_t>(frame, 0, m_end)
                                                        : std::clamp(frame, m_begin, m_frames);
    if (target != MarkerFrame(marker))
        emit markerMoved(marker, target);
}

void TWaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_frames <= 0)
        return QWidget::mousePressEvent(event);
    const double x = event->position().x();
    if (event->modifiers() & Qt::ShiftModifier) {
        emit previewRequested(FrameAt(x));
        return;
    }
    m_dragging = MarkerNear(x);
    if (m_dragging)
        SetFocusedMarker(*m_dragging);
}

void TWaveformView::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    if (m_dragging)
        MoveMarker(*m_dragging, FrameAt(x));
    else
        setCursor(MarkerNear(x) ? Qt::SizeHorCursor : Qt::ArrowCursor);
}

void TWaveformView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_dragging && event->button() == Qt::LeftButton) {
        MoveMarker(*m_dragging, FrameAt(event->position().x()));
        m_dragging.reset();
    }
}

void TWaveformView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        ZoomOut();
}

void TWaveformView::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0)
        return;
    ZoomAt(std::pow(kWheelStep, notches), event->position().x());
    event->accept();
}

void TWaveformView::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const auto second = static_cast<std::int64_t>(std::llround(m_framesPerSecond));
    const double cursor = std::clamp<double>(mapFromGlobal(QCursor::pos()).x(), 0, width());
    const std::int64_t at = MarkerFrame(m_focused);
    switch (event->key()) {
    case Qt::Key_Left:
        return MoveMarker(m_focused, at - 1);
    case Qt::Key_Right:
        return MoveMarker(m_focused, at + 1);
    case Qt::Key_PageUp:
        return MoveMarker(m_focused, at + second);
    case Qt::Key_PageDown:
        return MoveMarker(m_focused, at - second);
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        if (ctrl)
            return ZoomAt(kKeyZoom, underMouse() ? cursor : XOfFrame(at));
        break;
    case Qt::Key_Minus:
        if (ctrl)
            return ZoomAt(1 / kKeyZoom, underMouse() ? cursor : XOfFrame(at));
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

bool TWaveformView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const std::optional<Marker> marker = MarkerNear(help->pos().x()))
            QToolTip::showText(help->globalPos(), MarkerHint(*marker), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

// Tab goes from the begin marker to the end marker before it leaves the view.
bool TWaveformView::focusNextPrevChild(bool next) {
    if (next && m_focused == Marker::Begin) {
        SetFocusedMarker(Marker::End);
        return true;
    }
    if (!next && m_focused == Marker::End) {
        SetFocusedMarker(Marker::Begin);
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

void TWaveformView::focusInEvent(QFocusEvent* event) {
    if (event->reason() == Qt::TabFocusReason)
        m_focused = Marker::Begin;
    else if (event->reason() == Qt::BacktabFocusReason)
        m_focused = Marker::End;
    UpdateDescription();
    QWidget::focusInEvent(event);
}
