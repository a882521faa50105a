#pragma once

#include <QDialog>

#include <cstddef>

class QLabel;
class QProgressBar;
class QPushButton;

// The batch's progress: the file last done, a bar over the files and a button that asks the
// batch to stop. Closing the window asks the same.
class TFormBatch final : public QDialog {
    Q_OBJECT

public:
    explicit TFormBatch(QWidget* parent = nullptr);

    // A new batch over `files` files.
    void Start(std::size_t files);
    void ShowDone(std::size_t done, const QString& path);
    bool CancelRequested() const { return m_cancelRequested; }

public slots:
    void reject() override;

private:
    QLabel* PanelBatchFile = nullptr;
    QProgressBar* ProgressBarBatch = nullptr;
    QPushButton* ButtonBatchCancel = nullptr;
    bool m_cancelRequested = false;
};
