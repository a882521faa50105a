#pragma once

class QString;
class QWidget;

namespace velmora {

// Names the controls of `window` for screen readers after what a sighted user reads next to
// them: a caption of their own, else the label they belong to (SetNamedBy, a QLabel's buddy, or
// the label just before them in their layout), else their hint. A button whose caption says
// little (none, or one letter) gets the label and the hint; the parts of a number field get the
// field's name. Names given by other means are kept. Run again whenever those texts change.
void NameControls(QWidget* window);

// `control` is announced by `label`'s text: a label's text, a group box's title or a button's
// caption.
void SetNamedBy(QWidget* control, QWidget* label);

// The hint `control` is announced with when it shows none (a hint switched off by an option).
void SetNameHint(QWidget* control, const QString& hint);

} // namespace velmora
