#pragma once
#include <QDialog>

#include "net/server_ui.h"

class QPlainTextEdit;
class QPushButton;

// The prompt about a peer address that is not in the IP list: Allow, Deny, Allow and add.
// Closing it any other way (Escape, the close box) denies.
class CConnectionDlg : public QDialog {
    Q_OBJECT
public:
    // `language` picks the button texts; `promptText` is the whole message.
    CConnectionDlg(std::uint32_t language, const QString& promptText, QWidget* parent = nullptr);

    // Runs the prompt modally (the event loop keeps serving meanwhile) and returns the choice.
    ConnectionChoice Ask();
    ConnectionChoice Choice() const { return choice_; }

    QPushButton* Button(ConnectionChoice choice) const;
    QPlainTextEdit* Message() const { return message_; }

private:
    void Choose(ConnectionChoice choice);

    ConnectionChoice choice_ = ConnectionChoice::Deny;
    QPlainTextEdit* message_;
    QPushButton* allow_;
    QPushButton* deny_;
    QPushButton* allowAndAdd_;
};
