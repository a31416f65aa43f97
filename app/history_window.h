#pragma once

// The History window: the journal newest first, with a thumbnail of the
// picture each replace or delete took off the server, filtered by code and
// by day; a replaced or deleted picture put back through the checked put;
// and the photos waiting in the outbox, to send now or drop.

#include <QDialog>

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace framla {
struct ProgramState;
}

namespace framla::app {

class OutboxSender;

class HistoryWindow final : public QDialog {
    Q_OBJECT
public:
    /// sender may be null (no outbox): the waiting list stays empty.
    HistoryWindow(ProgramState &state, OutboxSender *sender, QWidget *parent = nullptr);

    /// Reads the journal and the outbox again.
    void refresh();
    /// Puts back the picture the selected record took off the server, after a question.
    void restoreSelected();
    void sendSelected();
    void dropSelected();

private:
    void fillJournal();
    void fillOutbox();
    QString selectedOutboxId() const;

    ProgramState &m_state;
    OutboxSender *m_sender;
    QLineEdit *m_code = nullptr;
    QCheckBox *m_byDay = nullptr;
    QDateEdit *m_day = nullptr;
    QTableWidget *m_journal = nullptr;
    QTableWidget *m_outbox = nullptr;
    QPushButton *m_restore = nullptr;
};

} // namespace framla::app
