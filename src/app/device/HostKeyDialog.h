#pragma once

#include "devicelink/DeviceSinks.h"

#include <QDialog>

class QPushButton;

namespace korvex {

// What the connect job met instead of a known device key, in a window:
// - a key never seen for this address and port: its type and SHA-256
//   fingerprint and the question whether to trust it (Trust accepts);
// - a key other than the one on record: both fingerprints and the refusal;
//   the only way on is to remove the old key (RemoveRequested), which the
//   caller confirms a second time before anything is removed.
class HostKeyDialog : public QDialog {
    Q_OBJECT
public:
    enum Kind { NewKey, ChangedKey };

    HostKeyDialog(Kind kind, const HostKeyQuestion& question, QWidget* parent = nullptr);

    Kind GetKind() const { return kind; }
    const HostKeyQuestion& Question() const { return question; }
    // Trust (new key) or remove-the-old-key (changed key).
    QPushButton* ActionButton() const { return action; }
    QString Text() const;

private:
    Kind kind;
    HostKeyQuestion question;
    QPushButton* action;
    QString shown;
};

} // namespace korvex
