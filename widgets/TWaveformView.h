#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// One pixel column of the waveform: how far the sound reaches up and down (0 … 1 of half the
// height), and whether it comes from decoded samples or only from the overview.
struct WaveColumn {
    float up = 0;
    float down = 0;
    bool refined = false;
};

// What the view draws: the frames, read a column at a time.
class IWaveformData {
public:
    virtual ~IWaveformData() = default;
    // Frames first … last - 1 as one column.
    virtual WaveColumn Column(std::int64_t first, std::int64_t last) const = 0;
};

// A waveform over frames with the two trim markers: the begin point and the end position (the
// frames kept are begin … endPosition - 1). The markers are dragged with the mouse or moved with
// the arrow keys (one frame) and Page Up/Down (one second) once focused; the wheel and
// Ctrl + / Ctrl - zoom around the cursor, a double click shows the whole file again. The view
// only reports moves (markerMoved): whoever owns the trim points moves the markers (SetTrim).
class TWaveformView final : public QWidget {
    Q_OBJECT

public:
    enum class Marker { Begin, End };
    Q_ENUM(Marker)
    using FrameRun = std::pair<std::int64_t, std::int64_t>;

    explicit TWaveformView(QWidget* parent = nullptr);

    // A new file (data may be null: nothing to draw); the whole file shows.
    void SetData(const IWaveformData* data, std::int64_t frames, double framesPerSecond);
    // The data changed (more frames decoded): the next paint reads it again.
    void Refresh();
    void SetTrim(std::int64_t begin, std::int64_t endPosition);
    std::int64_t Begin() const { return m_begin; }
    std::int64_t EndPosition() const { return m_end; }
    std::int64_t FrameCount() const { return m_frames; }
    void SetSilences(std::vector<FrameRun> runs);
    void SetCuePoints(std::vector<std::int64_t> frames);
    // How a frame's time reads, and the hints' templates ("%1" takes the time).
    void SetTimeText(std::function<QString(std::int64_t)> timeText);
    void SetHintTemplates(const QString& begin, const QString& end);
    QString MarkerHint(Marker marker) const;

    Marker FocusedMarker() const { return m_focused; }
    void SetFocusedMarker(Marker marker);
    // The visible frames: first … first + span - 1.
    std::int64_t VisibleFirst() const { return m_first; }
    std::int64_t VisibleSpan() const { return m_span; }
    // Zooms by `factor` (above 1: closer) keeping the frame under x in place.
    void ZoomAt(double factor, double x);
    void ZoomOut();
    double XOfFrame(std::int64_t frame) const;
    std::int64_t FrameAt(double x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void markerMoved(TWaveformView::Marker marker, std::int64_t frame);
    // Shift+click: play around this frame.
    void previewRequested(std::int64_t frame);
    // After a paint that showed data.
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void PaintWave(class QPainter& painter, int columns, int height) const;
    void PaintMarks(QPainter& painter) const;
    void PaintMarker(QPainter& painter, Marker marker) const;
    std::optional<Marker> MarkerNear(double x) const;
    void MoveMarker(Marker marker, std::int64_t frame);
    std::int64_t MarkerFrame(Marker marker) const {
        return marker == Marker::Begin ? m_begin : m_end;
    }
    void UpdateDescription();
    void ClampView();

    const IWaveformData* m_data = nullptr;
    std::int64_t m_frames = 0;
    double m_framesPerSecond = 38.28125;
    std::int64_t m_begin = 0;
    std::int64_t m_end = 0;
    std::int64_t m_first = 0;
    std::int64_t m_span = 0;
    Marker m_focused = Marker::Begin;
    std::optional<Marker> m_dragging;
    std::vector<FrameRun> m_silences;
    std::vector<std::int64_t> m_cues;
    std::function<QString(std::int64_t)> m_timeText;
    // The columns last read: a column whose frames are all decoded never changes again.
    mutable std::vector<WaveColumn> m_columns;
    mutable std::int64_t m_columnsFirst = -1;
    mutable std::int64_t m_columnsSpan = -1;
    QString m_beginHint = QStringLiteral("Begin: %1");
    QString m_endHint = QStringLiteral("End: %1");
};
