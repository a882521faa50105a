#include "UnitBatchWindow.h"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <climits>

TFormBatch::TFormBatch(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormBatch"));
    setWindowTitle(tr("Batch processing"));
    setWindowModality(Qt::ApplicationModal);
    auto* column = new QVBoxLayout(this);
    // A panel: the file name it shows is no text to translate.
    PanelBatchFile = new QLabel(this);
    PanelBatchFile->setObjectName(QStringLiteral("PanelBatchFile"));
    PanelBatchFile->setMinimumWidth(420);
    PanelBatchFile->setTextFormat(Qt::PlainText);
    column->addWidget(PanelBatchFile);
    ProgressBarBatch = new QProgressBar(this);
    ProgressBarBatch->setObjectName(QStringLiteral("ProgressBarBatch"));
    column->addWidget(ProgressBarBatch);
    ButtonBatchCancel = new QPushButton(tr("&Cancel"), this);
    ButtonBatchCancel->setObjectName(QStringLiteral("ButtonBatchCancel"));
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ButtonBatchCancel);
    column->addLayout(row);
    connect(ButtonBatchCancel, &QPushButton::clicked, this, &TFormBatch::reject);
}

void TFormBatch::Start(std::size_t files) {
    m_cancelRequested = false;
    ButtonBatchCancel->setEnabled(true);
    PanelBatchFile->clear();
    ProgressBarBatch->setRange(0, static_cast<int>(std::min<std::size_t>(files, INT_MAX)));
    ProgressBarBatch->setValue(0);
}

void TFormBatch::ShowDone(std::size_t done, const QString& path) {
    ProgressBarBatch->setValue(static_cast<int>(std::min<std::size_t>(done, INT_MAX)));
    PanelBatchFile->setText(path);
}

// The window stays until the batch has finished the files in hand.
void TFormBatch::reject() {
    m_cancelRequested = true;
    ButtonBatchCancel->setEnabled(false);
}
